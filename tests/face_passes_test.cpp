#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "app/app_state.h"
#include "app/preview_frame.h"
#include "core/lights.h"
#include "core/math3d.h"
#include "render/face_passes.h"
#include "render/lighting.h"
#include "render/vertex_kernels.h"
#include "support/render_helpers.h"

namespace {

using MeshPtr = std::unique_ptr<Mesh, MeshDeleter>;

class FacePasses : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetAppState();
        SetLight(0, 1);
        SetIdentity(&appState.view.rotation);
    }
    void TearDown() override { ResetAppState(); }

    // Projects and classifies `mesh` for a view, as a frame does.
    static void Prepare(Mesh* mesh, int viewWidth, int viewHeight, Vec3 centre = {0, 0, 0}, float radius = 1.0f) {
        SetupView(centre, radius, appState.view.zoom, appState.view.rotation);
        ProjectVertices(mesh, viewWidth, viewHeight);
        ClassifyFaces(mesh);
    }
};

TEST(ClipCode, BitPatterns) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float x, y, z;
        int32_t code;
    } cases[] = {
        {0, 0, 0, 0},
        {1.0f, -1.0f, 1.0f, 0},
        {-1.0f, 1.0f, -1.0f, 0},
        {-0.0f, -0.0f, -0.0f, 0},
        {1.0000001f, 0, 0, ClipRight},
        {-1.0000001f, 0, 0, ClipLeft},
        {0, 1.0000001f, 0, ClipTop},
        {0, -2.0f, 0, ClipBottom},
        {0, 0, -1.0000001f, ClipNear},
        {0, 0, 5.0f, ClipFar},
        {inf, -inf, 0, ClipRight | ClipBottom},
        {nan, 0, -nan, ClipRight | ClipNear},
    };
    for (const Case& c : cases) EXPECT_EQ(ClipCode(c.x, c.y, c.z), c.code) << c.x << " " << c.y << " " << c.z;
}

TEST_F(FacePasses, ProjectionFloorsAndPlacesClippedVerticesAtTheCentre) {
    struct Case {
        Vec3 p;
        int x, y, depth, clip;
    } cases[] = {
        {{1, 0, 0}, 560, 260, 16384, 0},
        {{0, 1, 0}, 310, 10, 16384, 0},
        {{0, -1, 0}, 310, 510, 16384, 0},
        {{0, 0, 1}, 310, 260, 32768, 0},
        {{0, 0, -1}, 310, 260, 0, 0},
        {{0.3f, -0.3f, 0}, 385, 336, 16384, 0},  // 75.000003 floors to 75, -75.000003 to -76
        {{-0.3f, 0.3f, 0}, 234, 185, 16384, 0},
        {{1.0000001f, 0, 0.5f}, 310, 260, 16384, ClipRight},
    };
    std::vector<Vec3> points;
    for (const Case& c : cases) points.push_back(c.p);
    MeshPtr mesh(BuildMesh(points, {}));
    Prepare(mesh.get(), 620, 520);
    for (size_t i = 0; i < points.size(); ++i) {
        const ScreenVertex& v = screenVertices.vertices[i];
        EXPECT_EQ(v.screenX, cases[i].x) << i;
        EXPECT_EQ(v.screenY, cases[i].y) << i;
        EXPECT_EQ(v.depth, cases[i].depth) << i;
        EXPECT_EQ(v.clipCode, cases[i].clip) << i;
        EXPECT_EQ(v.shadeKey, 0);
    }
    EXPECT_EQ(mesh->screenRect.minX, 234);
    EXPECT_EQ(mesh->screenRect.maxX, 560);
    EXPECT_EQ(mesh->screenRect.minY, 10);
    EXPECT_EQ(mesh->screenRect.maxY, 510);
}

