// Loading beside fast_obj and tinyobjloader in the same run: a generated
// model of a million vertices and a million quads and a hair file of 100,000
// strands, or the OBJ files named on the command line (a groom).
// Each OBJ file is also converted here to a Poser prop whose one geomCustom
// block holds the same statements, and that load is set beside the peers'
// load of the OBJ file. A load here is all the program does on opening a
// file: statements, normals, face planes, bounds and spherical mapping.
//
//   quillmere_bench_obj [RUNS] [FILE.obj ...]
//
// Prints the median of RUNS (default 5) per loader, in processor time (user
// and system) so that other work on the machine does not count, one stable
// line a file:
//   load FILE: quillmere X ms, fast_obj Y ms, ratio R, tinyobjloader Z ms, ratio S
// with ratio = the peer's time / quillmere's (above 1: quillmere is faster).
// fast_obj is not packaged; it is compiled in when the build names its
// sources (-DQUILLMERE_FAST_OBJ_DIR=...), else its figure reads "not built".
#include <tiny_obj_loader.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#if defined(QUILLMERE_BENCH_FAST_OBJ)
#include <fast_obj.h>
#endif

#include "core/mesh.h"
#include "formats/obj_reader.h"
#include "formats/poser_reader.h"
#include "support/paths.h"

namespace {

constexpr int GridSide = 1001;  // 1,002,001 vertices, 1,000,000 quads
constexpr int StrandCount = 100000;
constexpr int StrandPoints = 12;  // 1,200,000 vertices

void Fail(const char* what) {
    std::fprintf(stderr, "obj bench: %s\n", what);
    std::exit(1);
}

// Made once per run: the generated files stay for every case of this run.
std::string Folder() {
    static const std::string dir = TempDir("obj");
    return dir;
}

std::FILE* Create(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) Fail("cannot write a bench file");
    return f;
}

std::string GridFile() {
    const std::string path = Folder() + "/grid-1m.obj";
    if (std::filesystem::exists(path)) return path;
    std::FILE* f = Create(path);
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
    std::FILE* f = Create(path);
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

// The OBJ file's v, vt, f, l, g and usemtl lines inside one geomCustom block
// of a prop, with the counts the block announces first.
std::string PoserCopy(const std::string& objPath) {
    const std::string path = Folder() + "/" + std::filesystem::path(objPath).stem().string() + ".pp2";
    std::FILE* in = std::fopen(objPath.c_str(), "rb");
    if (!in) Fail("cannot read an OBJ file");
    std::string body;
    long counts[3] = {0, 0, 0};  // v, vt, f and l
    std::vector<char> line(1 << 20);
    while (std::fgets(line.data(), static_cast<int>(line.size()), in)) {
        const char* l = line.data();
        const int kind = std::strncmp(l, "v ", 2) == 0                                         ? 0
                         : std::strncmp(l, "vt ", 3) == 0                                      ? 1
                         : (l[0] == 'f' || l[0] == 'l') && l[1] == ' '                         ? 2
                         : std::strncmp(l, "g ", 2) == 0 || std::strncmp(l, "usemtl ", 7) == 0 ? 3
                                                                                               : -1;
        if (kind < 0) continue;
        if (kind < 3) ++counts[kind];
        body += "\t\t";
        body += l;
    }
    std::fclose(in);
    std::FILE* out = Create(path);
    std::fprintf(out,
                 "{\nversion\n\t{\n\tnumber 4.01\n\t}\nprop copy\n\t{\n\tgeomCustom\n\t\t{\n"
                 "\t\tnumbVerts %ld\n\t\tnumbTVerts %ld\n\t\tnumbTSets 0\n\t\tnumbElems %ld\n\t\tnumbSets 0\n",
                 counts[0], counts[1], counts[2]);
    std::fwrite(body.data(), 1, body.size(), out);
    std::fputs("\t\t}\n\t}\n}\n", out);
    if (std::fclose(out) != 0) Fail("cannot write the Poser file");
    return path;
}

// The process's processor time (user and system) in milliseconds: on a
// machine shared with other work the wall clock measures the others too.
double ProcessorMs() {
#if defined(_WIN32)
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto ticks = [](const FILETIME& t) { return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 1e4;
#else
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
#endif
}

double Milliseconds(const std::function<void()>& job) {
    const double start = ProcessorMs();
    job();
    return ProcessorMs() - start;
}

double MedianOf(int runs, const std::function<void()>& job) {
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) times.push_back(Milliseconds(job));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void QuillmereLoad(const std::string& path, bool poser) {
    Mesh* mesh = CreateMesh("prop");
    if (!mesh || !(poser ? LoadPoserFile(mesh, path.c_str()) : LoadObjFile(mesh, path.c_str()))) Fail("load failed");
    FreeMesh(mesh);
}

void TinyObjLoad(const std::string& path) {
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;  // the program keeps quads as they are
    tinyobj::ObjReader reader;
    if (!reader.ParseFromFile(path, config)) Fail("tinyobjloader failed");
}

void Line(const std::string& name, double ours, double fast, double tiny) {
    char fastText[64] = "fast_obj not built";
    if (fast > 0) std::snprintf(fastText, sizeof fastText, "fast_obj %.1f ms, ratio %.2f", fast, fast / ours);
    std::printf("load %s: quillmere %.1f ms, %s, tinyobjloader %.1f ms, ratio %.2f\n", name.c_str(), ours, fastText,
                tiny, tiny / ours);
    std::fflush(stdout);
}

// Both loads of one OBJ file and of its Poser copy, beside the peers'.
void MeasureFile(const std::string& objPath, int runs) {
    const std::string poserPath = PoserCopy(objPath);
    double fast = 0;
#if defined(QUILLMERE_BENCH_FAST_OBJ)
    fast = MedianOf(runs, [&] {
        fastObjMesh* mesh = fast_obj_read(objPath.c_str());
        if (!mesh) Fail("fast_obj failed");
        fast_obj_destroy(mesh);
    });
#endif
    const double tiny = MedianOf(runs, [&] { TinyObjLoad(objPath); });
    const double obj = MedianOf(runs, [&] { QuillmereLoad(objPath, false); });
    const double poser = MedianOf(runs, [&] { QuillmereLoad(poserPath, true); });
    const std::string name = std::filesystem::path(objPath).filename().string();
    Line(name, obj, fast, tiny);
    Line(std::filesystem::path(poserPath).filename().string() + " (Poser copy of " + name + ")", poser, fast, tiny);
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1, runs = 5;
    if (argc > 1 && std::atoi(argv[1]) > 0) {
        runs = std::atoi(argv[1]);
        first = 2;
    }
    std::vector<std::string> files(argv + first, argv + argc);
    if (files.empty()) files = {GridFile(), StrandFile()};
    for (const std::string& file : files) MeasureFile(file, runs);
    return 0;
}
