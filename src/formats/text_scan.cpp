// Number conversion shared by the OBJ, MTL and Poser readers.
#include "formats/text_scan.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

namespace {

// Powers of ten that doubles hold exactly.
const double exactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The float next to the finite `f` in the direction of `d` (as nextafter
// gives it), by stepping its bits: a library call here costs as much as the
// whole conversion.
float NeighbourToward(float f, double d) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    if (f == 0.0f) {
        bits = d > 0 ? 1u : 0x80000001u;
    } else if ((static_cast<double>(f) < d) == (f > 0.0f)) {
        ++bits;  // away from zero
    } else {
        --bits;
    }
    float next;
    std::memcpy(&next, &bits, sizeof next);
    return next;
}

// The common case of a plain decimal number with at most 19 significant
// digits and a small exponent, converted exactly as strtof would: the
// significand and the power of ten are exact doubles, so one multiplication
// or division gives the correctly rounded double, and rounding that to float
// is correct unless the double sits exactly halfway between two floats
// (then the double rounding could differ, and strtof decides). Returns false
// when the text needs strtof.
bool ConvertPlainDecimal(const char* text, float* value, const char** end) {
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint64_t significand = 0;
    int digits = 0, exponent = 0;
    bool anyDigit = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        anyDigit = true;
        if (significand == 0 && *p == '0') continue;
        if (++digits > 19) return false;
        significand = significand * 10 + static_cast<uint64_t>(*p - '0');
    }
    if (*p == '.') {
        ++p;
        for (; *p >= '0' && *p <= '9'; ++p) {
            anyDigit = true;
            --exponent;
            if (significand == 0 && *p == '0') continue;
            if (++digits > 19) return false;
            significand = significand * 10 + static_cast<uint64_t>(*p - '0');
        }
    }
    if (!anyDigit) return false;                   // also "inf", "nan", "0x..." after a sign
    if (p[0] == 'x' || p[0] == 'X') return false;  // "0x": hexadecimal
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool negativeExponent = false;
        if (*q == '+' || *q == '-') negativeExponent = *q++ == '-';
        if (*q >= '0' && *q <= '9') {
            int e = 0;
            for (; *q >= '0' && *q <= '9'; ++q) {
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
    double d = static_cast<double>(significand);
    d = exponent >= 0 ? d * exactPowersOfTen[exponent] : d / exactPowersOfTen[-exponent];
    const float f = static_cast<float>(d);
    if (static_cast<double>(f) != d && std::isfinite(f)) {
        const float other = NeighbourToward(f, d);
        if ((static_cast<double>(f) + static_cast<double>(other)) * 0.5 == d) return false;
    }
    *value = negative ? -f : f;
    *end = p;
    return true;
}

}  // namespace

int ScanFloats(const char* text, float* values, int count) {
    const char* p = text;
    for (int i = 0; i < count; ++i) {
        float fast;
        const char* fastEnd = nullptr;
        if (ConvertPlainDecimal(p, &fast, &fastEnd)) {
            if (!std::isfinite(fast)) return i;
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
    while (IsBlank(*p)) ++p;
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