TEST_F(FacePasses, ClippedVertexStillWidensTheScreenRect) {
    MeshPtr mesh(BuildMesh({{1, 1, 0}, {1.0000001f, 0, 0}}, {}));
    Prepare(mesh.get(), 620, 520);
    EXPECT_EQ(mesh->screenRect.minX, 310);
    EXPECT_EQ(mesh->screenRect.minY, 10);
    EXPECT_EQ(mesh->screenRect.maxX, 560);
    EXPECT_EQ(mesh->screenRect.maxY, 260);
}

TEST_F(FacePasses, ZoomAndRadiusScaleTheView) {
    struct Case {
        float zoom, radius;
        Vec3 centre;
        int x;
        // clang-format off
    } cases[] = {
        {2.0f, 0.0f, {0, 0, 0}, 560},   // radius 0: the zoom alone
        {1.0f, 0.5f, {0, 0, 0}, 560},   // 0.25 / 0.5 = half the scale
        {1.0f, 1.0f, {-0.5f, 0, 0}, 560},  // centred at -0.5
    };
    // clang-format on
    for (const Case& c : cases) {
        appState.view.zoom = c.zoom;
        MeshPtr mesh(BuildMesh({{c.radius == 0.0f ? 0.5f : 0.5f, 0, 0}}, {}));
        if (c.centre.x != 0.0f) mesh->vertices[0].position.x = 0.5f;
        Prepare(mesh.get(), 620, 520, c.centre, c.radius == 0.0f ? 0.0f : c.radius);
        EXPECT_EQ(screenVertices.vertices[0].screenX, c.x) << c.zoom << " " << c.radius;
    }
}

TEST_F(FacePasses, TinyViewsStillProjectInsideTheView) {
    MeshPtr mesh(BuildMesh({{1, 1, 0}, {-1, -1, 0}}, {}));
    Prepare(mesh.get(), 10, 12);
    EXPECT_EQ(screenVertices.vertices[0].screenX, 6);  // scale held at 1
    EXPECT_EQ(screenVertices.vertices[0].screenY, 5);
    EXPECT_EQ(screenVertices.vertices[1].screenX, 4);
    EXPECT_EQ(screenVertices.vertices[1].screenY, 7);
}

TEST_F(FacePasses, ClassificationThreshold) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float nz;
        uint32_t attributes;
        bool front;
    } cases[] = {{1.0f, 0, true}, {-0.05f, 0, true},       {-0.0500001f, 0, false}, {-1.0f, 0, false},
                 {nan, 0, false}, {-1.0f, FaceLine, true}, {0.5f, FaceFront, true}, {-0.5f, FaceFront, false}};
    std::vector<std::vector<int>> slots;
    std::vector<uint32_t> attributes;
    for (const Case& c : cases) {
        slots.push_back({0, 1, 2});
        attributes.push_back(c.attributes);
    }
    MeshPtr mesh(BuildMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, slots, attributes));
    for (size_t i = 0; i < std::size(cases); ++i) mesh->facePlanes[i] = FacePlane{0, 0, cases[i].nz, 0};
    Prepare(mesh.get(), 100, 100);
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ((mesh->faceAttributes[i] & FaceFront) != 0, cases[i].front) << cases[i].nz;
    }
}

// Pixels whose colour half was written by a line (depth stays 0).
int LinePixels(const OwnedFrameBuffer& target) {
    int n = 0;
    for (WorkPixel p : target.Work()) n += (p >> 16) == 0 && (p & 0xFFFF) != 0;
    return n;
}

