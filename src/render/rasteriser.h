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
// rasteriser.cpp and the MMX one in rasteriser_mmx.cpp. The MMX path is used
// where the processor has it unless QUILLMERE_SCALAR=1 is in the environment.
#pragma once

#include <cstdint>

#include "core/mesh.h"
#include "render/frame_buffer.h"

struct Texture;

struct RasterSetup {
    int32_t leftStep;        // 16.16 per row, top corner to left corner
    int32_t leftStepLower;   // left corner to bottom corner
    int32_t rightStep;       // top corner to right corner
    int32_t rightStepLower;  // right corner to bottom corner
    int32_t leftDepth;       // depth at the first pixel of the current row
    int32_t depthAtLeftCorner;
    int32_t leftX;
    int32_t leftXAtLeftCorner;
    int32_t rightX;
    int32_t rightXAtRightCorner;
    int32_t depthPerX;
    // Row steps indexed by halfIndex + carry: [0] upper part, [1] upper part
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
    WorkPixel* rowPointer;  // first pixel of the current row
    const uint32_t* texturePixels;
    int32_t rowBytes;
    int32_t halfIndex;  // 0 on the upper part of the left edge, 2 on the lower
};

enum RasterPath { RasterScalar = 0, RasterMmx = 1 };

// Whether the MMX path was compiled in (x86 builds).
bool MmxPathAvailable();
// The path DrawTriangle uses. Chosen on first use: MMX when available and
// QUILLMERE_SCALAR is not "1". SetRasterPath ignores RasterMmx when the path
// is not available.
RasterPath ActiveRasterPath();
void SetRasterPath(RasterPath path);

// Fills the triangle a, b, c (projected corners) into the work image. Nothing
// is drawn for a degenerate triangle, nor for one with a corner outside the
// frame buffer's drawable area (x 1..width-2, y 0..height-1), which the
// projection never produces. `texture` is used when `textured` is set and
// it has pixels; a transparent material blends by its `transparency` bytes.
void DrawTriangle(FrameBuffer* fb, const MeshVertex& a, const MeshVertex& b, const MeshVertex& c,
                  const Material& material, bool textured, const Texture* texture);

// The building blocks, each with a scalar and an MMX version that agree bit
// for bit; exposed for the tests.
//
// Plane gradients per pixel to the right (colourPerX, depthPerX, texPerX);
// returns the doubled signed area (0 for a degenerate triangle).
int32_t SetupGradients(RasterSetup& s, const MeshVertex& middle, const MeshVertex& bottom,
                       const MeshVertex& top);
// Edge slopes, row-step tables and start values; mode bit 0 texture, bit 1 colour.
void SetupEdges(RasterSetup& s, const MeshVertex& left, const MeshVertex& right,
                const MeshVertex& top, const MeshVertex& bottom, int mode);
// Per lane: floor(32768 / |d|) with the sign of d for |d| >= 2, +-32766 for
// |d| = 1, 32767 for 0.
void Reciprocal15(const int16_t in[4], int16_t out[4]);
void FillGouraud(RasterSetup& s);
void FillTransparent(RasterSetup& s, uint32_t filter);
void FillTextured(RasterSetup& s, uint32_t filter);

// The same operations by path, for the tests and the benchmarks.
void Reciprocal15Scalar(const int16_t in[4], int16_t out[4]);
void Reciprocal15Mmx(const int16_t in[4], int16_t out[4]);
int32_t SetupGradientsScalar(RasterSetup& s, const MeshVertex& middle, const MeshVertex& bottom,
                             const MeshVertex& top);
int32_t SetupGradientsMmx(RasterSetup& s, const MeshVertex& middle, const MeshVertex& bottom,
                          const MeshVertex& top);
void SetupEdgesScalar(RasterSetup& s, const MeshVertex& left, const MeshVertex& right,
                      const MeshVertex& top, const MeshVertex& bottom, int mode);
void SetupEdgesMmx(RasterSetup& s, const MeshVertex& left, const MeshVertex& right,
                   const MeshVertex& top, const MeshVertex& bottom, int mode);
void FillGouraudScalar(RasterSetup& s);
void FillGouraudMmx(RasterSetup& s);
void FillTransparentScalar(RasterSetup& s, uint32_t filter);
void FillTransparentMmx(RasterSetup& s, uint32_t filter);
void FillTexturedScalar(RasterSetup& s, uint32_t filter);
void FillTexturedMmx(RasterSetup& s, uint32_t filter);
