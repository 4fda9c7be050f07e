#include "support/render_helpers.h"

#include <algorithm>

OwnedFrameBuffer::OwnedFrameBuffer(int viewWidth, int viewHeight) {
    CreateMemoryFrameBuffer(&fb, viewWidth, viewHeight);
}

OwnedFrameBuffer::~OwnedFrameBuffer() { ReleaseFrameBufferImages(&fb); }

std::vector<WorkPixel> OwnedFrameBuffer::Work() const {
    return std::vector<WorkPixel>(fb.workPixels, fb.workPixels + fb.width * fb.height);
}

void OwnedFrameBuffer::Fill(WorkPixel value) {
    std::fill(fb.workPixels, fb.workPixels + fb.width * fb.height, value);
}

MeshVertex Corner(int x, int y, int depth, uint32_t shade, int texU, int texV) {
    MeshVertex v{};
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

std::vector<RasterPath> AvailablePaths() {
    std::vector<RasterPath> paths{RasterScalar};
    if (MmxPathAvailable()) paths.push_back(RasterMmx);
    return paths;
}

const char* PathName(RasterPath path) { return path == RasterMmx ? "mmx" : "scalar"; }
