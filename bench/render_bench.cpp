// Frames per second of the preview at 620 x 520: the built-in model and a
// hair mesh of more than 500,000 ribbon quads, each with the reference
// rasteriser and with the MMX one. Every frame is a full redraw.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "core/app_state.h"
#include "core/lights.h"
#include "core/hair_settings.h"
#include "core/math3d.h"
#include "core/view.h"
#include "render/frame_buffer.h"
#include "render/frame_driver.h"
#include "render/rasteriser.h"
#include "ribbon/ribbon_builder.h"

#if __has_include("formats/builtin_model.h")
#include "formats/builtin_model.h"
#define HAVE_BUILTIN_MODEL 1
#endif

namespace {

// Strands of `points` points grown from a sphere cap and drooping, stored as
// chains of line slots (first slot carries the point count).
Mesh* StrandMesh(int strands, int points) {
    Mesh* mesh = CreateMesh("strands");
    const int slotsPerStrand = (points - 1 + 2) / 3;
    GrowVertices(mesh, static_cast<int64_t>(strands) * points);
    GrowFaces(mesh, static_cast<int64_t>(strands) * slotsPerStrand);
    int v = 0, f = 0;
    for (int s = 0; s < strands; ++s) {
        const float a = 6.2831853f * static_cast<float>(s) * 0.618034f;
        const float h = static_cast<float>(s) / static_cast<float>(strands);
        const float ring = std::sqrt(1.0f - h * h);
        const Vec3 root{ring * std::cos(a), h, ring * std::sin(a)};
        const int first = v;
        for (int k = 0; k < points; ++k) {
            const float t = static_cast<float>(k) / static_cast<float>(points - 1);
            mesh->vertices[v++].position = Vec3{root.x * (1.0f + 0.4f * t), root.y + 0.3f * t - 1.2f * t * t,
                                                root.z * (1.0f + 0.4f * t)};
        }
        for (int start = 0; start < points - 1; start += 3) {
            for (int c = 0; c < 4; ++c) {
                const int k = start + c;
                mesh->faceVertexIndices[4 * f + c] = k < points ? first + k : -1;
                mesh->faceTexIndices[4 * f + c] = 0;
            }
            mesh->faceAttributes[f] = FaceLine | (start == 0 ? static_cast<uint32_t>(points) << FaceStrandCountShift : 0);
            ++f;
        }
    }
    mesh->vertexCount = v;
    mesh->faceCount = f;
    mesh->lineCount = f;
    ComputeNormals(mesh);
    ComputeBounds(mesh);
    return mesh;
}

struct Fixture {
    FrameBuffer fb{};
    Mesh* model = nullptr;
    Mesh* hair = nullptr;
    Fixture() {
        ResetAppState();
        SetLight(0, 1);
        CreateMemoryFrameBuffer(&fb, 620, 520);
#ifdef HAVE_BUILTIN_MODEL
        model = CreateMesh("computer");
        int32_t materials = 0;
        if (!LoadBuiltinModel(model, &materials)) {
            FreeMesh(model);
            model = nullptr;
        }
#endif
        Mesh* strands = StrandMesh(50000, 11);
        hair = BuildHairMesh(strands, HairSettingsFor(0.004f, 10, 0, 1, 0));
        FreeMesh(strands);
        if (hair) std::fprintf(stderr, "hair mesh: %d quads, %d vertices\n", hair->faceCount, hair->vertexCount);
    }
    ~Fixture() {
        ReleaseFrameBufferImages(&fb);
        FreeMesh(model);
        FreeMesh(hair);
    }
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

void DrawFrames(benchmark::State& state, Mesh* mesh) {
    if (!mesh) {
        state.SkipWithError("mesh not available in this build");
        return;
    }
    Fixture& f = TheFixture();
    const RasterPath path = state.range(0) ? RasterMmx : RasterScalar;
    if (path == RasterMmx && !MmxPathAvailable()) {
        state.SkipWithError("no MMX path");
        return;
    }
    SetRasterPath(path);
    SetStartupView(-30.0f);
    Scene scene{};
    scene.meshCount = 1;
    scene.meshes[0] = mesh;
    for (auto _ : state) {
        appState.fullRedraw = 1;
        DrawFrameInto(&f.fb, 620, 520, scene);
        benchmark::DoNotOptimize(f.fb.imagePixels[0]);
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetLabel(path == RasterMmx ? "mmx" : "scalar");
}

void BM_BuiltinModelFrame(benchmark::State& state) { DrawFrames(state, TheFixture().model); }
void BM_HairMeshFrame(benchmark::State& state) { DrawFrames(state, TheFixture().hair); }

BENCHMARK(BM_BuiltinModelFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HairMeshFrame)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
