// OBJ loading beside tinyobjloader: a generated model of a million vertices
// and a million quads, and a hair file of 100,000 strands, each loaded by both
// in the same run; prints both times and their ratio. The files are made once
// in the temporary folder. Also times the export of both.
#include <benchmark/benchmark.h>
#include <tiny_obj_loader.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "app/app_state.h"
#include "core/mesh.h"
#include "formats/obj_reader.h"
#include "formats/obj_writer.h"

namespace {

constexpr int GridSide = 1001;  // 1,002,001 vertices, 1,000,000 quads
constexpr int StrandCount = 100000;
constexpr int StrandPoints = 12;  // 1,200,000 vertices

std::string Folder() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "quillmere-bench-obj";
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::string GridFile() {
    const std::string path = Folder() + "/grid-1m.obj";
    if (std::filesystem::exists(path)) return path;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fprintf(f, "# %d x %d grid\ng surface\nusemtl skin\n", GridSide, GridSide);
    for (int y = 0; y < GridSide; ++y) {
        for (int x = 0; x < GridSide; ++x) {
            std::fprintf(f, "v %.6f %.6f %.6f\n", x * 0.01, y * 0.01, 0.05 * ((x * 7 + y * 3) % 11));
        }
    }
    for (int y = 0; y < GridSide; ++y) {
        for (int x = 0; x < GridSide; ++x) {
            std::fprintf(f, "vt %.6f %.6f\n", x / double(GridSide - 1), y / double(GridSide - 1));
        }
    }
    for (int y = 0; y + 1 < GridSide; ++y) {
        for (int x = 0; x + 1 < GridSide; ++x) {
            const int a = y * GridSide + x + 1, b = a + 1, c = a + GridSide + 1, d = a + GridSide;
            std::fprintf(f, "f %d/%d %d/%d %d/%d %d/%d\n", a, a, b, b, c, c, d, d);
        }
    }
    std::fclose(f);
    return path;
}

std::string StrandFile() {
    const std::string path = Folder() + "/strands-100k.obj";
    if (std::filesystem::exists(path)) return path;
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fprintf(f, "# %d strands of %d points\ng hair\n", StrandCount, StrandPoints);
    for (int s = 0; s < StrandCount; ++s) {
        const double x = (s % 400) * 0.005, z = (s / 400) * 0.005;
        for (int p = 0; p < StrandPoints; ++p) {
            std::fprintf(f, "v %.6f %.6f %.6f\n", x + 0.001 * p, 0.02 * p, z - 0.0005 * p * p);
        }
    }
    for (int s = 0; s < StrandCount; ++s) {
        std::fputc('l', f);
        for (int p = 0; p < StrandPoints; ++p) std::fprintf(f, " %d", s * StrandPoints + p + 1);
        std::fputc('\n', f);
    }
    std::fclose(f);
    return path;
}

void QuillmereLoad(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        Mesh* mesh = CreateMesh("prop");
        if (!LoadObjFile(mesh, path.c_str())) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(mesh->faceCount);
        FreeMesh(mesh);
    }
}

void TinyObjLoad(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        tinyobj::ObjReaderConfig config;
        config.triangulate = false;  // the program keeps quads as they are
        tinyobj::ObjReader reader;
        if (!reader.ParseFromFile(path, config)) state.SkipWithError("tinyobjloader failed");
        benchmark::DoNotOptimize(reader.GetAttrib().vertices.size());
    }
}

void QuillmereExport(benchmark::State& state, const std::string& path) {
    Mesh* mesh = CreateMesh("prop");
    if (!LoadObjFile(mesh, path.c_str())) state.SkipWithError("load failed");
    const std::string out = Folder() + "/export.obj";
    for (auto _ : state) {
        if (!WriteObjFile(OwnerMainWindow, mesh, out.c_str(), "export.mtl")) state.SkipWithError("write failed");
    }
    FreeMesh(mesh);
    std::remove(out.c_str());
}

// Keeps each run's time per iteration, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    std::map<std::string, double> realMs, cpuMs;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.iterations == 0) continue;
            std::string name = run.benchmark_name();
            name = name.substr(0, name.find("/iterations:"));
            realMs[name] = run.GetAdjustedRealTime();
            cpuMs[name] = run.GetAdjustedCPUTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    const std::string grid = GridFile(), strands = StrandFile();
    benchmark::RegisterBenchmark("load/grid-1m/quillmere", QuillmereLoad, grid)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("load/grid-1m/tinyobjloader", TinyObjLoad, grid)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("load/strands-100k/quillmere", QuillmereLoad, strands)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("load/strands-100k/tinyobjloader", TinyObjLoad, strands)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(3);
    benchmark::RegisterBenchmark("export/grid-1m/quillmere", QuillmereExport, grid)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2);
    benchmark::RegisterBenchmark("export/strands-100k/quillmere", QuillmereExport, strands)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(2);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("ratio = quillmere / tinyobjloader (below 1: quillmere is faster)\n");
    for (const char* file : {"grid-1m", "strands-100k"}) {
        const std::string ours = std::string("load/") + file + "/quillmere";
        const std::string peer = std::string("load/") + file + "/tinyobjloader";
        if (reporter.realMs.count(ours) && reporter.realMs.count(peer)) {
            std::printf(
                "%-13s real: quillmere %7.1f ms, tinyobjloader %7.1f ms, ratio %.2f   "
                "cpu: quillmere %7.1f ms, tinyobjloader %7.1f ms, ratio %.2f\n",
                file, reporter.realMs[ours], reporter.realMs[peer], reporter.realMs[ours] / reporter.realMs[peer],
                reporter.cpuMs[ours], reporter.cpuMs[peer], reporter.cpuMs[ours] / reporter.cpuMs[peer]);
        }
    }
    benchmark::Shutdown();
    return 0;
}
