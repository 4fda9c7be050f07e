// Integer helpers of the fixed-point kernels (the rasteriser, the IDCT, the
// colour conversion), written so that they mean the same on every compiler.
#pragma once

#include <cstdint>

// v shifted right by n (0..31) with the sign bit copied in: floor(v / 2^n)
// for either sign. Written without >> on a negative value, whose result C++17
// leaves to the compiler.
inline int32_t ArithmeticShiftRight(int32_t v, int n) { return v >= 0 ? v >> n : ~(~v >> n); }