TEST_F(FacePasses, CornerCountDecidesLinesAndTriangles) {
    // A square of side 40 pixels (corners 20 pixels from the centre).
    const std::vector<Vec3> square = {{-0.5f, -0.5f, 0}, {0.5f, -0.5f, 0}, {0.5f, 0.5f, 0}, {-0.5f, 0.5f, 0}};
    struct Case {
        const char* name;
        std::vector<int> slot;
        uint32_t attributes;
        uint32_t viewFlags;
        int linePixels;
        bool filled;
    } cases[] = {
        {"quad fills", {0, 1, 2, 3}, 0, ViewBackculled, 0, true},
        {"wireframe quad: four closed edges", {0, 1, 2, 3}, 0, ViewWireframe, 4 * 40, false},
        {"wireframe triangle: three edges", {0, 1, 2}, 0, ViewWireframe, 3 * 41 - 3, false},
        {"line slot of four points: three edges", {0, 1, 2, 3}, FaceLine, ViewBackculled, 3 * 40 + 1, false},
        {"line slot of three points: two edges", {0, 1, 2}, FaceLine, ViewWireframe, 2 * 40 + 1, false},
        {"two-corner line", {0, 1}, FaceLine, ViewBackculled, 41, false},
        {"two corners without FaceLine: nothing", {0, 1}, 0, ViewBackculled, 0, false},
        {"two corners in wireframe: nothing", {0, 1}, 0, ViewWireframe, 0, false},
    };
    for (const Case& c : cases) {
        appState.view.viewFlags = c.viewFlags;
        MeshPtr mesh(BuildMesh(square, {c.slot}, {c.attributes}));
        mesh->facePlanes[0] = FacePlane{0, 0, 1, 0};
        OwnedFrameBuffer target(100, 100);
        Prepare(mesh.get(), 100, 100);
        DrawMesh(&target.fb, mesh.get(), CurrentDrawSettings());
        EXPECT_EQ(LinePixels(target), c.linePixels) << c.name;
        EXPECT_EQ((target.At(50, 50) >> 16) != 0, c.filled) << c.name;
    }
}

TEST_F(FacePasses, LinesWriteColourOnlyAndKeepDepth) {
    OwnedFrameBuffer target(40, 30);
    target.Fill(0x12340000);
    DrawLine(&target.fb, 2, 3, 20, 9, 0x00FF8040);
    const uint32_t colour = (0xFFu >> 3) << 11 | (0x80u >> 2) << 5 | (0x40u >> 3);
    EXPECT_EQ(target.At(2, 3), 0x12340000u | colour);
    EXPECT_EQ(target.At(20, 9), 0x12340000u | colour);
    int drawn = 0;
    for (WorkPixel p : target.Work()) drawn += p != 0x12340000u;
    EXPECT_EQ(drawn, 19);  // x-major: one pixel per column, both ends
}

TEST_F(FacePasses, BresenhamTieRules) {
    struct Case {
        int x0, y0, x1, y1;
        std::vector<std::pair<int, int>> pixels;
    } cases[] = {
        // x-major steps on e >= 0: the half-way point steps early.
        {0 + 2, 2, 4 + 2, 4, {{2, 2}, {3, 3}, {4, 3}, {5, 4}, {6, 4}}},
        // y-major steps on e > 0: the half-way point waits.
        {2, 2, 4, 6, {{2, 2}, {2, 3}, {3, 4}, {3, 5}, {4, 6}}},
        {6, 4, 2, 2, {{6, 4}, {5, 3}, {4, 3}, {3, 2}, {2, 2}}},
        {5, 5, 5, 5, {{5, 5}}},
    };
    for (const Case& c : cases) {
        OwnedFrameBuffer target(20, 20);
        DrawLine(&target.fb, c.x0, c.y0, c.x1, c.y1, 0xFFFFFF);
        std::vector<std::pair<int, int>> drawn;
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x) {
                if (target.At(x, y)) drawn.push_back({x, y});
            }
        }
        std::vector<std::pair<int, int>> expected = c.pixels;
        std::sort(expected.begin(), expected.end(),
                  [](auto a, auto b) { return a.second != b.second ? a.second < b.second : a.first < b.first; });
        EXPECT_EQ(drawn, expected) << c.x0 << "," << c.y0 << " to " << c.x1 << "," << c.y1;
    }
}

