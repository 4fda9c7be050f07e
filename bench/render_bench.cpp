// Milliseconds per preview frame at 620 x 520, every frame a full redraw:
// the built-in model and hair meshes of 500,000 and 1,000,000 ribbon quads,
// drawn with the kernels of the processor's level (quillmere), with the
// portable reference kernels (reference) and, where Mesa's off-screen
// library is built in, by llvmpipe on one thread (the same triangles,
// depth-tested and Gouraud-shaded with the colours our lighting gave them;
// llvmpipe does no lighting). Frames of the three alternate, so a drifting
// machine slows all alike; each figure is a median. One line per scene:
//   render SCENE: quillmere X ms, reference Y ms, llvmpipe Z ms
// Options: --frames N (default 15), --scene NAME (one scene only), --wall
// (wall-clock time instead of the thread's processor time), --hash (after
// the timings, one line per level with a hash of the frame it draws, so
// that a faster build can be shown to draw the same pixels), --profile (only
// the processor's kernels, `frames` frames and no timing: for counting a
// frame's instructions under a simulator).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/hair_settings.h"
#include "app/preview_frame.h"
#include "app/view.h"
#include "core/cpu_features.h"
#include "core/lights.h"
#include "core/math3d.h"
#include "formats/builtin_model.h"
#include "render/face_passes.h"
#include "render/frame_buffer.h"
#include "render/frame_driver.h"
#include "render/lighting.h"
#include "ribbon/ribbon_builder.h"

#if defined(QUILLMERE_BENCH_OSMESA)
#include <GL/osmesa.h>
#endif
#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

constexpr int ViewWidth = 620, ViewHeight = 520;
bool useWallClock = false;
bool printHashes = false;
bool profileOnly = false;

