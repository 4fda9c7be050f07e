// Four 16-bit lanes for the 16-bit-lane rasteriser path: in the low half of
// an SSE2 register where SSE2 is compiled in, in an MMX register otherwise.
// Each operation is the same instruction lane for lane in both, so the
// results are the same bits. SSE2 registers keep the 32-bit program clear
// of MMX's switches to and from the x87 state, and of moves between the two
// register files; what the upper half of an SSE2 register holds is never
// read. Internal to src/render.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__MMX__)
#include <mmintrin.h>
#endif

namespace raster {

#if defined(__SSE2__)

using Lanes = __m128i;

inline Lanes Load4(const int16_t lanes[4]) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(lanes)); }
inline void Store4(int16_t lanes[4], Lanes v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(lanes), v); }
inline Lanes Splat16(int32_t value) { return _mm_set1_epi16(static_cast<int16_t>(value)); }
// Lanes 3, 2, 1, 0.
inline Lanes Set4(int16_t l3, int16_t l2, int16_t l1, int16_t l0) { return _mm_set_epi16(0, 0, 0, 0, l3, l2, l1, l0); }
inline Lanes ZeroLanes() { return _mm_setzero_si128(); }
// The four bytes of a 32-bit value as 16-bit lanes.
inline Lanes ByteLanes(uint32_t packed) {
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int>(packed)), _mm_setzero_si128());
}
inline Lanes Add16(Lanes a, Lanes b) { return _mm_add_epi16(a, b); }
inline Lanes Sub16(Lanes a, Lanes b) { return _mm_sub_epi16(a, b); }
inline Lanes AddSat16(Lanes a, Lanes b) { return _mm_adds_epi16(a, b); }
inline Lanes AddSatU16(Lanes a, Lanes b) { return _mm_adds_epu16(a, b); }
inline Lanes MulLow16(Lanes a, Lanes b) { return _mm_mullo_epi16(a, b); }
inline Lanes MulHigh16(Lanes a, Lanes b) { return _mm_mulhi_epi16(a, b); }
// Lanes 0 * 0 + 1 * 1 and 2 * 2 + 3 * 3 as two 32-bit lanes.
inline Lanes MulAddPairs(Lanes a, Lanes b) { return _mm_madd_epi16(a, b); }
inline Lanes And(Lanes a, Lanes b) { return _mm_and_si128(a, b); }
inline Lanes Or(Lanes a, Lanes b) { return _mm_or_si128(a, b); }
inline Lanes ShiftLeft16(Lanes v, int n) { return _mm_slli_epi16(v, n); }
inline Lanes ShiftRight16(Lanes v, int n) { return _mm_srli_epi16(v, n); }
inline Lanes ShiftRightArith32(Lanes v, int n) { return _mm_srai_epi32(v, n); }
// Lanes a0 b0 a1 b1 and a2 b2 a3 b3.
inline Lanes InterleaveLow16(Lanes a, Lanes b) { return _mm_unpacklo_epi16(a, b); }
inline Lanes InterleaveHigh16(Lanes a, Lanes b) { return _mm_srli_si128(_mm_unpacklo_epi16(a, b), 8); }
// Two pairs of 32-bit lanes saturated to four 16-bit lanes, low pair first.
inline Lanes PackSat32(Lanes low, Lanes high) {
    return _mm_packs_epi32(_mm_unpacklo_epi64(low, high), _mm_setzero_si128());
}
// The sum of the two 32-bit lanes.
inline uint32_t SumPairs32(Lanes v) {
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_add_epi32(v, _mm_srli_epi64(v, 32))));
}
inline Lanes BroadcastLane3(Lanes v) { return _mm_shufflelo_epi16(v, 0xFF); }
inline void EndLanes() {}

#elif defined(__MMX__)

using Lanes = __m64;

inline Lanes Load4(const int16_t lanes[4]) {
    Lanes v;
    std::memcpy(&v, lanes, 8);
    return v;
}
inline void Store4(int16_t lanes[4], Lanes v) { std::memcpy(lanes, &v, 8); }
inline Lanes Splat16(int32_t value) { return _mm_set1_pi16(static_cast<int16_t>(value)); }
inline Lanes Set4(int16_t l3, int16_t l2, int16_t l1, int16_t l0) { return _mm_set_pi16(l3, l2, l1, l0); }
inline Lanes ZeroLanes() { return _mm_setzero_si64(); }
inline Lanes ByteLanes(uint32_t packed) {
    return _mm_unpacklo_pi8(_mm_cvtsi32_si64(static_cast<int>(packed)), _mm_setzero_si64());
}
inline Lanes Add16(Lanes a, Lanes b) { return _mm_add_pi16(a, b); }
inline Lanes Sub16(Lanes a, Lanes b) { return _mm_sub_pi16(a, b); }
inline Lanes AddSat16(Lanes a, Lanes b) { return _mm_adds_pi16(a, b); }
inline Lanes AddSatU16(Lanes a, Lanes b) { return _mm_adds_pu16(a, b); }
inline Lanes MulLow16(Lanes a, Lanes b) { return _mm_mullo_pi16(a, b); }
inline Lanes MulHigh16(Lanes a, Lanes b) { return _mm_mulhi_pi16(a, b); }
inline Lanes MulAddPairs(Lanes a, Lanes b) { return _mm_madd_pi16(a, b); }
inline Lanes And(Lanes a, Lanes b) { return _mm_and_si64(a, b); }
inline Lanes Or(Lanes a, Lanes b) { return _mm_or_si64(a, b); }
inline Lanes ShiftLeft16(Lanes v, int n) { return _mm_slli_pi16(v, n); }
inline Lanes ShiftRight16(Lanes v, int n) { return _mm_srli_pi16(v, n); }
inline Lanes ShiftRightArith32(Lanes v, int n) { return _mm_srai_pi32(v, n); }
inline Lanes InterleaveLow16(Lanes a, Lanes b) { return _mm_unpacklo_pi16(a, b); }
inline Lanes InterleaveHigh16(Lanes a, Lanes b) { return _mm_unpackhi_pi16(a, b); }
inline Lanes PackSat32(Lanes low, Lanes high) { return _mm_packs_pi32(low, high); }
inline uint32_t SumPairs32(Lanes v) {
    return static_cast<uint32_t>(_mm_cvtsi64_si32(_mm_add_pi32(v, _mm_srli_si64(v, 32))));
}
inline Lanes BroadcastLane3(Lanes v) {
    const Lanes high = _mm_unpackhi_pi16(v, v);
    return _mm_unpackhi_pi32(high, high);
}
// Leaves the MMX state before any x87 arithmetic.
inline void EndLanes() { _mm_empty(); }

#endif

}  // namespace raster
