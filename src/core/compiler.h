// What the program asks of the compiler beyond standard C++, each with a
// plain fallback so that any C++17 compiler builds it.
#pragma once

// Marks a printf-style function (format string at argument `formatIndex`, values
// from argument `firstValue` on) so that GCC and clang check every call's values
// against its format; other compilers check nothing.
#if defined(__GNUC__) || defined(__clang__)
#define QUILLMERE_PRINTF_FORMAT(formatIndex, firstValue) __attribute__((format(printf, formatIndex, firstValue)))
#else
#define QUILLMERE_PRINTF_FORMAT(formatIndex, firstValue)
#endif
