#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "core/memory.h"
#include "core/mesh.h"

namespace {

struct MeshDeleter {
    void operator()(Mesh* m) const { FreeMesh(m); }
};
using MeshPtr = std::unique_ptr<Mesh, MeshDeleter>;

// A mesh with the given positions and face slots (four corners each, -1 empty).
MeshPtr MakeMesh(const std::vector<Vec3>& points, const std::vector<std::vector<int>>& slots) {
    MeshPtr mesh(CreateMesh("test"));
    EXPECT_TRUE(GrowVertices(mesh.get(), static_cast<int>(points.size())));
    EXPECT_TRUE(GrowFaces(mesh.get(), static_cast<int>(slots.size())));
    for (size_t i = 0; i < points.size(); ++i) mesh->vertices[i].position = points[i];
    for (size_t s = 0; s < slots.size(); ++s) {
        for (int c = 0; c < 4; ++c) {
            mesh->faceVertexIndices[4 * s + c] = c < static_cast<int>(slots[s].size()) ? slots[s][c] : -1;
            mesh->faceTexIndices[4 * s + c] = 0;
        }
        mesh->faceAttributes[s] = 0;
    }
    mesh->vertexCount = static_cast<int>(points.size());
    mesh->faceCount = static_cast<int>(slots.size());
    return mesh;
}

TEST(Mesh, CreatedWithDefaults) {
    MeshPtr mesh(CreateMesh("a name that is far longer than sixty-three characters, so it must be cut"));
    ASSERT_TRUE(mesh);
    EXPECT_EQ(mesh->vertexCount + mesh->texCoordCount + mesh->faceCount + mesh->materialCount + mesh->groupCount +
                  mesh->vertexCapacity,
              0);
    EXPECT_EQ(std::strlen(mesh->name), 63u);
    EXPECT_STREQ(mesh->materialNames[0], "Preview");
    EXPECT_STREQ(mesh->groupNames[0], "default");
    EXPECT_STREQ(mesh->materialNames[1], "");
    for (const Material& m : mesh->materials) {
        EXPECT_EQ(m.diffuse[2], 1.0f);
        EXPECT_EQ(m.specular[0], 0.5f);
        EXPECT_EQ(m.specularExponent, 10);
        EXPECT_EQ(m.diffuseExponent, 1);
        EXPECT_EQ(m.materialFlags, 0);
    }
}

TEST(Mesh, GrowthAddsToCapacity) {
    struct Step {
        int64_t n;
        int ok;
        int32_t capacity;
    };
    const Step steps[] = {
        {0, 1, 0},
        {5, 1, 5},
        {0, 1, 5},
        {3, 1, 8},
        {-1, 0, 8},
        {INT32_MAX, 0, 8},  // would pass the signed 32-bit range
        {int64_t(1) << 40, 0, 8},
    };
    MeshPtr mesh(CreateMesh("grow"));
    for (const Step& s : steps) {
        SCOPED_TRACE(s.n);
        EXPECT_EQ(GrowVertices(mesh.get(), s.n), s.ok);
        EXPECT_EQ(mesh->vertexCapacity, s.capacity);
        EXPECT_EQ(GrowTexCoords(mesh.get(), s.n), s.ok);
        EXPECT_EQ(mesh->texCoordCapacity, s.capacity);
        EXPECT_EQ(GrowFaces(mesh.get(), s.n), s.ok);
        EXPECT_EQ(mesh->faceCapacity, s.capacity);
    }
}

#if defined(_WIN32) && !defined(_WIN64)
// The 32-bit program is large-address-aware: under 64-bit Windows it holds
// meshes of more than 2.5 GB in all, and gives the memory back.
TEST(Mesh, ThirtyTwoBitProgramHoldsMoreThanTwoAndAHalfGigabytes) {
    const int64_t perMesh = 896000000 / int64_t(sizeof(MeshVertex));  // 896 MB of vertex records
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        MeshPtr meshes[3] = {MeshPtr(CreateMesh("a")), MeshPtr(CreateMesh("b")), MeshPtr(CreateMesh("c"))};
        for (MeshPtr& mesh : meshes) {
            ASSERT_EQ(GrowVertices(mesh.get(), perMesh), 1);
            // Touch every page, so that the memory is really committed.
            char* bytes = reinterpret_cast<char*>(mesh->vertices);
            for (int64_t at = 0; at < perMesh * int64_t(sizeof(MeshVertex)); at += 4096) bytes[at] = 1;
        }
    }
}
#endif

