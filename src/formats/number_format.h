// Exact decimal text of the numbers the OBJ writer emits, without the C
// library's printf machinery (which costs most of an export's time, and on
// Windows one system call per formatted line).
//
// The results equal snprintf's in the "C" locale byte for byte: the value is
// rounded from its exact binary value, halfway cases to the even digit, and
// negative values that round to zero keep their sign ("-0.00000000").
#pragma once

#include <cstdint>

// Room FormatFixed and FormatInt32 may need: the largest float has 39
// integer digits; with a sign, a point, 9 decimals and padding to a width of
// at most 48 this stays below 64.
constexpr int NumberTextSize = 64;
constexpr int MaxFixedWidth = 48;
constexpr int MaxFixedPrecision = 9;

// Writes `value` as "%W.Pf" would format the double it converts to, with
// W = `width` (0..MaxFixedWidth, padding with spaces on the left) and
// P = `precision` (0..MaxFixedPrecision); no terminator. Infinities and NaNs
// are written by the C library itself. Returns the number of characters of
// the text; `out` holds NumberTextSize bytes, and those past the text may be
// overwritten too.
int FormatFixed(char* out, float value, int width, int precision);

// Writes `value` as "%d" would; no terminator. Returns the number of
// characters (at most 11); `out` holds 11 bytes, and those past the text
// may be overwritten too.
int FormatInt32(char* out, int32_t value);
