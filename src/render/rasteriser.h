// Triangle set-up and the three span fills, in integer fixed point.
//
// Formats used throughout:
//   16.16  edge x, depth, texture coordinates (a texture unit is 1/32767 of
//          the image, so the integer part of a coordinate runs 0..32767);
//   8.7    colour lanes (byte * 128); row accumulators hold it minus 0x4000;
//   8.8    span colour (byte * 256) held minus 0x8000 as a signed value, so
//          that signed saturation clamps it to 0..255.996.
// Colours travel as four 16-bit lanes: blue, green, red, coverage.
//
// Two implementations give identical pixels: the portable reference in
// rasteriser.cpp and the MMX one in rasteriser_mmx.cpp, chosen by the
// instruction-set level (core/cpu_features.h).
#pragma once

#include <cstdint>

#include "core/cpu_features.h"
#include "core/mesh.h"
#include "render/screen_vertex.h"
#include "render/frame_buffer.h"

struct Texture;

struct RasterSetup {
    int32_t leftStep;        // 16.16 per row, top corner to left corner
    int32_t leftStepLower;   // left corner to bottom corner
    int32_t rightStep;       // top corner to right corner
    int32_t rightStepLower;  // right corner to bottom corner
    int32_t leftDepth;       // depth at the first pixel of the top row
    int32_t depthAtLeftCorner;
    int32_t leftX;
    int32_t leftXAtLeftCorner;
    int32_t rightX;
    int32_t rightXAtRightCorner;
    int32_t depthPerX;
    // Row steps indexed by the edge part (0 upper, 2 lower) + carry: [0] upper part, [1] upper part
    // when the left edge crosses one extra column, [2] and [3] the lower part.
    int32_t depthRowSteps[4];
    int16_t colourRowSteps[4][4];  // 8.7 lanes
    int32_t texRowSteps[4][2];     // v, u
    int16_t colourPerX[4];
    int32_t texPerX[2];
    int16_t colourStart[4];
    int32_t texStart[2];
    int32_t rightCornerRow;
    int32_t lastRow;
    int32_t leftCornerRow;
    int32_t firstRow;
    int32_t textureHeight;
    int32_t textureWidth;
    WorkPixel* rowPointer;  // first pixel of the top row
    const uint32_t* texturePixels;
    int32_t rowBytes;
};

// Which row steps SetupEdges computes: bit 0 the texture coordinate's, bit 1
// the colour's. Depth steps are always computed.
enum EdgeSetupMode : int32_t {
    EdgeColour = 2,            // Gouraud and transparent fills
    EdgeColourAndTexture = 3,  // the textured fill
};

// The kernels of one rasteriser path; both paths give identical pixels. A
// frame chooses them once (RasterKernelsFor) and hands them to every
// triangle. Each works on the one RasterSetup it is given.
struct RasterKernels {
    // Per lane: floor(32768 / |d|) with the sign of d for |d| >= 2, +-32766
    // for |d| = 1, 32767 for 0.
    void (*reciprocal15)(const int16_t in[4], int16_t out[4]);
    // Plane gradients per pixel to the right (colourPerX, depthPerX and,
    // by `mode`, texPerX) of the triangle middle, bottom, top; returns the
    // doubled signed area, 0 for a degenerate triangle (then nothing is set).
    int32_t (*setupGradients)(RasterSetup& s, const ScreenVertex& middle, const ScreenVertex& bottom,
                              const ScreenVertex& top, EdgeSetupMode mode);
    // The row-step tables and start values of depth, colour and (by `mode`)
    // texture, from the gradients and from EdgeSlopes' reciprocals q and
    // slope fractions. Needs SetupGradients and EdgeSlopes done.
    void (*setupEdges)(RasterSetup& s, const ScreenVertex& left, const ScreenVertex& top, const ScreenVertex& bottom,
                       EdgeSetupMode mode, const int16_t q[4], const int16_t fraction[2]);
    // The span fills. Each expects a complete set-up: gradients, edges and
    // the start of the walk (leftX, rightX, rowPointer, rowBytes, the corner
    // rows; textureWidth, textureHeight, texturePixels for the textured
    // fill), every corner inside the work image. Each walks the rows from
    // firstRow, drawing on a row the pixels from leftX >> 16 to rightX >> 16
    // that pass the depth test (strictly nearer than the stored pixel).
    //   fillGouraud: dithered Gouraud colour; writes colour and depth; rows
    //     up to lastRow - 1.
    //   fillTransparent(filter): dithered Gouraud colour plus the stored
    //     colour times the filter bytes (blue, green, red in bytes 0..2) and
    //     the coverage lane; writes colour only, so what lies behind stays
    //     testable; rows up to lastRow - 1.
    //   fillTextured(filter): texel times the Gouraud light, blended with the
    //     stored colour by the filter bytes; no dither; writes colour and
    //     depth; rows up to and including lastRow.
    void (*fillGouraud)(RasterSetup& s);
    void (*fillTransparent)(RasterSetup& s, uint32_t filter);
    void (*fillTextured)(RasterSetup& s, uint32_t filter);
    // The whole of DrawTriangleWith, with the kernels above called directly.
    void (*drawTriangle)(FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                         const Material& material, bool textured, const Texture* texture);
};