TEST(Mesh, GeometricGrowthAndFit) {
    const struct {
        int32_t capacity;
        int64_t minimum, increment;
    } cases[] = {{0, 4096, 4096},
                 {8192, 4096, 4096},
                 {10000, 4096, 5000},
                 {INT32_MAX - 100, 50, 100},
                 {INT32_MAX - 100, 4096, 4096}};
    for (const auto& c : cases) EXPECT_EQ(GeometricGrowth(c.capacity, c.minimum), c.increment) << c.capacity;
    // The forecast: the rest of the input at the pace so far, a sixteenth
    // more, never under the geometric step, never past 32 bits.
    const struct {
        int32_t capacity;
        int64_t count;
        uint64_t bytesRead, bytesLeft;
        int64_t increment;
    } forecasts[] = {{4096, 4096, 40960, 409600, 43520},
                     {4096, 4096, 40960, 4096, 4096},
                     {4096, 4096, 40960, UINT64_MAX, 4096},
                     {4096, 4096, 0, 409600, 4096},
                     {4096, 0, 40960, 409600, 4096},
                     {INT32_MAX - 100, INT32_MAX - 100, 1, uint64_t{1} << 60, 100},
                     {1000000, 1000000, 1, UINT64_MAX - 1, INT32_MAX - 1000000}};
    for (const auto& f : forecasts)
        EXPECT_EQ(ForecastGrowth(f.capacity, f.count, f.bytesRead, f.bytesLeft, 4096), f.increment)
            << f.capacity << " " << f.count << " " << f.bytesLeft;

    MeshPtr mesh(CreateMesh("fit"));
    ASSERT_TRUE(GrowVertices(mesh.get(), 100) && GrowTexCoords(mesh.get(), 100) && GrowFaces(mesh.get(), 100));
    mesh->vertexCount = 7;
    mesh->faceCount = 3;
    mesh->vertices[6].position = Vec3{1, 2, 3};
    mesh->faceAttributes[2] = 0x42;
    FitMeshStorage(mesh.get());
    EXPECT_EQ(mesh->vertexCapacity, 7);
    EXPECT_EQ(mesh->texCoordCapacity, 100);  // nothing in use: left alone
    EXPECT_EQ(mesh->faceCapacity, 3);
    EXPECT_EQ(mesh->vertices[6].position.z, 3.0f);
    EXPECT_EQ(mesh->faceAttributes[2], 0x42u);
}

TEST(Mesh, GrowthKeepsContents) {
    MeshPtr mesh(CreateMesh("keep"));
    ASSERT_TRUE(GrowFaces(mesh.get(), 2));
    mesh->faceVertexIndices[7] = 42;
    mesh->faceAttributes[1] = 0x1234;
    ASSERT_TRUE(GrowFaces(mesh.get(), 1000));
    EXPECT_EQ(mesh->faceVertexIndices[7], 42);
    EXPECT_EQ(mesh->faceAttributes[1], 0x1234u);
}

// Every allocation of a growth can fail; the mesh stays consistent and frees
// without leaking.
TEST(Mesh, FailedAllocationLeavesMeshValid) {
    for (long failAt = 1; failAt <= 6; ++failAt) {
        SCOPED_TRACE(failAt);
        const long live = LiveAllocationCount();
        Mesh* mesh = CreateMesh("fail");
        ASSERT_TRUE(mesh);
        ASSERT_TRUE(GrowFaces(mesh, 4));
        FailAllocationAfter(failAt);
        const int grew = GrowFaces(mesh, 10) && GrowVertices(mesh, 3);
        FailAllocationAfter(0);
        if (!grew) {
            EXPECT_TRUE(mesh->faceCapacity == 4 || mesh->faceCapacity == 14);
        }
        EXPECT_EQ(grew, failAt > 5 ? 1 : 0);
        FreeMesh(mesh);
        EXPECT_EQ(LiveAllocationCount(), live);
    }
    FailAllocationAfter(1);
    EXPECT_EQ(CreateMesh("none"), nullptr);
    FailAllocationAfter(0);
}

