// Fixed-point and integer text for the OBJ writer, exact to the last digit.
//
// A finite float is m x 2^e with m below 2^24. Below 2^32 the integer part
// and the scaled fraction both fit 32 bits, and rounding the fraction needs
// one 32 x 32 -> 64-bit product (F x 10^P < 2^54) and a shift, so the common
// case never divides a 64-bit number (a library call on i686). Larger values
// are whole numbers, written from base-10^9 limbs.
#include "formats/number_format.h"

#include <cstdio>
#include <cstring>

// The writer's formats are formatted by inlined copies of the code with
// their width and precision as constants, which leaves most of its
// branches and loops to the compiler.
#if defined(__GNUC__) || defined(__clang__)
#define QUILLMERE_INLINE inline __attribute__((always_inline))
#define QUILLMERE_NOINLINE __attribute__((noinline))
#else
#define QUILLMERE_INLINE inline
#define QUILLMERE_NOINLINE
#endif

namespace {

const char digitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

const uint32_t powersOfTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "digit text is assembled in a little-endian word");

// The four-digit text of every number below 10^4 (40 KB, built by the
// compiler): eight digits are two look-ups after one division, a shorter
// chain than splitting digit pairs off one after the other.
struct FourDigitTable {
    uint32_t text[10000];  // first digit in the lowest byte
};

constexpr FourDigitTable MakeFourDigitTable() {
    FourDigitTable table{};
    for (uint32_t v = 0; v < 10000; ++v) {
        table.text[v] =
            (0x30u + v / 1000) | (0x30u + v / 100 % 10) << 8 | (0x30u + v / 10 % 10) << 16 | (0x30u + v % 10) << 24;
    }
    return table;
}

constexpr FourDigitTable fourDigits = MakeFourDigitTable();

// value / 10^4 as a multiplication, exact below 10^8: a compiler may
// otherwise leave a division in a path it takes for rare.
QUILLMERE_INLINE uint32_t TenThousands(uint32_t value) {
    return static_cast<uint32_t>((static_cast<uint64_t>(value) * 109951163u) >> 40);
}

// Writes exactly `count` (1..10) digits of `value` (which is below
// 10^count), with leading zeros. Digits go out four bytes at a time, so up
// to 4 - count bytes past them may be overwritten as well. Every shift is of
// a 32-bit word: a 64-bit one by a variable amount is a branch on i686.
QUILLMERE_INLINE void WriteDigits(char* out, uint32_t value, int count) {
    // Texture indices and integer parts are mostly one or two digits.
    if (count == 1) {
        *out = static_cast<char>('0' + value);
        return;
    }
    if (count == 2) {
        std::memcpy(out, digitPairs + 2 * value, 2);
        return;
    }
    if (count > 8) {
        const uint32_t top = value / 100000000;
        value -= top * 100000000;
        if (count == 10) {
            std::memcpy(out, digitPairs + 2 * top, 2);
        } else {
            *out = static_cast<char>('0' + top);
        }
        out += count - 8;
        count = 8;
    }
    if (count <= 4) {
        const uint32_t text = fourDigits.text[value] >> (8 * (4 - count));
        std::memcpy(out, &text, sizeof text);
        return;
    }
    // The leading count - 4 digits, then the last four over the bytes the
    // first word left past them.
    const uint32_t high = TenThousands(value);
    const uint32_t text = fourDigits.text[high] >> (8 * (8 - count));
    std::memcpy(out, &text, sizeof text);
    std::memcpy(out + count - 4, &fourDigits.text[value - high * 10000], 4);
}

QUILLMERE_INLINE int DigitCount(uint32_t value) {
    if (value < 100000) {
        if (value < 100) return value < 10 ? 1 : 2;
        return value < 1000 ? 3 : value < 10000 ? 4 : 5;
    }
    if (value < 10000000) return value < 1000000 ? 6 : 7;
    return value < 100000000 ? 8 : value < 1000000000 ? 9 : 10;
}

// The digits of m x 2^e (e >= 0, m below 2^24, so below 2^128): returns how
// many were written, without leading zeros.
int WriteWholeNumber(char* out, uint32_t m, int e) {
    constexpr uint32_t LimbBase = 1000000000;
    uint32_t limbs[6] = {m};  // little-endian, base 10^9
    int used = 1;
    while (e > 0) {
        // Limb x 2^28 plus carry stays far below 2^64.
        const int k = e < 28 ? e : 28;
        uint64_t carry = 0;
        for (int i = 0; i < used; ++i) {
            const uint64_t t = (static_cast<uint64_t>(limbs[i]) << k) + carry;
            limbs[i] = static_cast<uint32_t>(t % LimbBase);
            carry = t / LimbBase;
        }
        if (carry != 0) limbs[used++] = static_cast<uint32_t>(carry);
        e -= k;
    }
    const int top = DigitCount(limbs[used - 1]);
    WriteDigits(out, limbs[used - 1], top);
    int length = top;
    for (int i = used - 2; i >= 0; --i, length += 9) WriteDigits(out + length, limbs[i], 9);
    return length;
}

