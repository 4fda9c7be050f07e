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

// Asks for a function to be inlined even where the compiler's estimate
// would keep it a call: for a small step of a hot loop whose pointer
// arguments would otherwise travel through memory.
#if defined(__GNUC__) || defined(__clang__)
#define QUILLMERE_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define QUILLMERE_ALWAYS_INLINE inline
#endif