TEST_F(FacePasses, TextureCoordinatesScaleAndClamp) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<TexCoord> uvs = {{-0.2f, 1.0f}, {2.5f, 0.5f}, {nan, 1e20f}};
    MeshPtr mesh(BuildMesh({{0, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0}}, {{0, 1, 2}}, {}, uvs));
    mesh->facePlanes[0] = FacePlane{0, 0, 1, 0};
    appState.view.viewFlags = ViewTextured;
    OwnedFrameBuffer target(100, 100);
    Prepare(mesh.get(), 100, 100);
    DrawMesh(&target.fb, mesh.get(), CurrentDrawSettings());
    EXPECT_EQ(screenVertices.vertices[0].texU, 0);
    EXPECT_EQ(screenVertices.vertices[0].texV, 32767);
    EXPECT_EQ(screenVertices.vertices[1].texU, 81917);
    EXPECT_EQ(screenVertices.vertices[1].texV, 16383);
    EXPECT_EQ(screenVertices.vertices[2].texU, 0);
    EXPECT_EQ(screenVertices.vertices[2].texV, 2147483647);
}

TEST_F(FacePasses, MaterialChoiceAndLightingCache) {
    struct Case {
        const char* name;
        uint32_t viewFlags;
        int propMaterial;
        int expectedKeyIndex;
    } cases[] = {
        {"plain view: preset material", ViewBackculled, 0, 0},
        {"textured: texture material", ViewTextured, 0, 1},
        {"textured wireframe: preset material", ViewTextured | ViewWireframe, 0, 0},
        {"the mesh's own material 3", ViewTextured, 1, 3},
    };
    for (const Case& c : cases) {
        appState.view.viewFlags = c.viewFlags;
        appState.shading.propMaterial = c.propMaterial;
        ApplyMaterialPreset(4, 0);  // Gold, so the preset differs from Brass
        appState.shading.propMaterial = c.propMaterial;
        MeshPtr mesh(BuildMesh({{0, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0}}, {{0, 1, 2}}, {3}));
        mesh->materials[3].diffuse[0] = 0.25f;
        OwnedFrameBuffer target(100, 100);
        Prepare(mesh.get(), 100, 100);
        DrawMesh(&target.fb, mesh.get(), CurrentDrawSettings());
        const Material& expected = c.propMaterial            ? mesh->materials[3]
                                   : c.expectedKeyIndex == 1 ? appState.shading.textureMaterial
                                                             : appState.shading.presetMaterial;
        const ScreenVertex& v = screenVertices.vertices[1];
        Vec3 n;
        TransformPoint(&n, viewMatrices.normalTransform, mesh->vertices[1].normal);
        EXPECT_EQ(static_cast<uint32_t>(v.shade), PackColour(LightVertex(n, expected))) << c.name;
        EXPECT_EQ(static_cast<uint32_t>(v.shadeKey), 0x80000000u | FaceFront | c.expectedKeyIndex) << c.name;
    }
}

TEST_F(FacePasses, BackFacesAreLitWithTheReversedNormal) {
    appState.view.viewFlags = 0;  // back faces drawn
    // Wound clockwise as seen from the viewer: its normal points away.
    MeshPtr mesh(BuildMesh({{0, 0, 0}, {0, 0.5f, 0}, {0.5f, 0, 0}}, {{0, 1, 2}}));
    OwnedFrameBuffer target(100, 100);
    Prepare(mesh.get(), 100, 100);
    ASSERT_EQ(mesh->faceAttributes[0] & FaceFront, 0u);
    DrawMesh(&target.fb, mesh.get(), CurrentDrawSettings());
    const ScreenVertex& v = screenVertices.vertices[0];
    EXPECT_EQ(static_cast<uint32_t>(v.shadeKey), 0x80000000u);
    const Vec3& normal = mesh->vertices[0].normal;
    const Vec3 reversed{-normal.x, -normal.y, -normal.z};
    EXPECT_EQ(static_cast<uint32_t>(v.shade), PackColour(LightVertex(reversed, appState.shading.presetMaterial)));
    EXPECT_NE(target.At(55, 45), 0u);

    appState.view.viewFlags = ViewBackculled;
    OwnedFrameBuffer culled(100, 100);
    Prepare(mesh.get(), 100, 100);
    DrawMesh(&culled.fb, mesh.get(), CurrentDrawSettings());
    for (WorkPixel p : culled.Work()) ASSERT_EQ(p, 0u);
}

