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

// The counts of the header and where each table starts in the bytes.
struct ModelLayout {
    int32_t vertices;
    int32_t faces;
    int32_t materials;  // 0 unless the Material records are used
    uint64_t positions;
    uint64_t corners;
    uint64_t texWords;
    uint64_t records;
};

// Reads the header; false when the tables it announces do not lie within
// `size` bytes. A vertex index has twenty bits.
bool ReadLayout(const unsigned char* data, size_t size, ModelLayout* layout) {
    if (!data || size < BuiltinHeaderSize) return false;
    const int32_t v = ReadInt(data);
    const int32_t f = ReadInt(data + 4);
    const int32_t m = ReadInt(data + 8);
    const int32_t recordSize = ReadInt(data + 12);
    if (v < 0 || f < 0 || v > 0xFFFFF) return false;
    const bool useRecords = m > 0 && recordSize == BuiltinMaterialRecordSize;
    if (useRecords && m > MaxMaterials) return false;
    layout->vertices = v;
    layout->faces = f;
    layout->materials = useRecords ? m : 0;
    layout->positions = BuiltinHeaderSize;
    layout->corners = layout->positions + 12ull * static_cast<uint64_t>(v);
    layout->texWords = layout->corners + 16ull * static_cast<uint64_t>(f);
    layout->records = layout->texWords + 16ull * static_cast<uint64_t>(f);
    const uint64_t end = layout->records + 96ull * static_cast<uint64_t>(layout->materials);
    return end <= size;
}

bool ReserveStorage(Mesh* mesh, const ModelLayout& layout) {
    mesh->vertexCount = layout.vertices;
    if (!GrowVertices(mesh, static_cast<int64_t>(layout.vertices) + 256)) return false;
    mesh->texCoordCount = layout.vertices;
    if (!GrowTexCoords(mesh, layout.vertices)) return false;
    mesh->faceCount = layout.faces;
    mesh->polygonCount = layout.faces;
    return GrowFaces(mesh, static_cast<int64_t>(layout.faces) + 256) != 0;
}

void ReadPositions(Mesh* mesh, const unsigned char* data, const ModelLayout& layout) {
    for (int32_t i = 0; i < layout.vertices; ++i) {
        const unsigned char* p = data + layout.positions + 12ull * static_cast<uint64_t>(i);
        MeshVertex& vertex = mesh->vertices[i];
        std::memset(&vertex, 0, sizeof vertex);
        vertex.position = Vec3{ReadFloat(p), ReadFloat(p + 4), ReadFloat(p + 8)};
    }
}

// False at the first corner past the vertices, which would send the
// renderer outside them.
bool ReadCorners(Mesh* mesh, const unsigned char* data, const ModelLayout& layout) {
    for (int32_t i = 0; i < layout.faces; ++i) {
        const unsigned char* p = data + layout.corners + 16ull * static_cast<uint64_t>(i);
        int32_t* slot = mesh->faceVertexIndices + 4 * i;
        for (int c = 0; c < 4; ++c) slot[c] = ReadInt(p + 4 * c);
        mesh->faceAttributes[i] = (static_cast<uint32_t>(slot[0]) >> 20) & 0x1FF;
        slot[0] &= 0xFFFFF;
        for (int c = 0; c < 4; ++c) {
            if (slot[c] >= layout.vertices || slot[c] < -1 || (c < 3 && slot[c] < 0)) return false;
        }
    }
    return true;
}

// A vertex named by several corners keeps the coordinate of the last.
void ReadTexCoords(Mesh* mesh, const unsigned char* data, const ModelLayout& layout) {
    for (int32_t i = 0; i < layout.faces; ++i) {
        const unsigned char* p = data + layout.texWords + 16ull * static_cast<uint64_t>(i);
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
}

// The Material records, named "mat1".. in order; without records the mesh
// keeps the one "Preview" name and no materials of its own.
void ReadMaterials(Mesh* mesh, const unsigned char* data, const ModelLayout& layout) {
    mesh->materialCount = layout.materials;
    CopyName(mesh->materialNames[0], "Preview", MeshNameSize);
    for (int32_t i = 0; i < layout.materials; ++i) {
        const unsigned char* p = data + layout.records + 96ull * static_cast<uint64_t>(i);
        uint32_t words[24];
        for (int k = 0; k < 24; ++k) words[k] = Read32(p + 4 * k);
        static_assert(sizeof words == sizeof(Material), "one record per Material");
        std::memcpy(&mesh->materials[i], words, sizeof words);
        std::snprintf(mesh->materialNames[i], MeshNameSize, "mat%d", static_cast<int>(i + 1));
    }
}

}  // namespace

int LoadModelBytes(Mesh* mesh, const unsigned char* data, size_t size, int32_t* materialsTaken) {
    *materialsTaken = 0;
    ModelLayout layout;
    if (!ReadLayout(data, size, &layout)) return 0;
    if (!ReserveStorage(mesh, layout)) return 0;
    ReadPositions(mesh, data, layout);
    if (!ReadCorners(mesh, data, layout)) return 0;
    ReadTexCoords(mesh, data, layout);
    ReadMaterials(mesh, data, layout);
    *materialsTaken = layout.materials > 0 ? 1 : 0;
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