TEST(Mesh, NewellNormals) {
    struct Case {
        const char* what;
        std::vector<Vec3> points;
        std::vector<std::vector<int>> slots;
        FacePlane plane0;
        std::vector<Vec3> normals;
    };
    const float s = 1.0f / std::sqrt(2.0f);
    const Case cases[] = {
        {"triangle", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}, {0, 0, 1, 0}, {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}},
        {"quad at z=2",
         {{0, 0, 2}, {0, 1, 2}, {1, 1, 2}, {1, 0, 2}},
         {{0, 1, 2, 3}},
         {0, 0, -1, -2},
         {{0, 0, -1}, {0, 0, -1}, {0, 0, -1}, {0, 0, -1}}},
        {"segment adds nothing", {{0, 0, 0}, {1, 2, 3}}, {{0, 1}}, {0, 0, 0, 0}, {{0, 0, 0}, {0, 0, 0}}},
        {"three-point line slot is a polygon",
         {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}},
         {{0, 1, 2}},
         {0, 0, 1, 0},
         {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}}},
        {"shared edge averages",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
         {{0, 1, 2}, {0, 3, 1}},
         {0, 0, 1, 0},
         {{0, s, s}, {0, s, s}, {0, 0, 1}, {0, 1, 0}}},
        {"unused vertex stays zero",
         {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 5, 5}},
         {{0, 1, 2}},
         {0, 0, 1, 0},
         {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MeshPtr mesh = MakeMesh(c.points, c.slots);
        ComputeNormals(mesh.get());
        const FacePlane& p = mesh->facePlanes[0];
        EXPECT_FLOAT_EQ(p.nx, c.plane0.nx);
        EXPECT_FLOAT_EQ(p.ny, c.plane0.ny);
        EXPECT_FLOAT_EQ(p.nz, c.plane0.nz);
        EXPECT_FLOAT_EQ(p.d, c.plane0.d);
        for (size_t i = 0; i < c.normals.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(mesh->vertices[i].normal.x, c.normals[i].x, 1e-6);
            EXPECT_NEAR(mesh->vertices[i].normal.y, c.normals[i].y, 1e-6);
            EXPECT_NEAR(mesh->vertices[i].normal.z, c.normals[i].z, 1e-6);
        }
    }
}

TEST(Mesh, BoundsOfUnitCube) {
    std::vector<Vec3> cube;
    for (int i = 0; i < 8; ++i) cube.push_back(Vec3{float(i & 1), float((i >> 1) & 1), float(i >> 2)});
    MeshPtr mesh = MakeMesh(cube, {});
    ASSERT_TRUE(ComputeBounds(mesh.get()));
    EXPECT_EQ(mesh->centre.x, 0.5f);
    EXPECT_EQ(mesh->centre.y, 0.5f);
    EXPECT_EQ(mesh->centre.z, 0.5f);
    EXPECT_NEAR(mesh->radius, std::sqrt(0.75), 1e-6);
    EXPECT_EQ(mesh->boundsMax.z, 1.0f);
}

TEST(Mesh, BoundsOfEmptyMeshFailUntouched) {
    MeshPtr mesh(CreateMesh("empty"));
    mesh->boundsMin = Vec3{7, 8, 9};
    mesh->radius = 3;
    EXPECT_EQ(ComputeBounds(mesh.get()), 0);
    EXPECT_EQ(mesh->boundsMin.y, 8.0f);
    EXPECT_EQ(mesh->radius, 3.0f);
}

TEST(Scene, BoundsCombineAndClearFrees) {
    const long live = LiveAllocationCount();
    Scene scene{};
    scene.meshes[0] = MakeMesh({{0, 0, 0}, {1, 1, 1}}, {}).release();
    scene.meshes[1] = MakeMesh({{-1, 0, 0}, {0, 3, 1}}, {}).release();
    scene.meshCount = 2;
    ComputeBounds(scene.meshes[0]);
    ComputeBounds(scene.meshes[1]);
    ComputeSceneBounds(&scene);
    EXPECT_EQ(scene.boundsMin.x, -1.0f);
    EXPECT_EQ(scene.boundsMax.y, 3.0f);
    EXPECT_EQ(scene.centre.y, 1.5f);
    EXPECT_NEAR(scene.radius, std::sqrt(1.0 + 2.25 + 0.25), 1e-6);

    scene.meshes[2] = nullptr;
    scene.meshCount = 3;  // an empty slot is skipped
    ClearScene(&scene);
    EXPECT_EQ(scene.meshCount, 0);
    EXPECT_EQ(scene.meshes[0], nullptr);
    EXPECT_EQ(LiveAllocationCount(), live);
}

}  // namespace
