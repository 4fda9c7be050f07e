// The inverse DCT in MMX lanes; must equal InverseDctBlockScalar bit for bit.
// A column (pass 1) or workspace row (pass 2) is held as two groups of four
// 16-bit words, even (D2, D6, D0, D4) and odd (D1, D7, D5, D3), so that each
// rotation is one multiply-add against a constant vector.
#include <cstring>

#include "texture/jpeg/jpeg_idct.h"

#include "core/int_math.h"

#if defined(__MMX__)
#include <mmintrin.h>

namespace {

inline __m64 Load(const int16_t* four) {
    __m64 v;
    std::memcpy(&v, four, sizeof v);
    return v;
}

inline __m64 SwapHalves(__m64 v) { return _mm_or_si64(_mm_srli_si64(v, 32), _mm_slli_si64(v, 32)); }

// Outputs of the 1-D transform in four pairs of 32-bit lanes:
// r01 = (out0, out1), r32 = (out3, out2), r45 = (out4, out5), r76 = (out7, out6).
struct Outputs {
    __m64 r01, r32, r45, r76;
};

inline Outputs Transform(__m64 even, __m64 odd, const IdctConstants& k) {
    const __m64 d26 = _mm_unpacklo_pi32(even, even);             // D2 D6 D2 D6
    const __m64 d04 = _mm_unpackhi_pi32(even, even);             // D0 D4 D0 D4
    const __m64 t32 = _mm_madd_pi16(d26, Load(k.evenRotation));  // t3, t2
    const __m64 t01 = _mm_madd_pi16(d04, Load(k.evenSum));       // t0, t1
    const __m64 e1011 = _mm_add_pi32(t01, t32);                  // e10, e11
    const __m64 e1312 = _mm_sub_pi32(t01, t32);                  // e13, e12

    const __m64 sums = _mm_add_pi16(odd, _mm_srli_si64(odd, 32));  // D1+D5, D7+D3 (16-bit)
    const __m64 pq = _mm_unpacklo_pi32(sums, sums);                // p q p q
    const __m64 z34 = _mm_madd_pi16(pq, Load(k.oddRotation));      // z3, z4
    const __m64 o01 = _mm_add_pi32(_mm_madd_pi16(odd, Load(k.oddFirst)), z34);
    const __m64 o32 = _mm_add_pi32(_mm_madd_pi16(odd, Load(k.oddSecond)), SwapHalves(z34));

    Outputs out;
    out.r01 = _mm_add_pi32(e1011, o32);
    out.r76 = _mm_sub_pi32(e1011, o32);
    out.r32 = _mm_add_pi32(e1312, o01);
    out.r45 = _mm_sub_pi32(e1312, o01);
    return out;
}

inline __m64 RoundShift(__m64 v, int32_t half, int shift) {
    return _mm_srai_pi32(_mm_add_pi32(v, _mm_set1_pi32(half)), shift);
}

inline int32_t Lane0(__m64 v) { return _mm_cvtsi64_si32(v); }
inline int32_t Lane1(__m64 v) { return _mm_cvtsi64_si32(_mm_srli_si64(v, 32)); }

inline int16_t Low16(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

void InverseDctMmx(const int32_t* quant, const int32_t* coefficients, uint8_t* const* rows, int column,
                   const IdctConstants& k) {
    int32_t workspace[64];

    for (int c = 0; c < 8; ++c) {
        const int32_t* cc = coefficients + c;
        const int32_t* qq = quant + c;
        if ((Low16(cc[8]) | Low16(cc[16]) | Low16(cc[24]) | Low16(cc[32]) | Low16(cc[40]) | Low16(cc[48]) |
             Low16(cc[56])) == 0) {
            const int32_t dc = static_cast<int32_t>(static_cast<uint32_t>(cc[0]) * static_cast<uint32_t>(qq[0]) *
                                                    (1u << IdctPass1ExtraBits));
            for (int r = 0; r < 8; ++r) workspace[r * 8 + c] = dc;
            continue;
        }
        // _mm_set_pi16 lists the highest lane first.
        const __m64 even = _mm_mullo_pi16(_mm_set_pi16(Low16(cc[32]), Low16(cc[0]), Low16(cc[48]), Low16(cc[16])),
                                          _mm_set_pi16(Low16(qq[32]), Low16(qq[0]), Low16(qq[48]), Low16(qq[16])));
        const __m64 odd = _mm_mullo_pi16(_mm_set_pi16(Low16(cc[24]), Low16(cc[40]), Low16(cc[56]), Low16(cc[8])),
                                         _mm_set_pi16(Low16(qq[24]), Low16(qq[40]), Low16(qq[56]), Low16(qq[8])));
        const Outputs o = Transform(even, odd, k);
        const __m64 r01 = RoundShift(o.r01, IdctPass1Rounding, IdctPass1Shift);
        const __m64 r32 = RoundShift(o.r32, IdctPass1Rounding, IdctPass1Shift);
        const __m64 r45 = RoundShift(o.r45, IdctPass1Rounding, IdctPass1Shift);
        const __m64 r76 = RoundShift(o.r76, IdctPass1Rounding, IdctPass1Shift);
        workspace[0 * 8 + c] = Lane0(r01);
        workspace[1 * 8 + c] = Lane1(r01);
        workspace[2 * 8 + c] = Lane1(r32);
        workspace[3 * 8 + c] = Lane0(r32);
        workspace[4 * 8 + c] = Lane0(r45);
        workspace[5 * 8 + c] = Lane1(r45);
        workspace[6 * 8 + c] = Lane1(r76);
        workspace[7 * 8 + c] = Lane0(r76);
    }

    const __m64 levelShift = _mm_set1_pi8(static_cast<char>(0x80));
    for (int r = 0; r < 8; ++r) {
        const int32_t* w = workspace + r * 8;
        uint8_t* out = rows[r] + column;
        if ((w[1] | w[2] | w[3] | w[4] | w[5] | w[6] | w[7]) == 0) {
            int32_t v = static_cast<int32_t>(static_cast<uint32_t>(w[0]) + IdctDcRowRounding);
            v = ArithmeticShiftRight(v, IdctDcRowShift);
            if (v < -128) v = -128;
            if (v > 127) v = 127;
            std::memset(out, v + 128, 8);
            continue;
        }
        // Packing saturates the 32-bit workspace to 16-bit words.
        const __m64 even = _mm_packs_pi32(_mm_set_pi32(w[6], w[2]), _mm_set_pi32(w[4], w[0]));
        const __m64 odd = _mm_packs_pi32(_mm_set_pi32(w[7], w[1]), _mm_set_pi32(w[3], w[5]));
        const Outputs o = Transform(even, odd, k);
        const __m64 r01 = RoundShift(o.r01, IdctPass2Rounding, IdctPass2Shift);
        const __m64 r23 = SwapHalves(RoundShift(o.r32, IdctPass2Rounding, IdctPass2Shift));
        const __m64 r45 = RoundShift(o.r45, IdctPass2Rounding, IdctPass2Shift);
        const __m64 r67 = SwapHalves(RoundShift(o.r76, IdctPass2Rounding, IdctPass2Shift));
        const __m64 bytes = _mm_packs_pi16(_mm_packs_pi32(r01, r23), _mm_packs_pi32(r45, r67));
        const __m64 samples = _mm_add_pi8(bytes, levelShift);
        std::memcpy(out, &samples, 8);
    }
    _mm_empty();
}

}  // namespace

const InverseDctFunction InverseDctBlockMmx = InverseDctMmx;

#else

const InverseDctFunction InverseDctBlockMmx = nullptr;

#endif
