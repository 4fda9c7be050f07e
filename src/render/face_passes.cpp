// View set-up, projection, face classification and the face passes.
#include "render/face_passes.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "core/app_state.h"
#include "render/lighting.h"
#include "render/rasteriser.h"

ViewMatrices viewMatrices;

namespace {

Matrix4 Identity() {
    Matrix4 m;
    SetIdentity(&m);
    return m;
}

// floor(a * b) for the projection: the product of two singles is exact in
// double precision, so flooring it equals rounding it down to single
// precision first and flooring that.
int32_t FloorProduct(float a, float b) {
    return static_cast<int32_t>(std::floor(static_cast<double>(a) * static_cast<double>(b)));
}

// Texture coordinate times 32767, truncated; negative or not-a-number
// coordinates count as 0, and values past the int32 range saturate.
int32_t TextureUnits(float coordinate) {
    if (!(coordinate >= 0.0f)) return 0;
    const float units = coordinate * 32767.0f;
    if (units >= 2147483648.0f) return INT32_MAX;
    return static_cast<int32_t>(units);
}

uint32_t Rgb565FromShade(uint32_t c) {
    return ((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F);
}

}  // namespace

void TransformPoint(Vec3* out, const Matrix4& m, const Vec3& p) {
    const float* e = m.m;
    const Vec3 result{e[0] * p.x + e[1] * p.y + e[2] * p.z + e[3],
                      e[4] * p.x + e[5] * p.y + e[6] * p.z + e[7],
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

void SetupView(const Vec3& centre, float radius) {
    const float s = radius > 0.0f ? appState.zoom / radius : appState.zoom;
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
    MultiplyMatrices(modelView, appState.rotation, &modelView);
    MultiplyMatrices(modelView, back, &modelView);

    // Orthographic box, x and y -1..1, depth from -1 (near) to -3 (far).
    Matrix4 projection = Identity();
    projection.m[10] = -1.0f;
    projection.m[11] = -2.0f;

    viewMatrices.modelView = modelView;
    MultiplyMatrices(modelView, projection, &viewMatrices.modelViewProjection);
    NormalMatrix(&viewMatrices.normalTransform, modelView);
}

void ProjectVertices(Mesh* mesh, int32_t viewWidth, int32_t viewHeight) {
    mesh->screenRect = ScreenRect{viewWidth - 1, viewHeight - 1, 0, 0};
    const int32_t cx = viewWidth >> 1, cy = viewHeight >> 1;
    int32_t halfSide = (viewWidth < viewHeight ? viewWidth : viewHeight) >> 1;
    // At least one pixel of scale, whatever the view size.
    const float scale = static_cast<float>(halfSide - 10 >= 1 ? halfSide - 10 : 1);
    for (int32_t i = 0; i < mesh->vertexCount; ++i) {
        MeshVertex& v = mesh->vertices[i];
        Vec3 p;
        TransformPoint(&p, viewMatrices.modelViewProjection, v.position);
        v.clipCode = ClipCode(p.x, p.y, p.z);
        if (v.clipCode != 0) p = Vec3{0.0f, 0.0f, 0.0f};
        v.screenX = cx + FloorProduct(scale, p.x);
        v.screenY = cy - FloorProduct(scale, p.y);
        v.depth = FloorProduct(1.0f - p.z, 16384.0f);
        v.shadeKey = 0;
        ScreenRect& r = mesh->screenRect;
        if (v.screenX < r.minX) r.minX = v.screenX;
        if (v.screenY < r.minY) r.minY = v.screenY;
        if (v.screenX > r.maxX) r.maxX = v.screenX;
        if (v.screenY > r.maxY) r.maxY = v.screenY;
    }
}

void ClassifyFaces(Mesh* mesh) {
    const float* t = viewMatrices.normalTransform.m;
    for (int32_t i = 0; i < mesh->faceCount; ++i) {
        FaceAttributes& a = mesh->faceAttributes[i];
        if (a & FaceLine) {
            a |= FaceFront;
            continue;
        }
        const FacePlane& plane = mesh->facePlanes[i];
        const float nz = t[8] * plane.nx + t[9] * plane.ny + t[10] * plane.nz;
        // Faces turned slightly away still count as front.
        if (nz >= -0.05f) {
            a |= FaceFront;
        } else {
            a &= ~FaceFront;
        }
    }
}

void DrawMesh(FrameBuffer* fb, Mesh* mesh) {
    const bool textured = (appState.viewFlags & ViewTextured) != 0;
    const bool culled = (appState.viewFlags & ViewBackculled) != 0;
    const int32_t seen = DrawFacePass(fb, mesh, FaceFront, PassOpaque, textured);
    if (!culled) DrawFacePass(fb, mesh, 0, PassOpaque, textured);
    if (seen) {
        if (!culled) DrawFacePass(fb, mesh, 0, PassTransparent, textured);
        DrawFacePass(fb, mesh, FaceFront, PassTransparent, textured);
    }
}

int32_t DrawFacePass(FrameBuffer* fb, Mesh* mesh, uint32_t facing, FacePass pass, bool textured) {
    const uint32_t flags = appState.viewFlags;
    const bool useTextureMaterial = (flags & ViewTextured) && !(flags & ViewWireframe);
    const Material* material = useTextureMaterial ? &appState.textureMaterial : &appState.presetMaterial;
    uint32_t index = useTextureMaterial ? 1 : 0;
    int32_t seen = 0;
    for (int32_t i = 0; i < mesh->faceCount; ++i) {
        const FaceAttributes attributes = mesh->faceAttributes[i];
        if ((attributes & FaceFront) != facing) continue;
        if (appState.propMaterial) {
            index = attributes & FaceMaterialMask;
            material = &mesh->materials[index];
        }
        const int32_t transparent = material->materialFlags & MaterialTransparent;
        seen |= transparent;
        if ((pass == PassTransparent) != (transparent != 0)) continue;
        const int32_t key = static_cast<int32_t>(index | facing | 0x80000000u);

        const int32_t* slot = mesh->faceVertexIndices + 4 * i;
        MeshVertex* corners[4];
        int count = 0;
        int32_t clip = 0;
        bool valid = true;
        while (count < 4 && slot[count] != -1) {
            if (slot[count] < 0 || slot[count] >= mesh->vertexCount) valid = false;
            if (!valid) break;
            corners[count] = &mesh->vertices[slot[count]];
            clip |= corners[count]->clipCode;
            ++count;
        }
        if (!valid || clip != 0) continue;

        for (int k = 0; k < count; ++k) {
            MeshVertex& v = *corners[k];
            if (v.shadeKey != key) {
                Vec3 n;
                TransformPoint(&n, viewMatrices.normalTransform, v.normal);
                if (!facing) n = Vec3{-n.x, -n.y, -n.z};
                v.shade = static_cast<int32_t>(PackColour(LightVertex(n, *material)));
                v.shadeKey = key;
            }
            if (flags & ViewTextured) {
                const int32_t t = mesh->faceTexIndices[4 * i + k];
                const TexCoord uv = (t >= 0 && t < mesh->texCoordCount) ? mesh->texCoords[t] : TexCoord{0, 0};
                v.texU = TextureUnits(uv.u);
                v.texV = TextureUnits(uv.v);
            }
        }

        auto line = [&](int from, int to) {
            DrawLine(fb, corners[from]->screenX, corners[from]->screenY, corners[to]->screenX,
                     corners[to]->screenY, static_cast<uint32_t>(corners[from]->shade));
        };
        if (attributes & FaceLine) {
            for (int k = 0; k + 1 < count; ++k) line(k, k + 1);  // open polyline
        } else if (flags & ViewWireframe) {
            if (count >= 3) {
                for (int k = 0; k < count; ++k) line(k, (k + 1) % count);  // closed outline
            }
        } else if (count == 4) {
            DrawTriangle(fb, *corners[0], *corners[2], *corners[3], *material, textured, appState.currentTexture);
            DrawTriangle(fb, *corners[0], *corners[1], *corners[2], *material, textured, appState.currentTexture);
        } else if (count == 3) {
            DrawTriangle(fb, *corners[0], *corners[1], *corners[2], *material, textured, appState.currentTexture);
        }
    }
    return seen;
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