// The MMX kernels for SimdMmx and above where they are compiled in (x86),
// the portable reference otherwise.
RasterKernels RasterKernelsFor(SimdLevel level);
// Whether the MMX kernels were compiled in.
bool MmxPathAvailable();

// Fills the triangle a, b, c (projected corners) into the work image. Nothing
// is drawn for a degenerate triangle, for one that covers no pixel, nor for
// one with a corner outside the frame buffer's drawable area (x
// 1..width-2, y 0..height-1), which the projection never produces.
// `texture` is used when `textured` is set and it has pixels; a transparent
// material blends by its `transparency` bytes.
void DrawTriangleWith(const RasterKernels& kernels, FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b,
                      const ScreenVertex& c, const Material& material, bool textured, const Texture* texture);
// The same with the kernels of ActiveSimdLevel().
void DrawTriangle(FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                  const Material& material, bool textured, const Texture* texture);

// The kernels of each path, for the tests and the benchmarks.
void Reciprocal15Scalar(const int16_t in[4], int16_t out[4]);
// The same values from a table below 1024 and by one single-precision
// division above, exact for every 16-bit d.
void Reciprocal15Fast(const int16_t in[4], int16_t out[4]);
int32_t SetupGradientsScalar(RasterSetup& s, const ScreenVertex& middle, const ScreenVertex& bottom,
                             const ScreenVertex& top, EdgeSetupMode mode);
int32_t SetupGradientsMmx(RasterSetup& s, const ScreenVertex& middle, const ScreenVertex& bottom,
                          const ScreenVertex& top, EdgeSetupMode mode);
void SetupEdgesScalar(RasterSetup& s, const ScreenVertex& left, const ScreenVertex& top, const ScreenVertex& bottom,
                      EdgeSetupMode mode, const int16_t q[4], const int16_t fraction[2]);
void SetupEdgesMmx(RasterSetup& s, const ScreenVertex& left, const ScreenVertex& top, const ScreenVertex& bottom,
                   EdgeSetupMode mode, const int16_t q[4], const int16_t fraction[2]);
void FillGouraudScalar(RasterSetup& s);
void FillGouraudMmx(RasterSetup& s);
void FillTransparentScalar(RasterSetup& s, uint32_t filter);
void FillTransparentMmx(RasterSetup& s, uint32_t filter);
void FillTexturedScalar(RasterSetup& s, uint32_t filter);
void FillTexturedMmx(RasterSetup& s, uint32_t filter);
void DrawTriangleScalar(FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                        const Material& material, bool textured, const Texture* texture);
void DrawTriangleMmx(FrameBuffer* fb, const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                     const Material& material, bool textured, const Texture* texture);
