// The upsampling and colour kernels written once over a lane set V of 16-bit
// lanes (SSE2: 8 lanes, AVX2: 16), included by the file of each instruction
// set and compiled for it there. Each must equal its scalar reference in
// jpeg_kernels.h: the triangle filters are the same sums, and the colour
// conversion computes exactly the values of the 16-bit fixed-point tables.
// Internal: only the kernel files include this.
#pragma once

#include <cstdint>

#include "texture/jpeg/jpeg_kernels.h"

namespace {

template <class V>
void SmoothH2V1Simd(const uint8_t* in, uint8_t* out, int n) {
    SmoothH2V1Edges(in, out, n);
    const auto three = V::Set1(3), one = V::Set1(1), two = V::Set1(2);
    int i = 1;
    // Pairs i .. i + Lanes - 1 read in[i - 1 .. i + Lanes], inside the row.
    for (; i + V::Lanes <= n - 1; i += V::Lanes) {
        const auto current = V::Mul(V::Load(in + i), three);
        const auto even = V::Srli(V::Add(V::Add(current, V::Load(in + i - 1)), one), 2);
        const auto odd = V::Srli(V::Add(V::Add(current, V::Load(in + i + 1)), two), 2);
        V::StoreInterleaved(out + 2 * i, even, odd);
    }
    SmoothH2V1Inner(in, out, i, n - 1);
}

template <class V>
void SmoothH2V2RowSimd(const uint8_t* near, const uint8_t* far, uint8_t* out, int n) {
    SmoothH2V2RowEdges(near, far, out, n);
    const auto three = V::Set1(3), seven = V::Set1(7), eight = V::Set1(8);
    int i = 1;
    for (; i + V::Lanes <= n - 1; i += V::Lanes) {
        // s = 3 * near + far is at most 1020; every sum below fits 16 bits.
        const auto previous = V::Add(V::Mul(V::Load(near + i - 1), three), V::Load(far + i - 1));
        const auto current = V::Add(V::Mul(V::Load(near + i), three), V::Load(far + i));
        const auto next = V::Add(V::Mul(V::Load(near + i + 1), three), V::Load(far + i + 1));
        const auto weighted = V::Mul(current, three);
        const auto even = V::Srli(V::Add(V::Add(weighted, previous), eight), 4);
        const auto odd = V::Srli(V::Add(V::Add(weighted, next), seven), 4);
        V::StoreInterleaved(out + 2 * i, even, odd);
    }
    SmoothH2V2RowInner(near, far, out, i, n - 1);
}

// (x * 2^16 * m + 32768) >> 16 for x in -128..127 and a multiplier m / 2^16
// below 0.5 in magnitude: mulhi of 2x gives floor(2x * m / 2^16), and adding
// one before halving makes it the rounded value, exactly as the table's.
template <class V>
auto RoundedProduct(typename V::Vector x, int16_t m) {
    return V::Srai(V::Add(V::MulHi(V::Add(x, x), V::Set1(m)), V::Set1(1)), 1);
}

template <class V>
void YccRowSimd(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, int width,
                const ColorTables& tables) {
    const auto bias = V::Set1(128), zero = V::Set1(0), top = V::Set1(255);
    int x = 0;
    for (; x + V::Lanes <= width; x += V::Lanes) {
        const auto luma = V::Load(y + x);
        const auto b = V::Sub(V::Load(cb + x), bias);
        const auto r = V::Sub(V::Load(cr + x), bias);
        // crToR = (91881 x + 32768) >> 16 = x + round(26345 x / 2^16);
        // cbToB = (116130 x + 32768) >> 16 = 2x + round(-14942 x / 2^16).
        const auto red = V::Add(luma, V::Add(r, RoundedProduct<V>(r, 26345)));
        const auto blue = V::Add(luma, V::Add(V::Add(b, b), RoundedProduct<V>(b, -14942)));
        // (cbToG + crToG) >> 16 = (-22554 cb + 18734 cr + 32768) >> 16 - cr,
        // as -46802 = 18734 - 65536.
        const auto green = V::Add(luma, V::Sub(V::MulAddShift16(b, r, -22554, 18734, 32768), r));
        const auto clampedRed = V::Min(V::Max(red, zero), top);
        const auto clampedGreen = V::Min(V::Max(green, zero), top);
        const auto clampedBlue = V::Min(V::Max(blue, zero), top);
        V::StorePixels(out + x, V::Or(clampedBlue, V::Slli(clampedGreen, 8)), clampedRed);
    }
    YccRowScalar(y + x, cb + x, cr + x, out + x, width - x, tables);
}

template <class V>
void GreyRowSimd(const uint8_t* y, uint32_t* out, int width) {
    int x = 0;
    for (; x + V::Lanes <= width; x += V::Lanes) {
        const auto luma = V::Load(y + x);
        V::StorePixels(out + x, V::Or(luma, V::Slli(luma, 8)), luma);
    }
    GreyRowScalar(y + x, out + x, width - x);
}

}  // namespace
