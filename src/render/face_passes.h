// The per-mesh pipeline of a frame: the view matrices, orthographic
// projection with clip codes, front/back classification of the face slots,
// and the face passes that light corners and hand triangles and lines on.
// There is no polygon clipping: a slot with a corner outside the view volume
// is not drawn.
#pragma once

#include <cstdint>

#include "core/cpu_features.h"
#include "core/math3d.h"
#include "core/mesh.h"
#include "core/texture.h"
#include "render/frame_buffer.h"
#include "render/rasteriser.h"
#include "render/vertex_kernels.h"

using ViewFlags = uint32_t;
constexpr ViewFlags ViewBackculled = 0x01;  // back faces are not drawn
constexpr ViewFlags ViewWireframe = 0x10;   // faces as closed outlines
constexpr ViewFlags ViewTextured = 0x40;    // faces textured with the current slot

// What a frame is drawn with, as the application holds it.
struct DrawSettings {
    ViewFlags viewFlags;
    int32_t background;  // RGB565 fill of the cleared area
    float zoom;
    Matrix4 rotation;
    int32_t propMaterial;  // non-zero: every face with its mesh's own material
    Material presetMaterial;
    Material textureMaterial;  // instead of the preset when textured and not wireframe
    const Texture* texture;    // the current texture slot
};

// Rebuilt for every frame by SetupView.
struct ViewMatrices {
    Matrix4 modelView;            // mesh to eye coordinates
    Matrix4 modelViewProjection;  // mesh to clip coordinates
    Matrix4 normalTransform;      // mesh normals to eye space
};
extern ViewMatrices viewMatrices;

// Clip code bits: outside x < -1, x > 1, y < -1, y > 1, z < -1, z > 1.
constexpr int32_t ClipLeft = 0x01, ClipRight = 0x02, ClipBottom = 0x04, ClipTop = 0x08, ClipNear = 0x10, ClipFar = 0x20;

enum FacePass { PassOpaque = 0, PassTransparent = 1 };

// The matrices for a mesh of bounding `centre` and `radius` under `zoom`
// and `rotation`: clip = rotation x (zoom / radius) x (p - centre), z negated
// (zoom alone when radius is not above 0).
void SetupView(const Vec3& centre, float radius, float zoom, const Matrix4& rotation);

// Screen position, depth (0..32768, larger nearer), clip code and a reset
// lighting key for every vertex, in screenVertices (count 0 and nothing
// projected when there is no memory for them); the mesh's screenRect bounds
// them all. The
// scale is half the smaller side minus 10, at least 1, so geometry inside
// the volume stays inside the view.
void ProjectVertices(Mesh* mesh, int32_t viewWidth, int32_t viewHeight);
// The same, and every vertex lit as the first front face slot of DrawMesh
// under `settings` would light it, in the same pass over the vertices: the
// face passes then find most corners lit already (a corner lit under
// another key is lit again there).
void ProjectAndLightVertices(Mesh* mesh, int32_t viewWidth, int32_t viewHeight, const DrawSettings& settings);

// The outcode of a clip-space point, from the bit patterns: exactly +-1 and
// -0 are inside; infinities and not-a-number values are outside.
int32_t ClipCode(float x, float y, float z);

// out = the upper three rows of `m` applied to (p, 1).
void TransformPoint(Vec3* out, const Matrix4& m, const Vec3& p);

// Sets FaceFront on line slots and on faces whose eye-space normal z is at
// least -0.05; clears it on the others.
void ClassifyFaces(Mesh* mesh);

// Opaque front faces, opaque back faces (unless back-culled), then - when
// the front pass met a transparent material - transparent back and front faces.
void DrawMesh(FrameBuffer* fb, Mesh* mesh, const DrawSettings& settings);

// Draws the slots of one facing (FaceFront or 0) and one pass; returns
// MaterialTransparent when a slot of that facing has a transparent material.
int32_t DrawFacePass(FrameBuffer* fb, Mesh* mesh, const DrawSettings& settings, uint32_t facing, FacePass pass,
                     bool textured);

// The kernels a frame draws with, chosen once per frame from the
// instruction-set level; DrawFacePass chooses them from ActiveSimdLevel().
struct DrawKernels {
    VertexKernels vertex;
    RasterKernels raster;
};
DrawKernels DrawKernelsFor(SimdLevel level);
int32_t DrawFacePassWith(const DrawKernels& kernels, FrameBuffer* fb, Mesh* mesh, const DrawSettings& settings,
                         uint32_t facing, FacePass pass, bool textured);

// A one-pixel line with both end points, writing only the colour half
// (RGB565 from the packed shade word). Lines outside the frame buffer are
// not drawn.
void DrawLine(FrameBuffer* fb, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t shade);
