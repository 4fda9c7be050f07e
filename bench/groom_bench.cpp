// The groom job, phase by phase, beside peers in the same run: open a groom
// (OBJ, and the same strands as a Poser hair file made here from it),
// "Create" its ribbons with the default settings, "Export as obj".
//
//   quillmere_bench_groom GROOM.obj [RUNS]
//
// Peers: tinyobjloader loads the same OBJ file; the build is set beside one
// copy of the ribbon mesh's arrays and the write beside one copy of the
// written file (the memory and file traffic no builder or writer avoids);
// assimp (where the build has it) does the whole job it can do, importing
// the groom and exporting it as OBJ text.
// Prints the median of RUNS (default 3) per phase, one stable line each.
#include <tiny_obj_loader.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <time.h>
#endif

#if defined(QUILLMERE_BENCH_ASSIMP)
#include <assimp/scene.h>
#include <assimp/Exporter.hpp>
#include <assimp/Importer.hpp>
#endif

#include "app/hair_settings.h"
#include "core/memory.h"
#include "core/mesh.h"
#include "formats/obj_reader.h"
#include "formats/obj_writer.h"
#include "formats/poser_reader.h"
#include "ribbon/ribbon_builder.h"

namespace {

double Seconds(const std::function<void()>& job) {
    const auto start = std::chrono::steady_clock::now();
    job();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time of the whole process so far (user and system), so that a
// phase's own work can be told from the time a busy machine takes from it.
double ProcessorSeconds() {
#if defined(_WIN32)
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    const auto ticks = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) * 1e-7; };
    return ticks(kernel) + ticks(user);
#else
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
#endif
}

