// Number conversion shared by the OBJ, MTL and Poser readers.
#include "formats/text_scan.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int ScanFloats(const char* text, float* values, int count) {
    const char* p = text;
    for (int i = 0; i < count; ++i) {
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
