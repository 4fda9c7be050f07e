// Whole frames of small fixed scenes against committed images (binary PPM,
// the view's part of the 24-bit image). QUILLMERE_UPDATE_GOLDEN=1 rewrites
// them; look at every rewritten image before committing it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "core/lights.h"
#include "core/math3d.h"
#include "app/preview_frame.h"
#include "render/frame_driver.h"
#include "support/paths.h"
#include "support/platform_fake.h"
#include "support/render_helpers.h"

namespace {

using MeshPtr = std::unique_ptr<Mesh, MeshDeleter>;
constexpr int ViewW = 80, ViewH = 64;

std::vector<uint8_t> ViewImage(const FrameBuffer& fb) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < ViewH; ++y) {
        const uint8_t* row = fb.imagePixels + y * fb.width * 3;
        for (int x = 0; x < ViewW; ++x) {
            rgb.push_back(row[3 * x + 2]);  // PPM is red, green, blue
            rgb.push_back(row[3 * x + 1]);
            rgb.push_back(row[3 * x + 0]);
        }
    }
    return rgb;
}

std::string Header() { return "P6\n" + std::to_string(ViewW) + " " + std::to_string(ViewH) + "\n255\n"; }

std::vector<Vec3> CubePoints() {
    std::vector<Vec3> p;
    for (int i = 0; i < 8; ++i)
        p.push_back(Vec3{(i & 1) ? 0.5f : -0.5f, (i & 2) ? 0.5f : -0.5f, (i & 4) ? 0.5f : -0.5f});
    return p;
}
// Outward-facing, counter-clockwise seen from outside.
const std::vector<std::vector<int>> cubeFaces = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                                 {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};

void Turn(float aboutX, float aboutY) {
    Matrix4 x, y;
    AxisAngleMatrix(aboutX, 1, 0, 0, &x);
    AxisAngleMatrix(aboutY, 0, 1, 0, &y);
    MultiplyMatrices(y, x, &appState.view.rotation);
}

struct Scene1 {
    const char* name;
    void (*build)(std::vector<MeshPtr>* meshes);
};

void LitCube(std::vector<MeshPtr>* meshes) {
    Turn(0.5f, 0.7f);
    SetLight(1, 2);
    meshes->emplace_back(BuildMesh(CubePoints(), cubeFaces));
}

void WireframeCube(std::vector<MeshPtr>* meshes) {
    Turn(0.4f, -0.6f);
    appState.view.viewFlags = ViewWireframe;
    ApplyMaterialPreset(9, 0);
    meshes->emplace_back(BuildMesh(CubePoints(), cubeFaces));
}

std::vector<uint32_t> checker(64);
Texture checkerTexture{checker.data(), 8, 8};

