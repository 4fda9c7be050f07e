// Number conversion shared by the OBJ, MTL and Poser readers.
#include "formats/text_scan.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/compiler.h"

namespace {

// 10^-22 .. 10^22 at [e + 22]: from 10^0 up the powers doubles hold exactly,
// below it the doubles nearest to their inverses.
// clang-format off
const double powersOfTen[] = {
    1e-22, 1e-21, 1e-20, 1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11,
    1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,
    1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,
    1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22};
// clang-format on

// Accumulates the digits at *p into *significand and moves past them;
// returns how many there were (leading zeros too). More than 19 may have
// wrapped the value, which the caller then does not use.
QUILLMERE_ALWAYS_INLINE int TakeDigits(const char** p, uint64_t* significand) {
    const char* q = *p;
    uint64_t value = *significand;
    // Two digits a step halve the chain of multiplications; the second
    // character is only read when the first is a digit, so never past the
    // text's terminator.
    while (IsDecimalDigit(q[0])) {
        if (!IsDecimalDigit(q[1])) {
            value = value * 10 + static_cast<uint64_t>(q[0] - '0');
            ++q;
            break;
        }
        value = value * 100 + static_cast<uint64_t>((q[0] - '0') * 10 + (q[1] - '0'));
        q += 2;
    }
    const int n = static_cast<int>(q - *p);
    *p = q;
    *significand = value;
    return n;
}

// How many decimal digits begin the eight bytes at `p` (8 when all of them
// are), and in *value what those digits read as a number. A digit's byte
// with the bits of '0' flipped is 0..9: it has no high bits, and adding 6
// gives none either; any other byte shows a high bit in one of the two (a
// carry out of a byte comes only from a byte that is no digit, so the first
// such byte is always found). The digits then move to the top of the word,
// behind zeros that count as leading zeros, and pairs, quads and octets are
// merged.
QUILLMERE_ALWAYS_INLINE int TakeEightDigits(const char* p, uint32_t* value) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    const uint64_t x = word ^ 0x3030303030303030u;
    const uint64_t others = (x | (x + 0x0606060606060606u)) & 0xF0F0F0F0F0F0F0F0u;
    const int k = others ? __builtin_ctzll(others) >> 3 : 8;
    if (k == 0) return 0;
    uint64_t d = x << (8 * (8 - k));
    d = (d * 10 + (d >> 8)) & 0x00FF00FF00FF00FFu;
    d = (d * 100 + (d >> 16)) & 0x0000FFFF0000FFFFu;
    *value = static_cast<uint32_t>(d * 10000 + (d >> 32));
    return k;
}

