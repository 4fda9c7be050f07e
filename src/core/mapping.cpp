// Spherical texture coordinates from vertex normals, and face inversion.
#include "core/mapping.h"

#include <cmath>
#include <cstdint>
#include <utility>

#include "core/memory.h"
#include "core/platform.h"

namespace {

// Texture coordinates are kept as integers 0..32767 while the seam is fixed.
constexpr float TexScale = 32767.0f;
constexpr float InverseTexScale = 1.0f / 32767.0f;  // 0.000030518509
constexpr int32_t SeamRange = 0x8000;

// Clamps to 0..1; a NaN (from a degenerate normal) becomes 0 rather than an
// undefined float-to-integer conversion.
float UnitClamp(float value) {
    if (!(value >= 0.0f)) return 0.0f;
    if (value > 1.0f) return 1.0f;
    return value;
}

}  // namespace

SphereTexel SphereTexelOf(const Vec3& normal) {
    float y = normal.y;
    if (y > 1.0f) y = 1.0f;
    if (y < -1.0f) y = -1.0f;
    float u = 0.0f;
    if (!(normal.x == 0.0f && normal.z == 0.0f)) u = std::atan2(-normal.z, normal.x) * 0.15915497f;
    u = u + 0.5f;
    float v = 1.0f - std::acos(y) * 0.31830995f;
    u = UnitClamp(u);
    v = UnitClamp(v);
    return SphereTexel{static_cast<int32_t>(u * TexScale), static_cast<int32_t>(v * TexScale)};
}

int MapSpherical(Mesh* mesh) {
    SphereTexel* texels = AllocateSphereTexels(mesh);
    if (!texels) return 0;
    for (int i = 0; i < mesh->vertexCount; ++i) texels[i] = SphereTexelOf(mesh->vertices[i].normal);
    const int ok = MapSphericalTexels(mesh, texels);
    ReleaseBytes(texels);
    return ok;
}

SphereTexel* AllocateSphereTexels(const Mesh* mesh) {
    size_t bytes = 0;
    SphereTexel* texels = nullptr;
    if (ArrayByteSize(mesh->vertexCount, sizeof(SphereTexel), &bytes)) {
        texels = static_cast<SphereTexel*>(AllocateBytes(bytes));
    }
    if (!texels) ShowMessageBox(OwnerNone, "Out of memory", "Error", MessageIconError);
    return texels;
}

int MapSphericalTexels(Mesh* mesh, const SphereTexel* texels) {
    // The new table is in place before the old one goes, so a failure here
    // leaves the mesh exactly as it was.
    const int64_t capacity = 4 * static_cast<int64_t>(mesh->faceCount);
    size_t coordBytes = 0;
    TexCoord* coords = nullptr;
    if (ArrayByteSize(capacity, sizeof(TexCoord), &coordBytes)) {
        coords = static_cast<TexCoord*>(AllocateBytes(coordBytes));
    }
    if (!coords) return 0;

    int32_t n = 0;
    for (int slot = 0; slot < mesh->faceCount; ++slot) {
        const int32_t* corners = mesh->faceVertexIndices + 4 * slot;
        int32_t* texIndices = mesh->faceTexIndices + 4 * slot;
        int32_t u[4], v[4];
        for (int c = 0; c < 4; ++c) {
            const bool used = corners[c] >= 0 && corners[c] < mesh->vertexCount;
            u[c] = used ? texels[corners[c]].u : 0;
            v[c] = used ? texels[corners[c]].v : 0;
        }
        FixSeam(&u[0], &u[1], &u[2], SeamRange);
        for (int c = 0; c < 4; ++c) {
            if (corners[c] >= 0) {
                coords[n] =
                    TexCoord{static_cast<float>(u[c]) * InverseTexScale, static_cast<float>(v[c]) * InverseTexScale};
                texIndices[c] = n;
                ++n;
            } else {
                texIndices[c] = 0;
            }
        }
    }

    ReleaseBytes(mesh->texCoords);
    mesh->texCoords = coords;
    mesh->texCoordCapacity = static_cast<int32_t>(capacity);
    mesh->texCoordCount = n;
    return 1;
}

void FixSeam(int32_t* p, int32_t* q, int32_t* r, int32_t range) {
    // Compared in 64 bits and added with 32-bit wrapping, so no input
    // overflows; for the mapping's values 0..32767 nothing wraps.
    const int64_t half = range / 2;
    int64_t largest = *p;
    if (*q > largest) largest = *q;
    if (*r > largest) largest = *r;
    int32_t* values[3] = {p, q, r};
    for (int32_t* value : values) {
        if (largest - *value > half) {
            *value = static_cast<int32_t>(static_cast<uint32_t>(*value) + static_cast<uint32_t>(range));
        }
    }
}

void InvertMesh(Mesh* mesh) {
    if (!mesh) return;
    for (int slot = 0; slot < mesh->faceCount; ++slot) {
        // Strands keep their point order: the continuation slots of a strand
        // start with the last point of the slot before.
        if (mesh->faceAttributes[slot] & FaceLine) continue;
        int32_t* vertices = mesh->faceVertexIndices + 4 * slot;
        int32_t* texIndices = mesh->faceTexIndices + 4 * slot;
        if (vertices[3] == -1) {
            std::swap(vertices[0], vertices[1]);
            std::swap(texIndices[0], texIndices[1]);
        } else {
            std::swap(vertices[0], vertices[3]);
            std::swap(vertices[1], vertices[2]);
            std::swap(texIndices[0], texIndices[3]);
            std::swap(texIndices[1], texIndices[2]);
        }
    }
    ComputeNormals(mesh);
}
