// Hair building and export throughput on generated strands of 24 points:
// the build must grow linearly with the number of strand points.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/hair_settings.h"
#include "core/memory.h"
#include "core/mesh.h"
#include "formats/obj_writer.h"
#include "ribbon/ribbon_builder.h"
#include "support/paths.h"

namespace {

constexpr int PointsPerStrand = 24;

// `strands` wavy strands of 24 points, stored as the OBJ reader stores them
// (a first slot of four points, continuation slots of up to three more),
// with normals computed.
Mesh* MakeStrands(int strands) {
    Mesh* mesh = CreateMesh("bench");
    const int64_t points = int64_t(strands) * PointsPerStrand;
    const int slotsPerStrand = 1 + (PointsPerStrand - 4 + 2) / 3;
    if (!mesh || !GrowVertices(mesh, points) || !GrowTexCoords(mesh, 1) ||
        !GrowFaces(mesh, int64_t(strands) * slotsPerStrand)) {
        std::abort();
    }
    mesh->texCoords[0] = TexCoord{0, 0};
    mesh->texCoordCount = 1;
    int32_t v = 0, slot = 0;
    for (int s = 0; s < strands; ++s) {
        const float x0 = float(s % 1000) * 0.01f, z0 = float(s / 1000) * 0.01f;
        const int32_t first = v;
        for (int k = 0; k < PointsPerStrand; ++k, ++v) {
            mesh->vertices[v] = MeshVertex{};
            mesh->vertices[v].position =
                Vec3{x0 + 0.003f * std::cos(0.9f * k + s), -0.004f * k, z0 + 0.003f * std::sin(0.9f * k + s)};
        }
        for (int start = 0; start + 1 < PointsPerStrand; start += 3, ++slot) {
            for (int c = 0; c < 4; ++c) {
                const int k = start + c;
                mesh->faceVertexIndices[4 * slot + c] = k < PointsPerStrand ? first + k : -1;
                mesh->faceTexIndices[4 * slot + c] = 0;
            }
            mesh->faceAttributes[slot] =
                FaceLine | (start == 0 ? uint32_t(PointsPerStrand) << FaceStrandCountShift : 0);
        }
    }
    mesh->vertexCount = v;
    mesh->faceCount = slot;
    mesh->lineCount = strands;
    ComputeNormals(mesh);
    ComputeBounds(mesh);
    return mesh;
}

void BuildHair(benchmark::State& state) {
    Mesh* source = MakeStrands(static_cast<int>(state.range(0)));
    const HairSettings settings = DefaultHairSettings();
    for (auto _ : state) {
        Mesh* hair = BuildHairMesh(source, settings);
        if (!hair) state.SkipWithError("build failed");
        benchmark::DoNotOptimize(hair);
        FreeMesh(hair);
    }
    const int64_t points = state.range(0) * PointsPerStrand;
    state.SetItemsProcessed(state.iterations() * points);
    state.SetComplexityN(points);
    state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsIterationInvariantRate);
    FreeMesh(source);
}

// "Create" pressed again and again: each build takes over the arrays of the
// hair mesh it replaces, as the program's rebuild does, so its pages are
// mapped already.
void RebuildHair(benchmark::State& state) {
    Mesh* source = MakeStrands(static_cast<int>(state.range(0)));
    const HairSettings settings = DefaultHairSettings();
    Mesh* hair = BuildHairMesh(source, settings);
    for (auto _ : state) {
        Mesh* next = BuildHairMesh(source, settings, hair);
        if (!next) state.SkipWithError("build failed");
        benchmark::DoNotOptimize(next);
        FreeMesh(hair);
        hair = next;
    }
    const int64_t points = state.range(0) * PointsPerStrand;
    state.SetItemsProcessed(state.iterations() * points);
    state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsIterationInvariantRate);
    FreeMesh(hair);
    FreeMesh(source);
}

// The floor under BuildHair: the hair mesh's arrays allocated afresh, held
// together as the build holds them, with every cache line written once. A
// build that allocates its output pays at least this, the kernel mapping
// and clearing each page at its first write.
void TouchHairArrays(benchmark::State& state) {
    Mesh* source = MakeStrands(static_cast<int>(state.range(0)));
    Mesh* hair = BuildHairMesh(source, DefaultHairSettings());
    const size_t faces = size_t(hair->faceCapacity);
    const size_t bytes[] = {sizeof(MeshVertex) * size_t(hair->vertexCapacity),
                            sizeof(TexCoord) * size_t(hair->texCoordCapacity),
                            16 * faces,
                            16 * faces,
                            sizeof(FacePlane) * faces,
                            sizeof(FaceAttributes) * faces};
    FreeMesh(hair);
    FreeMesh(source);
    for (auto _ : state) {
        char* blocks[6];
        for (int i = 0; i < 6; ++i) {
            blocks[i] = static_cast<char*>(AllocateBytes(bytes[i]));
            if (!blocks[i]) std::abort();
            for (size_t at = 0; at < bytes[i]; at += 64) blocks[i][at] = 1;
            benchmark::DoNotOptimize(blocks[i]);
        }
        for (char* block : blocks) ReleaseBytes(block);
    }
    const int64_t points = state.range(0) * PointsPerStrand;
    state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsIterationInvariantRate);
}

void ExportHair(benchmark::State& state) {
    Mesh* source = MakeStrands(static_cast<int>(state.range(0)));
    Mesh* hair = BuildHairMesh(source, DefaultHairSettings());
    FreeMesh(source);
    const std::string path = TempDir("export") + "/quillmere-hair-bench.obj";
    uintmax_t bytes = 0;
    for (auto _ : state) {
        if (!WriteObjFile(OwnerNone, hair, path.c_str(), "quillmere-hair-bench.mtl")) {
            state.SkipWithError("export failed");
        }
        bytes = std::filesystem::file_size(path);
    }
    const int64_t points = state.range(0) * PointsPerStrand;
    state.SetBytesProcessed(state.iterations() * int64_t(bytes));
    state.SetComplexityN(points);
    state.counters["points/s"] = benchmark::Counter(double(points), benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove(path);
    FreeMesh(hair);
}

// 50,000 and 200,000 strands (1.2 and 4.8 million points): linear growth
// shows as equal points/s and a fitted complexity of O(N).
BENCHMARK(BuildHair)->Arg(50000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);
BENCHMARK(RebuildHair)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(TouchHairArrays)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(ExportHair)->Arg(50000)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(2)->Complexity(benchmark::oN);

}  // namespace

BENCHMARK_MAIN();
