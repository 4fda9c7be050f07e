// The decoder's inner loops as a record of kernels, chosen once per decode
// from the instruction-set level. Every SIMD kernel gives exactly its scalar
// reference's bytes on every input; edges and tails are the scalar code.
#pragma once

#include <cstdint>

#include "core/cpu_features.h"
#include "texture/jpeg/jpeg_color.h"
#include "texture/jpeg/jpeg_idct.h"

// Doubles one row of n >= 3 samples horizontally with the triangle filter
// (2n samples out).
using SmoothH2V1Function = void (*)(const uint8_t* in, uint8_t* out, int n);
// One output row of the 2x2 triangle filter from the row itself (near) and
// the row above or below (far), n >= 3 samples in, 2n out.
using SmoothH2V2Function = void (*)(const uint8_t* near, const uint8_t* far, uint8_t* out, int n);
// JFIF YCbCr samples into 0x00RRGGBB pixels, as the tables convert them.
using YccRowFunction = void (*)(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, int width,
                                const ColorTables& tables);
// Grey samples into pixels with equal red, green and blue.
using GreyRowFunction = void (*)(const uint8_t* y, uint32_t* out, int width);

struct JpegKernels {
    InverseDctFunction inverseDct;
    SmoothH2V1Function smoothH2V1;
    SmoothH2V2Function smoothH2V2Row;
    YccRowFunction yccToPixels;
    GreyRowFunction greyToPixels;
};

// The kernels of the highest level up to `level` that this build has.
JpegKernels ChooseJpegKernels(SimdLevel level);

// The scalar references (jpeg_upsample.cpp, jpeg_color.cpp). The Inner
// functions do output pairs from..to-1, each with both neighbours present
// (0 < i < n - 1); the Edges functions pairs 0 and n - 1.
void SmoothH2V1Scalar(const uint8_t* in, uint8_t* out, int n);
void SmoothH2V1Inner(const uint8_t* in, uint8_t* out, int from, int to);
void SmoothH2V1Edges(const uint8_t* in, uint8_t* out, int n);
void SmoothH2V2RowScalar(const uint8_t* near, const uint8_t* far, uint8_t* out, int n);
void SmoothH2V2RowInner(const uint8_t* near, const uint8_t* far, uint8_t* out, int from, int to);
void SmoothH2V2RowEdges(const uint8_t* near, const uint8_t* far, uint8_t* out, int n);
void YccRowScalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, int width,
                  const ColorTables& tables);
void GreyRowScalar(const uint8_t* y, uint32_t* out, int width);

// The SIMD row kernels of one instruction set; all null where the build
// lacks the instructions.
struct JpegRowKernels {
    SmoothH2V1Function smoothH2V1;
    SmoothH2V2Function smoothH2V2Row;
    YccRowFunction yccToPixels;
    GreyRowFunction greyToPixels;
};
extern const JpegRowKernels JpegRowKernelsSse2;
extern const JpegRowKernels JpegRowKernelsAvx2;
