// Integer helpers of the fixed-point kernels (the rasteriser, the IDCT, the
// colour conversion), written so that they mean the same on every compiler.
#pragma once

#include <cstdint>
#include <limits>

// v shifted right by n (0..31) with the sign bit copied in: floor(v / 2^n)
// for either sign. Written without >> on a negative value, whose result C++17
// leaves to the compiler.
inline int32_t ArithmeticShiftRight(int32_t v, int n) { return v >= 0 ? v >> n : ~(~v >> n); }

// `value` truncated toward zero, saturated to the int32 range: at or beyond
// +-2^31 (infinities included) the nearest end, so that a huge exponent read
// from a file keeps its sign instead of wrapping. Not-a-number gives 0, the
// value that leaves a specular exponent neutral. Safe on any input.
inline int32_t TruncateSaturated(float value) {
    if (value != value) return 0;
    if (value >= 2147483648.0f) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0f) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}