double NowMs() {
#if defined(_WIN32)
    if (!useWallClock) {
        FILETIME created, exited, kernel, user;
        GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
        const auto ticks = [](const FILETIME& t) {
            return static_cast<double>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
        };
        return (ticks(kernel) + ticks(user)) * 1e-4;  // 100 ns units
    }
#elif defined(CLOCK_THREAD_CPUTIME_ID)
    if (!useWallClock) {
        timespec t;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
    }
#endif
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

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
            mesh->vertices[v++].position =
                Vec3{root.x * (1.0f + 0.4f * t), root.y + 0.3f * t - 1.2f * t * t, root.z * (1.0f + 0.4f * t)};
        }
        for (int start = 0; start < points - 1; start += 3) {
            for (int c = 0; c < 4; ++c) {
                const int k = start + c;
                mesh->faceVertexIndices[4 * f + c] = k < points ? first + k : -1;
                mesh->faceTexIndices[4 * f + c] = 0;
            }
            mesh->faceAttributes[f] =
                FaceLine | (start == 0 ? static_cast<uint32_t>(points) << FaceStrandCountShift : 0);
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

Mesh* HairMesh(int strands) {
    Mesh* source = StrandMesh(strands, 11);
    Mesh* hair = BuildHairMesh(source, HairSettingsFor(0.004f, 10, 0, 1, 0));
    FreeMesh(source);
    return hair;
}

Mesh* BuiltinMesh() {
    Mesh* model = CreateMesh("computer");
    int32_t materials = 0;
    if (LoadBuiltinModel(model, &materials)) return model;
    FreeMesh(model);
    return nullptr;
}

// Frames per sample: enough that a sample lasts at least 50 ms, so that a
// coarse thread clock (Windows counts in ticks of 10 to 16 ms) still reads
// it well.
int frameBatch = 1;

double QuillmereFrames(FrameBuffer* fb, Scene& scene, SimdLevel level) {
    SetActiveSimdLevel(level);
    const double start = NowMs();
    for (int i = 0; i < frameBatch; ++i) {
        appState.view.fullRedraw = 1;
        DrawFrameInto(fb, ViewWidth, ViewHeight, scene);
    }
    return (NowMs() - start) / frameBatch;
}

void ChooseFrameBatch(FrameBuffer* fb, Scene& scene) {
    frameBatch = 1;
    QuillmereFrames(fb, scene, SimdScalar);  // the first frame pays for the page faults
    while (frameBatch < 4096 && QuillmereFrames(fb, scene, SimdScalar) * frameBatch < 50.0) frameBatch *= 2;
}

#if defined(QUILLMERE_BENCH_OSMESA)
// The mesh's polygons as GL triangles with the positions, the view's
// matrices and the colours of the front-lit first frame.
struct GlScene {
    OSMesaContext context = nullptr;
    std::vector<uint8_t> pixels;
    std::vector<float> positions;
    std::vector<uint8_t> colours;
    std::vector<uint32_t> indices;
    float modelView[16];
};

bool StartGl(GlScene* g, const Mesh& mesh) {
#if defined(__unix__)
    // Rasterisation in the calling thread: llvmpipe on one thread, like the
    // preview, and all of its work in the thread time measured.
    setenv("LP_NUM_THREADS", "0", 1);
#endif
    g->context = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
    g->pixels.assign(static_cast<size_t>(ViewWidth) * ViewHeight * 4, 0);
    if (!g->context || !OSMesaMakeCurrent(g->context, g->pixels.data(), GL_UNSIGNED_BYTE, ViewWidth, ViewHeight)) {
        return false;
    }
    for (int32_t i = 0; i < mesh.vertexCount; ++i) {
        const MeshVertex& v = mesh.vertices[i];
        g->positions.insert(g->positions.end(), {v.position.x, v.position.y, v.position.z});
        const uint32_t shade = static_cast<uint32_t>(screenVertices.vertices[i].shade);
        g->colours.insert(g->colours.end(), {static_cast<uint8_t>(shade >> 16), static_cast<uint8_t>(shade >> 8),
                                             static_cast<uint8_t>(shade), 255});
    }
    for (int32_t f = 0; f < mesh.faceCount; ++f) {
        const int32_t* c = mesh.faceVertexIndices + 4 * f;
        if ((mesh.faceAttributes[f] & FaceLine) || c[2] < 0) continue;
        if (c[3] >= 0) {
            g->indices.insert(g->indices.end(),
                              {static_cast<uint32_t>(c[0]), static_cast<uint32_t>(c[2]), static_cast<uint32_t>(c[3])});
        }
        g->indices.insert(g->indices.end(),
                          {static_cast<uint32_t>(c[0]), static_cast<uint32_t>(c[1]), static_cast<uint32_t>(c[2])});
    }
    for (int r = 0; r < 4; ++r) {
        for (int col = 0; col < 4; ++col) g->modelView[4 * col + r] = viewMatrices.modelView.m[4 * r + col];
    }
    return true;
}

void LlvmpipeFrame(const GlScene& g) {
    // The same 500-pixel square the preview maps the clip volume to.
    glViewport(60, 10, 500, 500);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-1, 1, -1, 1, 1, 3);  // clip z = -(eye z) - 2, as the preview's
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(g.modelView);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glClearColor(0.31f, 0.31f, 0.31f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glVertexPointer(3, GL_FLOAT, 0, g.positions.data());
    glColorPointer(4, GL_UNSIGNED_BYTE, 0, g.colours.data());
    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(g.indices.size()), GL_UNSIGNED_INT, g.indices.data());
    glFinish();
}

double LlvmpipeFrames(const GlScene& g) {
    const double start = NowMs();
    for (int i = 0; i < frameBatch; ++i) LlvmpipeFrame(g);
    return (NowMs() - start) / frameBatch;
}
#endif

