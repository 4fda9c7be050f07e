#include "support/render_helpers.h"

#include <algorithm>

OwnedFrameBuffer::OwnedFrameBuffer(int viewWidth, int viewHeight) {
    CreateMemoryFrameBuffer(&fb, viewWidth, viewHeight);
}

OwnedFrameBuffer::~OwnedFrameBuffer() { ReleaseFrameBufferImages(&fb); }

std::vector<WorkPixel> OwnedFrameBuffer::Work() const {
    return std::vector<WorkPixel>(fb.workPixels, fb.workPixels + fb.width * fb.height);
}

void OwnedFrameBuffer::Fill(WorkPixel value) { std::fill(fb.workPixels, fb.workPixels + fb.width * fb.height, value); }

ScreenVertex Corner(int x, int y, int depth, uint32_t shade, int texU, int texV) {
    ScreenVertex v{};
    v.screenX = x;
    v.screenY = y;
    v.depth = depth;
    v.shade = static_cast<int32_t>(shade);
    v.texU = texU;
    v.texV = texV;
    return v;
}

Material OpaqueMaterial() { return DefaultMaterial(); }

Material TransparentMaterial(uint32_t filter) {
    Material m = DefaultMaterial();
    m.materialFlags = MaterialTransparent;
    m.transparency = static_cast<int32_t>(filter);
    return m;
}

std::vector<SimdLevel> AvailableLevels() {
    std::vector<SimdLevel> levels;
    for (int level = SimdScalar; level <= DetectedSimdLevel(); ++level) levels.push_back(static_cast<SimdLevel>(level));
    return levels;
}

Mesh* BuildMesh(const std::vector<Vec3>& points, const std::vector<std::vector<int>>& slots,
                const std::vector<uint32_t>& attributes, const std::vector<TexCoord>& uvs) {
    Mesh* mesh = CreateMesh("test");
    GrowVertices(mesh, static_cast<int64_t>(points.size()));
    GrowFaces(mesh, static_cast<int64_t>(slots.size()));
    GrowTexCoords(mesh, static_cast<int64_t>(uvs.size()));
    for (size_t i = 0; i < points.size(); ++i) mesh->vertices[i].position = points[i];
    for (size_t i = 0; i < uvs.size(); ++i) mesh->texCoords[i] = uvs[i];
    for (size_t s = 0; s < slots.size(); ++s) {
        for (size_t c = 0; c < 4; ++c) {
            const int index = c < slots[s].size() ? slots[s][c] : -1;
            mesh->faceVertexIndices[4 * s + c] = index;
            mesh->faceTexIndices[4 * s + c] = index >= 0 && static_cast<size_t>(index) < uvs.size() ? index : 0;
        }
        mesh->faceAttributes[s] = s < attributes.size() ? attributes[s] : 0;
    }
    mesh->vertexCount = static_cast<int32_t>(points.size());
    mesh->texCoordCount = static_cast<int32_t>(uvs.size());
    mesh->faceCount = static_cast<int32_t>(slots.size());
    ComputeNormals(mesh);
    ComputeBounds(mesh);
    return mesh;
}
