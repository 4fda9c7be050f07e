// Number conversion for the text readers, with the meaning of the "%f" and
// "%d" conversions of the C library in the "C" locale, but without their
// undefined behaviour: a number too large for its type, and a float written
// as an infinity or NaN, is a value that does not convert.
#pragma once

#include <cstdint>

// The blanks "%f" and "%d" skip: a space, or one of the five controls '\t'
// '\n' '\v' '\f' '\r' (9 to 13).
inline bool IsScanBlank(char c) { return c == ' ' || static_cast<unsigned char>(c - '\t') < 5; }
inline bool IsDecimalDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Reads up to `count` floats from `text` the way sscanf "%f %f ..." does
// (leading blanks skipped before each number, no separator needed) and
// returns how many converted before the first that did not. Values land in
// `values[0..result-1]`; the others are untouched. Uses the "C" decimal
// point: the program never changes the process locale.
// `readable`, when not null, is how far the text's buffer may be read past
// its terminator (a reader's window, or a token buffer, goes on there): the
// digits after a decimal point are then taken eight at a time. The values are
// the same either way.
int ScanFloats(const char* text, float* values, int count, const char* readable = nullptr);

// Reads one integer like sscanf "%d": blanks, an optional sign, digits.
// Returns 1 and the value when it converts and fits in 32 bits, else 0.
// `end`, when not null, receives the position after the number.
int ScanInt32(const char* text, int32_t* value, const char** end);