TEST_F(FacePasses, TransparentPassesRunOnlyAfterATransparentFrontFace) {
    appState.view.viewFlags = 0;
    appState.shading.propMaterial = 1;
    // Slot 0 faces the viewer, slot 1 faces away; material 1 is transparent.
    struct Case {
        uint32_t frontMaterial, backMaterial;
        bool backDrawn;
    } cases[] = {{0, 1, false}, {1, 1, true}, {0, 0, true}};
    for (const Case& c : cases) {
        MeshPtr mesh(BuildMesh({{-0.5f, -0.5f, 0},
                                {-0.1f, -0.5f, 0},
                                {-0.5f, 0.5f, 0},
                                {0.5f, -0.5f, 0},
                                {0.5f, 0.5f, 0},
                                {0.1f, -0.5f, 0}},
                               {{0, 1, 2}, {3, 5, 4}}, {c.frontMaterial, c.backMaterial}));
        mesh->materials[1].materialFlags = MaterialTransparent;
        mesh->materials[1].transparency = 0x808080;
        OwnedFrameBuffer target(100, 100);
        Prepare(mesh.get(), 100, 100);
        ASSERT_NE(mesh->faceAttributes[0] & FaceFront, 0u);
        ASSERT_EQ(mesh->faceAttributes[1] & FaceFront, 0u);
        DrawMesh(&target.fb, mesh.get(), CurrentDrawSettings());
        EXPECT_EQ((target.At(68, 48) & 0xFFFF) != 0, c.backDrawn) << c.frontMaterial << c.backMaterial;
    }
}