// 10^k for the up to seven digits TakeEightDigits adds behind a number.
const uint32_t digitScales[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// The digits, point and digits of a number at *p when there are at most nine
// digits in all, the common case, accumulated in 32 bits (in the 32-bit
// program a 64-bit multiply is several instructions); false, with nothing
// moved, for more. `*fraction` is how many digits follow the point. With
// `readable` (see ScanFloats) a fraction of up to seven digits is taken as
// one word.
QUILLMERE_ALWAYS_INLINE bool TakeShortDecimal(const char** p, const char* readable, uint32_t* significand, int* digits,
                                              int* fraction) {
    const char* q = *p;
    uint32_t value = 0;  // wraps past nine digits, when it is not used
    int n = 0;
    for (; IsDecimalDigit(*q); ++q, ++n) value = value * 10 + static_cast<uint32_t>(*q - '0');
    int after = 0;
    if (*q == '.') {
        const char* first = ++q;
        uint32_t word = 0;
        int k = 8;
        if (readable && readable - q >= 8) k = TakeEightDigits(q, &word);
        if (k < 8) {
            value = value * digitScales[k] + word;
            q += k;
        } else {
            for (; IsDecimalDigit(*q); ++q) value = value * 10 + static_cast<uint32_t>(*q - '0');
        }
        after = static_cast<int>(q - first);
    }
    if (n + after > 9) return false;
    *p = q;
    *significand = value;
    *digits = n + after;
    *fraction = after;
    return true;
}

// A plain decimal number, converted exactly as strtof would, from a double
// close to its value: with at most 19 digits and a power of ten up to 22,
// the significand times 10^e, or times the double nearest 10^-e, lies within
// three units in the last place of the double from the exact value. Such a
// double rounds to the same float as the exact value unless one of the
// points halfway between two floats is that close to it; each of those has
// its low 29 significand bits at exactly 2^28 (a float keeps 24 of the 53),
// so the low bits tell, and only then strtof decides. Values in this range
// are normal floats, never infinities or subnormals. Returns false when the
// text needs strtof.
bool ConvertPlainDecimal(const char* text, const char* readable, float* value, const char** end) {
    const char* p = text;
    while (IsScanBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint64_t significand = 0;
    uint32_t shortSignificand = 0;
    int digits = 0, exponent = 0;
    if (TakeShortDecimal(&p, readable, &shortSignificand, &digits, &exponent)) {
        significand = shortSignificand;
        exponent = -exponent;
    } else {
        digits = TakeDigits(&p, &significand);
        if (*p == '.') {
            ++p;
            exponent = -TakeDigits(&p, &significand);
            digits -= exponent;
        }
    }
    if (digits == 0) return false;                 // also "inf", "nan", "0x..." after a sign
    if (digits > 19) return false;                 // the significand may have wrapped
    if (p[0] == 'x' || p[0] == 'X') return false;  // "0x": hexadecimal
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool negativeExponent = false;
        if (*q == '+' || *q == '-') negativeExponent = *q++ == '-';
        if (IsDecimalDigit(*q)) {
            int e = 0;
            for (; IsDecimalDigit(*q); ++q) {
                if (e < 100000) e = e * 10 + (*q - '0');
            }
            exponent += negativeExponent ? -e : e;
            p = q;
        }
    }
    if (significand == 0) {
        *value = negative ? -0.0f : 0.0f;
        *end = p;
        return true;
    }
    if (significand > (uint64_t(1) << 53) || exponent < -22 || exponent > 22) return false;
    // Below 2^53 the signed conversion is exact, and one instruction where
    // the unsigned one is several; from 32 bits it is one in the 32-bit
    // program too, where from 64 it goes through the x87 unit and memory.
    const double whole = significand <= 0x7FFFFFFFu ? static_cast<double>(static_cast<int32_t>(significand))
                                                    : static_cast<double>(static_cast<int64_t>(significand));
    const double d = whole * powersOfTen[exponent + 22];
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    const uint32_t low = static_cast<uint32_t>(bits) & 0x1FFFFFFFu;
    if (low - (0x10000000u - 4u) <= 8u) return false;  // within 4 units of a halfway point
    const float f = static_cast<float>(d);
    *value = negative ? -f : f;
    *end = p;
    return true;
}
}  // namespace

int ScanFloats(const char* text, float* values, int count, const char* readable) {
    const char* p = text;
    for (int i = 0; i < count; ++i) {
        float fast;
        const char* fastEnd = nullptr;
        if (ConvertPlainDecimal(p, readable, &fast, &fastEnd)) {
            values[i] = fast;
            p = fastEnd;
            continue;
        }
        char* end = nullptr;
        errno = 0;
        const float value = std::strtof(p, &end);
        if (end == p) return i;
        // Overflow comes back as an infinity with ERANGE; an underflow to a
        // tiny or zero value is an ordinary conversion.
        if (!std::isfinite(value)) return i;
        values[i] = value;
        p = end;
    }
    return count;
}

int ScanInt32(const char* text, int32_t* value, const char** end) {
    const char* p = text;
    while (IsScanBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (*p < '0' || *p > '9') return 0;
    // Accumulated as a magnitude up to 2^31 so that -2147483648 fits.
    int64_t magnitude = 0;
    bool tooLarge = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (!tooLarge) {
            magnitude = magnitude * 10 + (*p - '0');
            if (magnitude > 2147483648LL) tooLarge = true;
        }
    }
    if (end) *end = p;
    if (tooLarge || (!negative && magnitude > INT32_MAX)) return 0;
    *value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return 1;
}