// Wall time of `job`, its processor time added to *processor.
double Timed(const std::function<void()>& job, double* processor) {
    const double before = ProcessorSeconds();
    const double wall = Seconds(job);
    *processor += ProcessorSeconds() - before;
    return wall;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Fail(const char* what) {
    std::fprintf(stderr, "groom bench: %s\n", what);
    std::exit(1);
}

// The groom's strands as a Poser hair prop: one geomCustom block whose v and l
// lines are the OBJ file's own.
void WritePoserHair(const std::string& objPath, const std::string& poserPath) {
    std::FILE* in = std::fopen(objPath.c_str(), "rb");
    if (!in) Fail("cannot read the groom");
    std::string vertices, lines;
    long vertexCount = 0, lineCount = 0;
    std::vector<char> line(1 << 20);
    while (std::fgets(line.data(), static_cast<int>(line.size()), in)) {
        const bool v = line[0] == 'v' && line[1] == ' ', l = line[0] == 'l' && line[1] == ' ';
        if (!v && !l) continue;
        std::string& to = v ? vertices : lines;
        to += "\t\t";
        to += line.data();
        ++(v ? vertexCount : lineCount);
    }
    std::fclose(in);
    std::FILE* out = std::fopen(poserPath.c_str(), "wb");
    if (!out) Fail("cannot write the Poser file");
    std::fprintf(out,
                 "{\nversion\n\t{\n\tnumber 4.01\n\t}\nhairProp hair\n\t{\n\tgeomCustom\n\t\t{\n"
                 "\t\tnumbVerts %ld\n\t\tnumbTVerts 0\n\t\tnumbTSets 0\n\t\tnumbElems %ld\n\t\tnumbSets %ld\n",
                 vertexCount, lineCount, vertexCount);
    std::fwrite(vertices.data(), 1, vertices.size(), out);
    std::fputs("\t\tg hair\n", out);
    std::fwrite(lines.data(), 1, lines.size(), out);
    std::fputs("\t\t}\n\t}\n}\n", out);
    if (std::fclose(out) != 0) Fail("cannot write the Poser file");
}

Mesh* Load(const std::string& path, bool poser) {
    Mesh* mesh = CreateMesh("prop");
    if (!mesh || !(poser ? LoadPoserFile(mesh, path.c_str()) : LoadObjFile(mesh, path.c_str()))) Fail("load failed");
    return mesh;
}

// One copy of the ribbon mesh's six arrays, into blocks had as the build has
// its own (so that both are given the same kind of pages).
void CopyArrays(const Mesh& hair) {
    const size_t bytes[] = {sizeof(MeshVertex) * size_t(hair.vertexCount),
                            sizeof(TexCoord) * size_t(hair.texCoordCount),
                            16 * size_t(hair.faceCount),
                            16 * size_t(hair.faceCount),
                            16 * size_t(hair.faceCount),
                            4 * size_t(hair.faceCount)};
    const void* from[] = {hair.vertices,       hair.texCoords,  hair.faceVertexIndices,
                          hair.faceTexIndices, hair.facePlanes, hair.faceAttributes};
    for (int i = 0; i < 6; ++i) {
        void* to = AllocateBytes(bytes[i]);
        if (!to) Fail("no memory for the copy");
        std::memcpy(to, from[i], bytes[i]);
        volatile char sink = static_cast<char*>(to)[bytes[i] / 2];
        (void)sink;
        ReleaseBytes(to);
    }
}

// The written file copied as cp copies it, in blocks of 1 MB.
void CopyFile(const std::string& from, const std::string& to) {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    std::FILE* out = std::fopen(to.c_str(), "wb");
    if (!in || !out) Fail("cannot copy the written file");
    std::vector<char> block(1 << 20);
    for (size_t n; (n = std::fread(block.data(), 1, block.size(), in)) > 0;) std::fwrite(block.data(), 1, n, out);
    std::fclose(in);
    if (std::fclose(out) != 0) Fail("cannot copy the written file");
}

struct Phases {
    std::vector<double> load, build, write, total;
    std::vector<double> processor[4];  // the same phases' processor time
};

// Load, build, write and their sum, `runs` times.
Phases RunQuillmere(const std::string& path, bool poser, const std::string& out, int runs) {
    Phases p;
    for (int r = 0; r < runs; ++r) {
        Mesh* source = nullptr;
        Mesh* hair = nullptr;
        double cpu[3] = {0, 0, 0};
        p.load.push_back(Timed([&] { source = Load(path, poser); }, &cpu[0]));
        p.build.push_back(Timed([&] { hair = BuildHairMesh(source, DefaultHairSettings()); }, &cpu[1]));
        if (!hair) Fail("build failed");
        p.write.push_back(Timed(
            [&] {
                if (!WriteObjFile(OwnerNone, hair, out.c_str(), "groom-bench.mtl")) Fail("write failed");
            },
            &cpu[2]));
        p.total.push_back(p.load.back() + p.build.back() + p.write.back());
        for (int i = 0; i < 3; ++i) p.processor[i].push_back(cpu[i]);
        p.processor[3].push_back(cpu[0] + cpu[1] + cpu[2]);
        FreeMesh(hair);
        FreeMesh(source);
    }
    return p;
}

double TinyObjLoad(const std::string& path) {
    return Seconds([&] {
        tinyobj::ObjReaderConfig config;
        config.triangulate = false;
        tinyobj::ObjReader reader;
        if (!reader.ParseFromFile(path, config)) Fail("tinyobjloader failed");
    });
}

void Line(const char* phase, double ours, double peer) {
    if (peer > 0) {
        std::printf("groom %s: quillmere %.3f s, peer %.3f s, ratio %.2f\n", phase, ours, peer, ours / peer);
    } else {
        std::printf("groom %s: quillmere %.3f s, peer - s, ratio -\n", phase, ours);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) Fail("usage: quillmere_bench_groom GROOM.obj [RUNS]");
    const std::string groom = argv[1];
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::string poser = groom + ".bench.hr2", out = groom + ".bench-out.obj";
    WritePoserHair(groom, poser);

    std::vector<double> tiny, copy, fileCopy, assimpTotal;
    for (int r = 0; r < runs; ++r) tiny.push_back(TinyObjLoad(groom));
    {
        Mesh* source = Load(groom, false);
        Mesh* hair = BuildHairMesh(source, DefaultHairSettings());
        for (int r = 0; r < runs; ++r) copy.push_back(Seconds([&] { CopyArrays(*hair); }));
        std::printf("groom: %d strands, %d points; ribbons: %d vertices, %d faces\n", source->lineCount,
                    source->vertexCount, hair->vertexCount, hair->faceCount);
        FreeMesh(hair);
        FreeMesh(source);
    }
    const Phases obj = RunQuillmere(groom, false, out, runs);
    for (int r = 0; r < runs; ++r) fileCopy.push_back(Seconds([&] { CopyFile(out, out + ".copy"); }));
    std::remove((out + ".copy").c_str());
#if defined(QUILLMERE_BENCH_ASSIMP)
    for (int r = 0; r < runs; ++r) {
        Assimp::Importer importer;
        Assimp::Exporter exporter;
        const aiScene* scene = nullptr;
        const double import = Seconds([&] { scene = importer.ReadFile(groom, 0); });
        if (!scene) Fail("assimp cannot read the groom");
        const double exportGroom = Seconds([&] { exporter.Export(scene, "objnomtl", out + ".assimp.obj"); });
        assimpTotal.push_back(import + exportGroom);
    }
    std::remove((out + ".assimp.obj").c_str());
#endif
    const Phases hr2 = RunQuillmere(poser, true, out, runs);
    std::remove(out.c_str());
    std::remove(poser.c_str());

    std::printf(
        "peers: load tinyobjloader, build one copy of the ribbon arrays, write one copy of the file, "
        "total assimp import and export\n");
    Line("load", Median(obj.load), Median(tiny));
    Line("build", Median(obj.build), Median(copy));
    Line("write", Median(obj.write), Median(fileCopy));
    Line("total", Median(obj.total), assimpTotal.empty() ? 0 : Median(assimpTotal));
    Line("poser load", Median(hr2.load), Median(tiny));
    Line("poser total", Median(hr2.total), assimpTotal.empty() ? 0 : Median(assimpTotal));
    std::printf("groom processor: load %.3f s, build %.3f s, write %.3f s, total %.3f s\n", Median(obj.processor[0]),
                Median(obj.processor[1]), Median(obj.processor[2]), Median(obj.processor[3]));
    return 0;
}
