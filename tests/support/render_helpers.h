// Small helpers for renderer tests: an owned frame buffer, projected corners,
// materials, and a path switch that restores the previous path.
#pragma once

#include <cstdint>
#include <vector>

#include "core/mesh.h"
#include "render/frame_buffer.h"
#include "render/rasteriser.h"

struct OwnedFrameBuffer {
    FrameBuffer fb{};
    OwnedFrameBuffer(int viewWidth, int viewHeight);
    ~OwnedFrameBuffer();
    OwnedFrameBuffer(const OwnedFrameBuffer&) = delete;
    OwnedFrameBuffer& operator=(const OwnedFrameBuffer&) = delete;
    WorkPixel& At(int x, int y) { return fb.workPixels[y * fb.width + x]; }
    std::vector<WorkPixel> Work() const;
    void Fill(WorkPixel value);
};

// A projected corner as the face passes leave it.
MeshVertex Corner(int x, int y, int depth = 1000, uint32_t shade = 0x808080, int texU = 0, int texV = 0);

Material OpaqueMaterial();
Material TransparentMaterial(uint32_t filter);

class PathScope {
public:
    explicit PathScope(RasterPath path) : saved_(ActiveRasterPath()) { SetRasterPath(path); }
    ~PathScope() { SetRasterPath(saved_); }

private:
    RasterPath saved_;
};

// The paths a test runs on: the reference, and MMX where it is compiled in.
std::vector<RasterPath> AvailablePaths();
const char* PathName(RasterPath path);

// A mesh of `points` and face slots (up to four corners; fewer end with -1),
// with per-slot attribute words (material index, FaceLine) and, when given,
// one texture coordinate per vertex (texture index = vertex index). Normals
// and bounds are computed. Freed with FreeMesh.
Mesh* BuildMesh(const std::vector<Vec3>& points, const std::vector<std::vector<int>>& slots,
                const std::vector<uint32_t>& attributes = {}, const std::vector<TexCoord>& uvs = {});

struct MeshDeleter {
    void operator()(Mesh* m) const { FreeMesh(m); }
};