// FNV-1a over the work image: colour and depth of every pixel.
uint64_t WorkImageHash(const FrameBuffer& fb) {
    uint64_t h = 14695981039346656037ull;
    const auto* bytes = reinterpret_cast<const uint8_t*>(fb.workPixels);
    const size_t size = static_cast<size_t>(fb.width) * static_cast<size_t>(fb.height) * sizeof(WorkPixel);
    for (size_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
    return h;
}

void PrintHashes(const char* name, FrameBuffer* fb, Scene& scene) {
    const SimdLevel best = DetectedSimdLevel();
    for (int level = SimdScalar; level <= best; ++level) {
        SetActiveSimdLevel(static_cast<SimdLevel>(level));
        appState.view.fullRedraw = 1;
        DrawFrameInto(fb, ViewWidth, ViewHeight, scene);
        std::printf("hash %s %s: %016llx\n", name, SimdLevelName(static_cast<SimdLevel>(level)),
                    static_cast<unsigned long long>(WorkImageHash(*fb)));
    }
}

void RunScene(const char* name, Mesh* mesh, int frames) {
    if (!mesh) {
        std::printf("render %s: not available in this build\n", name);
        return;
    }
    FrameBuffer fb{};
    CreateMemoryFrameBuffer(&fb, ViewWidth, ViewHeight);
    SetStartupView(-30.0f);
    Scene scene{};
    scene.meshCount = 1;
    scene.meshes[0] = mesh;
    const SimdLevel best = DetectedSimdLevel();
    if (profileOnly) {
        for (int i = 0; i < frames; ++i) QuillmereFrames(&fb, scene, best);
        if (printHashes) PrintHashes(name, &fb, scene);
        ReleaseFrameBufferImages(&fb);
        return;
    }
    ChooseFrameBatch(&fb, scene);
    QuillmereFrames(&fb, scene, best);  // warm caches; leaves the lit colours
    std::vector<double> quillmere, reference, llvmpipe;
#if defined(QUILLMERE_BENCH_OSMESA)
    GlScene gl;
    const bool haveGl = StartGl(&gl, *mesh);
    if (haveGl) LlvmpipeFrames(gl);
#endif
    for (int i = 0; i < frames; ++i) {
        quillmere.push_back(QuillmereFrames(&fb, scene, best));
        reference.push_back(QuillmereFrames(&fb, scene, SimdScalar));
#if defined(QUILLMERE_BENCH_OSMESA)
        if (haveGl) llvmpipe.push_back(LlvmpipeFrames(gl));
#endif
    }
    std::printf("render %s: quillmere %.2f ms, reference %.2f ms", name, Median(quillmere), Median(reference));
    if (!llvmpipe.empty()) std::printf(", llvmpipe %.2f ms", Median(llvmpipe));
    std::printf("\n");
    if (printHashes) PrintHashes(name, &fb, scene);
    std::fflush(stdout);
#if defined(QUILLMERE_BENCH_OSMESA)
    if (gl.context) OSMesaDestroyContext(gl.context);
#endif
    ReleaseFrameBufferImages(&fb);
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 15;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) frames = std::max(1, std::atoi(argv[++i]));
        if (std::strcmp(argv[i], "--scene") == 0 && i + 1 < argc) only = argv[++i];
        if (std::strcmp(argv[i], "--wall") == 0) useWallClock = true;
        if (std::strcmp(argv[i], "--hash") == 0) printHashes = true;
        if (std::strcmp(argv[i], "--profile") == 0) profileOnly = true;
    }
    ResetAppState();
    SetLight(0, 1);
    std::fprintf(stderr, "level %s, %s time\n", SimdLevelName(DetectedSimdLevel()),
                 useWallClock ? "wall-clock" : "thread processor");
    struct {
        const char* name;
        Mesh* (*make)();
    } scenes[] = {
        {"builtin", BuiltinMesh},
        {"hair500k", [] { return HairMesh(50000); }},
        {"hair1m", [] { return HairMesh(100000); }},
    };
    for (const auto& s : scenes) {
        if (!only.empty() && only != s.name) continue;
        Mesh* mesh = s.make();
        RunScene(s.name, mesh, frames);
        FreeMesh(mesh);
    }
    return 0;
}
