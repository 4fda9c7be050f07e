// Small helpers for renderer tests: an owned frame buffer, projected corners,
// materials, and a path switch that restores the previous path.
#pragma once

#include <cstdint>
#include <vector>

#include "core/mesh.h"
#include "render/frame_buffer.h"
#include "core/cpu_features.h"
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
ScreenVertex Corner(int x, int y, int depth = 1000, uint32_t shade = 0x808080, int texU = 0, int texV = 0);

Material OpaqueMaterial();
Material TransparentMaterial(uint32_t filter);

// Makes the renderer's kernels those of one instruction-set level for a
// scope, then restores the level before it.
class LevelScope {
  public:
    explicit LevelScope(SimdLevel level) : saved_(SetActiveSimdLevel(level)) {}
    ~LevelScope() { SetActiveSimdLevel(saved_); }

  private:
    SimdLevel saved_;
};

// The levels a test runs on: the reference and every level this processor
// has, each of which picks different kernels.
std::vector<SimdLevel> AvailableLevels();

// A mesh of `points` and face slots (up to four corners; fewer end with -1),
// with per-slot attribute words (material index, FaceLine) and, when given,
// one texture coordinate per vertex (texture index = vertex index). Normals
// and bounds are computed. Freed with FreeMesh.
Mesh* BuildMesh(const std::vector<Vec3>& points, const std::vector<std::vector<int>>& slots,
                const std::vector<uint32_t>& attributes = {}, const std::vector<TexCoord>& uvs = {});

struct MeshDeleter {
    void operator()(Mesh* m) const { FreeMesh(m); }
};