// Every level's vertex kernels against the reference, on random vertices
// with edge values mixed in (the volume's faces and just past them, signed
// zeros, infinities, NaN), under random matrices, materials and lights; the
// face classification likewise on random planes and attribute words.
TEST(VertexKernels, EveryLevelMatchesTheReference) {
    std::mt19937 random(1209);
    auto uniform = [&](float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(random); };
    const float specials[] = {1.0f,
                              -1.0f,
                              1.0000001f,
                              -1.0000001f,
                              0.0f,
                              -0.0f,
                              0.99999994f,
                              std::numeric_limits<float>::infinity(),
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(),
                              1e30f};
    auto value = [&](float range) {
        return std::uniform_int_distribution<int>(0, 9)(random) == 0 ? specials[random() % 11] : uniform(-range, range);
    };
    std::vector<MeshVertex> source(1027);
    for (MeshVertex& v : source) {
        v = MeshVertex{};
        v.position = Vec3{value(1.3f), value(1.3f), value(1.3f)};
        v.normal = Vec3{value(1.0f), value(1.0f), value(1.0f)};
    }
    const Light savedLights[LightCount] = {lights[0], lights[1], lights[2]};
    for (int round = 0; round < 40; ++round) {
        ProjectionParams projection{};
        Matrix4 normals{};
        for (int i = 0; i < 16; ++i) projection.modelViewProjection.m[i] = uniform(-1.0f, 1.0f);
        for (int i = 0; i < 16; ++i) normals.m[i] = i == 3 || i == 7 || i == 11 ? 0.0f : uniform(-1.0f, 1.0f);
        projection.cx = 310, projection.cy = 260, projection.scale = round % 2 ? 250.0f : 1.0f;
        Material material = DefaultMaterial();
        const int32_t exponents[] = {0, 1, 2, 3, 7, 40, 0x7FFFFFFF, -1};
        for (float& c : material.ambient) c = uniform(0, 1);
        for (float& c : material.diffuse) c = uniform(0, 1);
        for (float& c : material.specular) c = uniform(0, 1);
        material.ambientLevel = uniform(0, 1), material.diffuseLevel = uniform(0, 2),
        material.specularLevel = uniform(0, 2);
        material.diffuseExponent = exponents[random() % 8], material.specularExponent = exponents[random() % 8];
        material.materialFlags = round % 3 == 0 ? MaterialTransparent : 0;
        material.transparency = static_cast<int32_t>(random() & 0xFF);
        for (Light& l : lights) {
            l.direction = Vec3{uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)};
            for (float& c : l.colour) c = uniform(0, 1);
            l.enabled = static_cast<int32_t>(random() % 2);
        }
        std::vector<int32_t> corners(source.size() - round);
        for (int32_t& c : corners) c = static_cast<int32_t>(random() % source.size());

        // The fused kernel's reference: the projection, then corners 0..count-1 lit.
        const int32_t count = static_cast<int32_t>(source.size()) - round;
        std::vector<int32_t> all(count);
        for (int32_t i = 0; i < count; ++i) all[i] = i;
        std::vector<ScreenVertex> expected, expectedFused;
        ScreenRect expectedRect{};
        std::vector<FacePlane> planes(count);
        std::vector<FaceAttributes> faceWords(count), expectedWords;
        for (int32_t i = 0; i < count; ++i) {
            planes[i] = FacePlane{value(1.0f), value(1.0f), value(1.0f), value(1.0f)};
            faceWords[i] = static_cast<FaceAttributes>(random()) & ~(i % 3 ? FaceLine : 0u);
        }
        for (SimdLevel level : AvailableLevels()) {
            // Every screen vertex starts out as garbage that the kernels must overwrite alike.
            std::vector<ScreenVertex> v(source.size()), fused(source.size());
            std::memset(static_cast<void*>(v.data()), 0xA5, v.size() * sizeof(ScreenVertex));
            std::memset(static_cast<void*>(fused.data()), 0xA5, fused.size() * sizeof(ScreenVertex));
            LightingParams lighting{&normals,      &material, round % 4 == 1, static_cast<int32_t>(0x80000000u | round),
                                    source.data(), v.data()};
            ScreenRect rect{619, 519, 0, 0}, fusedRect{619, 519, 0, 0};
            const VertexKernels kernels = VertexKernelsFor(level);
            std::vector<FaceAttributes> words = faceWords;
            kernels.classify(planes.data(), words.data(), count, normals);
            if (level == SimdScalar) expectedWords = words;
            ASSERT_EQ(words, expectedWords) << SimdLevelName(level) << ", faces, round " << round;
            kernels.project(source.data(), v.data(), count, projection, &rect);
            if (level == SimdScalar) {
                expectedFused = v;
                LightCornersScalar(all.data(), count,
                                   LightingParams{&normals, &material, lighting.back, lighting.key, source.data(),
                                                  expectedFused.data()});
            }
            kernels.light(corners.data(), static_cast<int32_t>(corners.size()), lighting);
            lighting.screen = fused.data();
            kernels.projectAndLight(source.data(), fused.data(), count, projection, lighting, &fusedRect);
            EXPECT_EQ(std::memcmp(&fusedRect, &rect, sizeof rect), 0) << SimdLevelName(level);
            ASSERT_EQ(std::memcmp(fused.data(), expectedFused.data(), fused.size() * sizeof(ScreenVertex)), 0)
                << SimdLevelName(level) << ", fused, round " << round;
            if (level == SimdScalar) {
                expected = v, expectedRect = rect;
                continue;
            }
            EXPECT_EQ(std::memcmp(&rect, &expectedRect, sizeof rect), 0) << SimdLevelName(level);
            ASSERT_EQ(std::memcmp(v.data(), expected.data(), v.size() * sizeof(ScreenVertex)), 0)
                << SimdLevelName(level) << ", round " << round;
        }
    }
    for (int i = 0; i < LightCount; ++i) lights[i] = savedLights[i];
}

}  // namespace
