// View set-up, projection, face classification and the face passes.
#include "render/face_passes.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "render/lighting.h"
#include "render/rasteriser.h"
#include "render/vertex_kernels.h"

ViewMatrices viewMatrices;

namespace {

Matrix4 Identity() {
    Matrix4 m;
    SetIdentity(&m);
    return m;
}

// Texture coordinate times 32767, truncated; negative or not-a-number
// coordinates count as 0, and values past the int32 range saturate.
int32_t TextureUnits(float coordinate) {
    if (!(coordinate >= 0.0f)) return 0;
    const float units = coordinate * 32767.0f;
    if (units >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(units);
}

uint32_t Rgb565FromShade(uint32_t c) { return ((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F); }

}  // namespace

void TransformPoint(Vec3* out, const Matrix4& m, const Vec3& p) {
    const float* e = m.m;
    const Vec3 result{e[0] * p.x + e[1] * p.y + e[2] * p.z + e[3], e[4] * p.x + e[5] * p.y + e[6] * p.z + e[7],
                      e[8] * p.x + e[9] * p.y + e[10] * p.z + e[11]};
    *out = result;
}

int32_t ClipCode(float x, float y, float z) {
    const float values[3] = {x, y, z};
    int32_t code = 0;
    for (int i = 0; i < 3; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &values[i], sizeof bits);
        if (bits & 0x80000000u) {
            if (bits > 0xBF800000u) code |= 1 << (2 * i);  // below -1.0
        } else if (bits > 0x3F800000u) {
            code |= 2 << (2 * i);  // above 1.0
        }
    }
    return code;
}

void SetupView(const Vec3& centre, float radius, float zoom, const Matrix4& rotation) {
    const float s = radius > 0.0f ? zoom / radius : zoom;
    Matrix4 toCentre = Identity();
    toCentre.m[3] = -centre.x;
    toCentre.m[7] = -centre.y;
    toCentre.m[11] = -centre.z;
    Matrix4 scale = Identity();
    scale.m[0] = scale.m[5] = scale.m[10] = s;
    Matrix4 back = Identity();
    back.m[11] = -2.0f;

    // Translate, scale, rotate, translate: each step multiplies on the left.
    Matrix4 modelView = Identity();
    MultiplyMatrices(modelView, toCentre, &modelView);
    MultiplyMatrices(modelView, scale, &modelView);
    MultiplyMatrices(modelView, rotation, &modelView);
    MultiplyMatrices(modelView, back, &modelView);

    // Orthographic box, x and y -1..1, depth from -1 (near) to -3 (far).
    Matrix4 projection = Identity();
    projection.m[10] = -1.0f;
    projection.m[11] = -2.0f;

    viewMatrices.modelView = modelView;
    MultiplyMatrices(modelView, projection, &viewMatrices.modelViewProjection);
    NormalMatrix(&viewMatrices.normalTransform, modelView);
}

namespace {

// The material a pass starts with and its index in the lighting key (0 the
// preset, 1 the texture's; a mesh's own materials by their index).
struct PassMaterial {
    const Material* material;
    uint32_t index;
};

PassMaterial StartingMaterial(const DrawSettings& settings) {
    const bool useTextureMaterial = (settings.viewFlags & ViewTextured) && !(settings.viewFlags & ViewWireframe);
    return useTextureMaterial ? PassMaterial{&settings.textureMaterial, 1} : PassMaterial{&settings.presetMaterial, 0};
}

// The lighting key of a material index on one facing: never 0, which
// marks a screen vertex not lit this frame.
int32_t LightingKey(uint32_t index, uint32_t facing) { return static_cast<int32_t>(index | facing | 0x80000000u); }

// Projects the mesh into screenVertices, lighting every vertex under
// `lighting` too when it is given.
void ProjectMesh(Mesh* mesh, int32_t viewWidth, int32_t viewHeight, LightingParams* lighting) {
    mesh->screenRect = ScreenRect{viewWidth - 1, viewHeight - 1, 0, 0};
    const int32_t halfSide = (viewWidth < viewHeight ? viewWidth : viewHeight) >> 1;
    // At least one pixel of scale, whatever the view size.
    const float scale = static_cast<float>(halfSide - 10 >= 1 ? halfSide - 10 : 1);
    const ProjectionParams params{viewMatrices.modelViewProjection, viewWidth >> 1, viewHeight >> 1, scale};
    // Without room for the screen vertices nothing of the mesh is drawn.
    if (!ReserveScreenVertices(mesh->vertexCount)) return;
    const VertexKernels kernels = VertexKernelsFor(ActiveSimdLevel());
    if (lighting) {
        lighting->screen = screenVertices.vertices;
        kernels.projectAndLight(mesh->vertices, screenVertices.vertices, mesh->vertexCount, params, *lighting,
                                &mesh->screenRect);
    } else {
        kernels.project(mesh->vertices, screenVertices.vertices, mesh->vertexCount, params, &mesh->screenRect);
    }
}

}  // namespace

void ProjectVertices(Mesh* mesh, int32_t viewWidth, int32_t viewHeight) {
    ProjectMesh(mesh, viewWidth, viewHeight, nullptr);
}

void ProjectAndLightVertices(Mesh* mesh, int32_t viewWidth, int32_t viewHeight, const DrawSettings& settings) {
    PassMaterial start = StartingMaterial(settings);
    if (settings.propMaterial && mesh->faceCount > 0) {
        start.index = mesh->faceAttributes[0] & FaceMaterialMask;
        start.material = &mesh->materials[start.index];
    }
    LightingParams lighting{&viewMatrices.normalTransform,       start.material, false,
                            LightingKey(start.index, FaceFront), mesh->vertices, nullptr};
    ProjectMesh(mesh, viewWidth, viewHeight, &lighting);
}

void ClassifyFaces(Mesh* mesh) {
    if (mesh->faceCount <= 0) return;
    VertexKernelsFor(ActiveSimdLevel())
        .classify(mesh->facePlanes, mesh->faceAttributes, mesh->faceCount, viewMatrices.normalTransform);
}

void DrawMesh(FrameBuffer* fb, Mesh* mesh, const DrawSettings& settings) {
    // The kernels of the whole frame, chosen once.
    const DrawKernels kernels = DrawKernelsFor(ActiveSimdLevel());
    const bool textured = (settings.viewFlags & ViewTextured) != 0;
    const bool culled = (settings.viewFlags & ViewBackculled) != 0;
    const int32_t seen = DrawFacePassWith(kernels, fb, mesh, settings, FaceFront, PassOpaque, textured);
    if (!culled) DrawFacePassWith(kernels, fb, mesh, settings, 0, PassOpaque, textured);
    if (seen) {
        if (!culled) DrawFacePassWith(kernels, fb, mesh, settings, 0, PassTransparent, textured);
        DrawFacePassWith(kernels, fb, mesh, settings, FaceFront, PassTransparent, textured);
    }
}

namespace {

// A shadeKey bit no lighting key uses: the corner waits in the current batch
// to be lit under the key without this bit.
constexpr int32_t PendingLight = 0x20000000;
constexpr int BatchSlots = 64;

// What every slot of one pass is drawn with.
struct PassContext {
    FrameBuffer* fb;
    Mesh* mesh;
    const DrawSettings* settings;
    uint32_t facing;
    uint32_t flags;
    bool textured;
    const DrawKernels* kernels;
};

struct PendingSlot {
    int32_t slot;
    int32_t count;
    int32_t indices[4];
    ScreenVertex* corners[4];
};

// Slots of a pass waiting to be drawn and the corners waiting to be lit for
// them, all under one key and material. Lighting a whole batch at once lets
// the kernels light several corners together; each corner is still lit once
// per key change, as slot by slot, and every slot is drawn with the shade it
// would have had, in the same order.
struct PassBatch {
    int32_t key;
    const Material* material;
    int32_t slotCount;
    int32_t unlitCount;
    PendingSlot slots[BatchSlots];
    int32_t unlit[4 * BatchSlots];
};

// The slot's corners up to the first -1; false when one is out of range or
// outside the view volume.
bool DrawableCorners(const Mesh& mesh, int32_t i, PendingSlot* out) {
    const int32_t* slot = mesh.faceVertexIndices + 4 * i;
    const int32_t vertexCount = screenVertices.count < mesh.vertexCount ? screenVertices.count : mesh.vertexCount;
    int32_t clip = 0;
    out->slot = i;
    out->count = 0;
    while (out->count < 4 && slot[out->count] != -1) {
        const int32_t index = slot[out->count];
        if (index < 0 || index >= vertexCount) return false;
        out->indices[out->count] = index;
        out->corners[out->count] = &screenVertices.vertices[index];
        clip |= out->corners[out->count]->clipCode;
        ++out->count;
    }
    return clip == 0;
}

// The slot's texture coordinates, written into its corners just before it
// is drawn (a vertex shared by slots may carry different ones for each).
void SetCornerTexCoords(const Mesh& mesh, const PendingSlot& p) {
    for (int k = 0; k < p.count; ++k) {
        const int32_t t = mesh.faceTexIndices[4 * p.slot + k];
        const TexCoord uv = (t >= 0 && t < mesh.texCoordCount) ? mesh.texCoords[t] : TexCoord{0, 0};
        p.corners[k]->texU = TextureUnits(uv.u);
        p.corners[k]->texV = TextureUnits(uv.v);
    }
}

void DrawSlot(const PassContext& c, const PendingSlot& p, const Material& material) {
    ScreenVertex* const* v = p.corners;
    auto line = [&](int from, int to) {
        DrawLine(c.fb, v[from]->screenX, v[from]->screenY, v[to]->screenX, v[to]->screenY,
                 static_cast<uint32_t>(v[from]->shade));
    };
    const Texture* texture = c.settings->texture;
    const RasterKernels& raster = c.kernels->raster;
    if (c.mesh->faceAttributes[p.slot] & FaceLine) {
        for (int k = 0; k + 1 < p.count; ++k) line(k, k + 1);  // open polyline
    } else if (c.flags & ViewWireframe) {
        if (p.count >= 3) {
            for (int k = 0; k < p.count; ++k) line(k, (k + 1) % p.count);  // closed outline
        }
    } else if (p.count == 4) {
        raster.drawTriangle(c.fb, *v[0], *v[2], *v[3], material, c.textured, texture);
        raster.drawTriangle(c.fb, *v[0], *v[1], *v[2], material, c.textured, texture);
    } else if (p.count == 3) {
        raster.drawTriangle(c.fb, *v[0], *v[1], *v[2], material, c.textured, texture);
    }
}

// Asks early for the work pixels a slot covers, one row at a time at its
// leftmost and rightmost corners: the triangles of a groom land all over the
// view, so their rows are seldom in the cache.
void PrefetchSlotPixels(const FrameBuffer& fb, const PendingSlot& p) {
    int32_t minX = fb.width, maxX = -1, minY = fb.height, maxY = -1;
    for (int k = 0; k < p.count; ++k) {
        const ScreenVertex& v = *p.corners[k];
        minX = v.screenX < minX ? v.screenX : minX, maxX = v.screenX > maxX ? v.screenX : maxX;
        minY = v.screenY < minY ? v.screenY : minY, maxY = v.screenY > maxY ? v.screenY : maxY;
    }
    if (minX < 0 || maxX >= fb.width || minY < 0 || maxY >= fb.height || maxY - minY > 16) return;
    for (int32_t y = minY; y <= maxY; ++y) {
        const WorkPixel* row = fb.workPixels + static_cast<ptrdiff_t>(y) * fb.width;
        __builtin_prefetch(row + minX, 1);
        __builtin_prefetch(row + maxX, 1);
    }
}

// Lights the waiting corners, then draws the waiting slots in order.
void FlushBatch(const PassContext& c, PassBatch* b) {
    if (b->unlitCount > 0) {
        const LightingParams params{&viewMatrices.normalTransform, b->material, c.facing == 0, b->key, c.mesh->vertices,
                                    screenVertices.vertices};
        c.kernels->vertex.light(b->unlit, b->unlitCount, params);
    }
    constexpr int Ahead = 4;
    for (int32_t i = 0; i < b->slotCount && i < Ahead; ++i) PrefetchSlotPixels(*c.fb, b->slots[i]);
    for (int32_t i = 0; i < b->slotCount; ++i) {
        if (i + Ahead < b->slotCount) PrefetchSlotPixels(*c.fb, b->slots[i + Ahead]);
        if (c.flags & ViewTextured) SetCornerTexCoords(*c.mesh, b->slots[i]);
        DrawSlot(c, b->slots[i], *b->material);
    }
    b->slotCount = 0;
    b->unlitCount = 0;
}

void QueueSlot(const PassContext& c, PassBatch* b, const PendingSlot& slot, int32_t key, const Material* material) {
    if (b->slotCount > 0 && (key != b->key || b->slotCount == BatchSlots)) FlushBatch(c, b);
    b->key = key;
    b->material = material;
    for (int k = 0; k < slot.count; ++k) {
        ScreenVertex* v = slot.corners[k];
        if (v->shadeKey == key || v->shadeKey == (key | PendingLight)) continue;
        v->shadeKey = key | PendingLight;
        b->unlit[b->unlitCount++] = slot.indices[k];
    }
    b->slots[b->slotCount++] = slot;
}

PassBatch passBatch;  // one pass at a time

// Asks early for the first and third corners of a slot further on (a quad's
// four corners lie on one or two lines of screen vertices).
void PrefetchSlotVertices(const Mesh& mesh, int32_t slot) {
    if (slot >= mesh.faceCount) return;
    for (int k = 0; k < 4; k += 2) {
        const int32_t index = mesh.faceVertexIndices[4 * slot + k];
        if (index >= 0 && index < screenVertices.count) __builtin_prefetch(screenVertices.vertices + index, 1);
    }
}

int32_t DrawPass(const PassContext& c, FacePass pass) {
    const PassMaterial start = StartingMaterial(*c.settings);
    const Material* material = start.material;
    uint32_t index = start.index;
    int32_t seen = 0;
    PassBatch& batch = passBatch;
    batch.slotCount = 0;
    batch.unlitCount = 0;
    const Mesh& mesh = *c.mesh;
    for (int32_t i = 0; i < mesh.faceCount; ++i) {
        PrefetchSlotVertices(mesh, i + 16);
        const FaceAttributes attributes = mesh.faceAttributes[i];
        if ((attributes & FaceFront) != c.facing) continue;
        if (c.settings->propMaterial) {
            index = attributes & FaceMaterialMask;
            material = &mesh.materials[index];
        }
        const int32_t transparent = material->materialFlags & MaterialTransparent;
        seen |= transparent;
        if ((pass == PassTransparent) != (transparent != 0)) continue;
        PendingSlot slot;
        if (!DrawableCorners(mesh, i, &slot)) continue;
        QueueSlot(c, &batch, slot, LightingKey(index, c.facing), material);
    }
    FlushBatch(c, &batch);
    return seen;
}

}  // namespace

DrawKernels DrawKernelsFor(SimdLevel level) { return DrawKernels{VertexKernelsFor(level), RasterKernelsFor(level)}; }

int32_t DrawFacePassWith(const DrawKernels& kernels, FrameBuffer* fb, Mesh* mesh, const DrawSettings& settings,
                         uint32_t facing, FacePass pass, bool textured) {
    const PassContext context{fb, mesh, &settings, facing, settings.viewFlags, textured, &kernels};
    return DrawPass(context, pass);
}

int32_t DrawFacePass(FrameBuffer* fb, Mesh* mesh, const DrawSettings& settings, uint32_t facing, FacePass pass,
                     bool textured) {
    return DrawFacePassWith(DrawKernelsFor(ActiveSimdLevel()), fb, mesh, settings, facing, pass, textured);
}

void DrawLine(FrameBuffer* fb, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t shade) {
    auto inside = [&](int32_t x, int32_t y) { return x >= 0 && y >= 0 && x < fb->width && y < fb->height; };
    if (!inside(x0, y0) || !inside(x1, y1)) return;
    const uint32_t colour = Rgb565FromShade(shade);
    auto plot = [&](int32_t x, int32_t y) {
        WorkPixel& p = fb->workPixels[static_cast<ptrdiff_t>(y) * fb->width + x];
        p = (p & 0xFFFF0000u) | colour;  // lines neither test nor write depth
    };
    const int32_t dx = x1 >= x0 ? x1 - x0 : x0 - x1, sx = x1 >= x0 ? 1 : -1;
    const int32_t dy = y1 >= y0 ? y1 - y0 : y0 - y1, sy = y1 >= y0 ? 1 : -1;
    int32_t x = x0, y = y0;
    if (dx >= dy) {
        int32_t e = 2 * dy - dx;
        while (x != x1) {
            plot(x, y);
            if (e >= 0) {
                e -= 2 * dx;
                y += sy;
            }
            e += 2 * dy;
            x += sx;
        }
    } else {
        int32_t e = 2 * dx - dy;
        while (y != y1) {
            plot(x, y);
            if (e > 0) {
                e -= 2 * dy;
                x += sx;
            }
            e += 2 * dx;
            y += sy;
        }
    }
    plot(x, y);
}