// Integer part and P rounded decimals of m x 2^-s (s > 0), rounded to
// nearest on the exact value, ties to an even last digit. The fraction is
// taken as a 64-bit fixed-point number F = bits x 2^(64 - s) (exact, bits
// being below 2^s), held as two 32-bit halves: F x 10^P is then the decimals
// in its top 32 bits and the remainder below them, from two 32 x 32-bit
// products and no shift by a variable amount of a 64-bit number (each of
// which is several instructions and a branch on i686).
QUILLMERE_INLINE void SplitFraction(uint32_t m, int s, int precision, uint32_t* whole, uint32_t* fraction) {
    const uint32_t scale = powersOfTen[precision];
    *whole = s < 24 ? m >> s : 0;
    const uint32_t bits = s < 24 ? m & ((1u << s) - 1) : m;
    // bits x 10^P is below 2^54, so from a shift of 56 on it is below half a unit.
    if (s >= 56) {
        *fraction = 0;
        return;
    }
    const uint32_t fHigh = s <= 32 ? bits << (32 - s) : bits >> (s - 32);
    const uint32_t fLow = s <= 32 ? 0 : bits << (64 - s);
    const uint64_t low = static_cast<uint64_t>(fLow) * scale;
    const uint64_t high = static_cast<uint64_t>(fHigh) * scale + (low >> 32);
    uint32_t q = static_cast<uint32_t>(high >> 32);
    // The remainder against one half (2^63): its top half, then any bit below.
    const uint32_t restHigh = static_cast<uint32_t>(high), restLow = static_cast<uint32_t>(low);
    constexpr uint32_t Half = 0x80000000u;
    // The last written digit is the fraction's, or the whole part's without
    // decimals.
    // Without a branch: which way a digit rounds is as good as random.
    const uint32_t last = precision > 0 ? q : *whole;
    const uint32_t above =
        static_cast<uint32_t>(restHigh > Half) | (static_cast<uint32_t>(restHigh == Half) & (restLow != 0));
    const uint32_t tie = static_cast<uint32_t>(restHigh == Half) & static_cast<uint32_t>(restLow == 0);
    q += above | (tie & last);
    if (q == scale) {
        q = 0;
        ++*whole;
    }
    *fraction = q;
}

QUILLMERE_NOINLINE int LibraryFixed(char* out, float value, int width, int precision) {
    char text[NumberTextSize];
    const int n = std::snprintf(text, sizeof text, "%*.*f", width, precision, static_cast<double>(value));
    std::memcpy(out, text, static_cast<size_t>(n));
    return n;
}

// The padding and the sign of a number of `digits` integer digits; returns
// where the digits go. The padding goes first, so every piece is written
// once in place.
QUILLMERE_INLINE char* PadAndSign(char* out, int width, int sign, int digits, int precision) {
    const int decimals = precision > 0 ? precision + 1 : 0;
    const int pad = width > sign + digits + decimals ? width - (sign + digits + decimals) : 0;
    for (int i = 0; i < pad; ++i) *out++ = ' ';
    *out = '-';
    return out + sign;
}

// Values of 2^32 and more, which are whole numbers, with zero decimals. Out
// of line, so that the common case keeps no digit buffer and few registers
// to save.
QUILLMERE_NOINLINE int WholeNumberText(char* out, int sign, uint32_t m, int e, int width, int precision) {
    char digits[NumberTextSize];
    const int n = WriteWholeNumber(digits, m, e);
    char* p = PadAndSign(out, width, sign, n, precision);
    std::memcpy(p, digits, static_cast<size_t>(n));
    p += n;
    if (precision > 0) {
        *p++ = '.';
        std::memset(p, '0', static_cast<size_t>(precision));
        p += precision;
    }
    return static_cast<int>(p - out);
}

QUILLMERE_INLINE int FixedText(char* out, float value, int width, int precision) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = static_cast<int>((bits >> 23) & 0xFF);
    // Infinities and NaNs: whatever this platform's C library writes.
    if (biased == 0xFF) return LibraryFixed(out, value, width, precision);
    const uint32_t m = biased == 0 ? bits & 0x7FFFFF : (bits & 0x7FFFFF) | 0x800000;
    const int e = biased == 0 ? -149 : biased - 150;

    const int sign = static_cast<int>(bits >> 31);
    if (e >= 9) return WholeNumberText(out, sign, m, e, width, precision);
    uint32_t whole = m << (e > 0 ? e : 0), fraction = 0;
    if (e < 0) SplitFraction(m, -e, precision, &whole, &fraction);
    const int n = DigitCount(whole);
    char* p = PadAndSign(out, width, sign, n, precision);
    WriteDigits(p, whole, n);
    p += n;
    if (precision > 0) {
        *p++ = '.';
        WriteDigits(p, fraction, precision);
        p += precision;
    }
    return static_cast<int>(p - out);
}

// Positions, texture coordinates and any other format, each a function of
// its own, so that the writer's formats save only the registers they use.
QUILLMERE_NOINLINE int PositionText(char* out, float value) { return FixedText(out, value, 10, 8); }
QUILLMERE_NOINLINE int TexCoordText(char* out, float value) { return FixedText(out, value, 8, 6); }
QUILLMERE_NOINLINE int AnyFixedText(char* out, float value, int width, int precision) {
    return FixedText(out, value, width, precision);
}

}  // namespace

int FormatFixed(char* out, float value, int width, int precision) {
    if (width == 10 && precision == 8) return PositionText(out, value);
    if (width == 8 && precision == 6) return TexCoordText(out, value);
    return AnyFixedText(out, value, width, precision);
}

int FormatInt32(char* out, int32_t value) {
    int length = 0;
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0) {
        out[length++] = '-';
        magnitude = 0u - magnitude;
    }
    if (magnitude < 100) {
        // Texture indices, in no order: the pair "0d" read from its second
        // character writes d (and a byte past the text), without a branch.
        const int n = 1 + static_cast<int>(magnitude >= 10);
        std::memcpy(out + length, digitPairs + 2 * magnitude + 2 - n, 2);
        return length + n;
    }
    const int n = DigitCount(magnitude);
    WriteDigits(out + length, magnitude, n);
    return length + n;
}
