// Loads the built-in preview model from its compact binary resource.
#include "formats/builtin_model.h"

#include <cstdio>
#include <cstring>

#include "core/platform.h"

namespace {

uint32_t Read32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

int32_t ReadInt(const unsigned char* p) {
    const uint32_t bits = Read32(p);
    int32_t value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

float ReadFloat(const unsigned char* p) {
    const uint32_t bits = Read32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The texture word's 16-bit halves are fractions of 32767; the scale is the
// single-precision 1/32767 (bit pattern 0x38000100).
const float texScale = 1.0f / 32767.0f;

}  // namespace

int LoadModelBytes(Mesh* mesh, const unsigned char* data, size_t size, int32_t* materialsTaken) {
    *materialsTaken = 0;
    if (!data || size < BuiltinHeaderSize) return 0;
    const int32_t v = ReadInt(data);
    const int32_t f = ReadInt(data + 4);
    const int32_t m = ReadInt(data + 8);
    const int32_t recordSize = ReadInt(data + 12);
    // The layout must lie within the bytes; a vertex index has twenty bits.
    if (v < 0 || f < 0 || v > 0xFFFFF) return 0;
    const bool useRecords = m > 0 && recordSize == BuiltinMaterialRecordSize;
    if (useRecords && m > MaxMaterials) return 0;
    const uint64_t positions = BuiltinHeaderSize;
    const uint64_t corners = positions + 12ull * static_cast<uint64_t>(v);
    const uint64_t texWords = corners + 16ull * static_cast<uint64_t>(f);
    const uint64_t records = texWords + 16ull * static_cast<uint64_t>(f);
    const uint64_t end = records + (useRecords ? 96ull * static_cast<uint64_t>(m) : 0);
    if (end > size) return 0;

    mesh->vertexCount = v;
    if (!GrowVertices(mesh, static_cast<int64_t>(v) + 256)) return 0;
    mesh->texCoordCount = v;
    if (!GrowTexCoords(mesh, v)) return 0;
    mesh->faceCount = f;
    mesh->polygonCount = f;
    if (!GrowFaces(mesh, static_cast<int64_t>(f) + 256)) return 0;

    for (int32_t i = 0; i < v; ++i) {
        const unsigned char* p = data + positions + 12ull * static_cast<uint64_t>(i);
        MeshVertex& vertex = mesh->vertices[i];
        std::memset(&vertex, 0, sizeof vertex);
        vertex.position = Vec3{ReadFloat(p), ReadFloat(p + 4), ReadFloat(p + 8)};
    }
    for (int32_t i = 0; i < f; ++i) {
        const unsigned char* p = data + corners + 16ull * static_cast<uint64_t>(i);
        int32_t* slot = mesh->faceVertexIndices + 4 * i;
        for (int c = 0; c < 4; ++c) slot[c] = ReadInt(p + 4 * c);
        mesh->faceAttributes[i] = (static_cast<uint32_t>(slot[0]) >> 20) & 0x1FF;
        slot[0] &= 0xFFFFF;
        // A corner past the vertices would send the renderer outside them.
        for (int c = 0; c < 4; ++c) {
            if (slot[c] >= v || slot[c] < -1 || (c < 3 && slot[c] < 0)) return 0;
        }
    }
    // A vertex named by several corners keeps the coordinate of the last.
    for (int32_t i = 0; i < f; ++i) {
        const unsigned char* p = data + texWords + 16ull * static_cast<uint64_t>(i);
        for (int c = 0; c < 4; ++c) {
            const int32_t index = mesh->faceVertexIndices[4 * i + c];
            if (index >= 0 && index < mesh->texCoordCount) {
                const uint32_t w = Read32(p + 4 * c);
                mesh->texCoords[index] = TexCoord{static_cast<float>((w >> 16) & 0xFFFF) * texScale,
                                                  static_cast<float>(w & 0xFFFF) * texScale};
                mesh->faceTexIndices[4 * i + c] = index;
            } else {
                mesh->faceTexIndices[4 * i + c] = 0;
            }
        }
    }

    mesh->materialCount = 0;
    CopyName(mesh->materialNames[0], "Preview", MeshNameSize);
    if (useRecords) {
        mesh->materialCount = m;
        *materialsTaken = 1;
        for (int32_t i = 0; i < m; ++i) {
            const unsigned char* p = data + records + 96ull * static_cast<uint64_t>(i);
            uint32_t words[24];
            for (int k = 0; k < 24; ++k) words[k] = Read32(p + 4 * k);
            static_assert(sizeof words == sizeof(Material), "one record per Material");
            std::memcpy(&mesh->materials[i], words, sizeof words);
            std::snprintf(mesh->materialNames[i], MeshNameSize, "mat%d", static_cast<int>(i + 1));
        }
    }
    CopyName(mesh->groupNames[0], "default", MeshNameSize);
    mesh->groupCount = 1;
    mesh->lineCount = 0;
    ComputeNormals(mesh);
    ComputeBounds(mesh);
    return 1;
}

int LoadBuiltinModel(Mesh* mesh, int32_t* materialsTaken) {
    *materialsTaken = 0;
    const unsigned char* data = nullptr;
    size_t size = 0;
    if (!FindEmbeddedResource("model", &data, &size)) return 0;
    return LoadModelBytes(mesh, data, size, materialsTaken);
}