void TexturedQuad(std::vector<MeshPtr>* meshes) {
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
            checker[row * 8 + column] = ((row ^ column) & 1) ? 0xF0E0C0 : 0x3050A0;
        }
    }
    checker[0] = 0xFF0000;  // marks the bottom left of the image
    appState.texturing.currentTexture = &checkerTexture;
    appState.view.viewFlags = ViewTextured | ViewBackculled;
    Turn(-0.3f, 0.25f);
    meshes->emplace_back(BuildMesh({{-0.6f, -0.6f, 0}, {0.6f, -0.6f, 0}, {0.6f, 0.6f, 0}, {-0.6f, 0.6f, 0}},
                                   {{0, 1, 2, 3}}, {}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
}

void TransparentOverOpaque(std::vector<MeshPtr>* meshes) {
    ApplyMaterialPreset(PropMaterialPreset, 0);
    Turn(0.2f, 0.3f);
    Mesh* mesh = BuildMesh({{-0.7f, -0.6f, -0.2f},
                            {0.3f, -0.6f, -0.2f},
                            {0.3f, 0.4f, -0.2f},
                            {-0.7f, 0.4f, -0.2f},
                            {-0.3f, -0.4f, 0.2f},
                            {0.7f, -0.4f, 0.2f},
                            {0.7f, 0.6f, 0.2f},
                            {-0.3f, 0.6f, 0.2f}},
                           {{0, 1, 2, 3}, {4, 5, 6, 7}}, {0, 1});
    mesh->materials[0].diffuse[0] = 0.9f, mesh->materials[0].diffuse[1] = 0.3f, mesh->materials[0].diffuse[2] = 0.1f;
    mesh->materials[1].diffuse[0] = 0.2f, mesh->materials[1].diffuse[1] = 0.5f, mesh->materials[1].diffuse[2] = 1.0f;
    mesh->materials[1].materialFlags = MaterialTransparent;
    mesh->materials[1].transparency = 0x808080;
    mesh->materialCount = 2;
    meshes->emplace_back(mesh);
}

void Strands(std::vector<MeshPtr>* meshes) {
    std::vector<Vec3> points;
    std::vector<std::vector<int>> slots;
    std::vector<uint32_t> attributes;
    for (int s = 0; s < 7; ++s) {
        const int base = static_cast<int>(points.size());
        for (int k = 0; k < 4; ++k) {
            const float t = static_cast<float>(k) / 3.0f;
            points.push_back(Vec3{-0.8f + 0.25f * s + 0.3f * t * t, 0.7f - 1.3f * t, 0.1f * s - 0.3f});
        }
        slots.push_back({base, base + 1, base + 2, base + 3});
        attributes.push_back(FaceLine | (4u << FaceStrandCountShift));
    }
    meshes->emplace_back(BuildMesh(points, slots, attributes));
}

const Scene1 scenes[] = {
    {"lit_cube", LitCube},
    {"wireframe_cube", WireframeCube},
    {"textured_quad", TexturedQuad},
    {"transparent_over_opaque", TransparentOverOpaque},
    {"strands", Strands},
};

class RenderGolden : public ::testing::TestWithParam<Scene1> {
  protected:
    void SetUp() override {
        ResetAppState();
        SetLight(0, 1);
        SetIdentity(&appState.view.rotation);
        ResetFake();
    }
    void TearDown() override {
        appState.texturing.currentTexture = &appState.texturing.textures[TextureWood];
        ResetAppState();
        ResetFrameDriver();
    }
};

TEST_P(RenderGolden, FrameMatchesCommittedImage) {
    const Scene1& s = GetParam();
    const std::string path = SourcePath(std::string("tests/data/render/") + s.name + ".ppm");
    std::vector<std::vector<uint8_t>> images;
    for (SimdLevel level : AvailableLevels()) {
        LevelScope scope(level);
        std::vector<MeshPtr> meshes;
        s.build(&meshes);
        Scene scene{};
        scene.meshCount = static_cast<int32_t>(meshes.size());
        for (size_t i = 0; i < meshes.size(); ++i) scene.meshes[i] = meshes[i].get();
        OwnedFrameBuffer target(ViewW, ViewH);
        ResetFrameDriver();
        appState.view.fullRedraw = 1;
        DrawFrameInto(&target.fb, ViewW, ViewH, scene);
        images.push_back(ViewImage(target.fb));
    }
    for (size_t i = 1; i < images.size(); ++i) EXPECT_EQ(images[i], images[0]) << "paths differ";

    const char* update = std::getenv("QUILLMERE_UPDATE_GOLDEN");
    if (update && std::strcmp(update, "1") == 0) {
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_TRUE(f) << path;
        const std::string header = Header();
        std::fwrite(header.data(), 1, header.size(), f);
        std::fwrite(images[0].data(), 1, images[0].size(), f);
        std::fclose(f);
    }
    const std::string expected = ReadWholeFile(path);
    ASSERT_EQ(expected.size(), Header().size() + images[0].size()) << path;
    EXPECT_EQ(expected.substr(0, Header().size()), Header());
    EXPECT_TRUE(std::memcmp(expected.data() + Header().size(), images[0].data(), images[0].size()) == 0)
        << s.name << " differs from " << path;
}

INSTANTIATE_TEST_SUITE_P(Scenes, RenderGolden, ::testing::ValuesIn(scenes),
                         [](const ::testing::TestParamInfo<Scene1>& param) { return std::string(param.param.name); });

}  // namespace
