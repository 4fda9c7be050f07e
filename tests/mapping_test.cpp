#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "core/loaded_mesh.h"
#include "core/mapping.h"
#include "core/math3d.h"
#include "core/memory.h"
#include "core/mesh.h"
#include "support/platform_fake.h"

namespace {

struct MeshDeleter {
    void operator()(Mesh* m) const { FreeMesh(m); }
};
using MeshPtr = std::unique_ptr<Mesh, MeshDeleter>;

// Slots are given with their corners (missing ones empty); `kinds` marks line
// slots with 'l' (one character per slot, '-' a polygon). Texture index of
// corner c of slot s is 10 s + c, so reordering shows.
MeshPtr MakeMesh(const std::vector<Vec3>& points, const std::vector<std::vector<int>>& slots, const char* kinds = "") {
    MeshPtr mesh(CreateMesh("test"));
    EXPECT_TRUE(GrowVertices(mesh.get(), static_cast<int>(points.size())));
    EXPECT_TRUE(GrowFaces(mesh.get(), static_cast<int>(slots.size())));
    for (size_t i = 0; i < points.size(); ++i) mesh->vertices[i].position = points[i];
    const size_t kindCount = std::char_traits<char>::length(kinds);
    for (size_t s = 0; s < slots.size(); ++s) {
        for (int c = 0; c < 4; ++c) {
            mesh->faceVertexIndices[4 * s + c] = c < static_cast<int>(slots[s].size()) ? slots[s][c] : -1;
            mesh->faceTexIndices[4 * s + c] = static_cast<int>(10 * s + c);
        }
        mesh->faceAttributes[s] = s < kindCount && kinds[s] == 'l' ? FaceLine : 0;
    }
    mesh->vertexCount = static_cast<int>(points.size());
    mesh->faceCount = static_cast<int>(slots.size());
    ComputeNormals(mesh.get());
    return mesh;
}

std::vector<int> Corners(const int32_t* table, int slot) {
    return std::vector<int>(table + 4 * slot, table + 4 * slot + 4);
}

TEST(Mapping, NormalsToSphereCoordinates) {
    struct Case {
        Vec3 normal;
        float u, v;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // clang-format off
    const Case cases[] = {
        {{0, 1, 0}, 0.5f, 1.0f},
        {{0, -1, 0}, 0.5f, 0.0f},
        {{1, 0, 0}, 0.5f, 0.5f},
        {{0, 0, -1}, 0.75f, 0.5f},
        {{0, 0, 1}, 0.25f, 0.5f},
        {{0, 1.0000001f, 0}, 0.5f, 1.0f},  // rounding past 1 is clamped
        {{0, -1.5f, 0}, 0.5f, 0.0f},
        {{nan, nan, nan}, 0.0f, 0.0f},     // a degenerate normal maps to a corner
    };
    // clang-format on
    for (const Case& c : cases) {
        // A slot whose two corners are the same vertex: the seam fix never moves them.
        MeshPtr mesh = MakeMesh({{0, 0, 0}}, {{0, 0}});
        mesh->vertices[0].normal = c.normal;
        ASSERT_TRUE(MapSpherical(mesh.get()));
        ASSERT_EQ(mesh->texCoordCount, 2);
        EXPECT_NEAR(mesh->texCoords[0].u, c.u, 1e-4f) << c.normal.x << " " << c.normal.y << " " << c.normal.z;
        EXPECT_NEAR(mesh->texCoords[0].v, c.v, 1e-4f) << c.normal.x << " " << c.normal.y << " " << c.normal.z;
    }
}

// The quick texel against the library's angles: random directions, long and
// tiny vectors, every mix of axes, signed zeros and denormals, and a sweep of
// float y in -1..1 beside the u seam behind -x.
TEST(Mapping, QuickTexelIsTheLibrarys) {
    std::vector<MeshVertex> vertices;
    const auto add = [&](const Vec3& n) {
        MeshVertex vertex{};
        vertex.normal = n;
        vertices.push_back(vertex);
    };
    std::mt19937 random(5);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    const float scales[] = {1.0f, 1e-30f, 3.0f, 1e30f};
    for (int i = 0; i < 1000000; ++i) {
        Vec3 n{unit(random), unit(random), unit(random)};
        if (i % 5 != 4) Normalise(&n);
        const float s = scales[i % 4];
        add(Vec3{n.x * s, n.y * s, n.z * s});
    }
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float values[] = {0.0f, -0.0f, 1.0f, -1.0f, 1e-38f, -1e-38f, 1e-45f, 0.70710677f, -0.70710677f, inf, nan};
    for (float x : values)
        for (float y : values)
            for (float z : values) add(Vec3{x, y, z});
    for (uint32_t bits = 0; bits <= 0x3F800000u; bits += 331) {
        float y;
        std::memcpy(&y, &bits, sizeof y);
        add(Vec3{-1.0f, y, y * 1e-7f});
        add(Vec3{-1.0f, -y, -y * 1e-7f});
    }
    // An odd count: the paired kernel's last vertex has no partner.
    if (vertices.size() % 2 == 0) add(Vec3{0.0f, 1.0f, 0.0f});
    std::vector<SphereTexel> texels(vertices.size());
    for (const SimdLevel level : {SimdScalar, SimdSse2}) {
        SphereTexelsFor(level)(vertices.data(), static_cast<int32_t>(vertices.size()), texels.data());
        for (size_t i = 0; i < vertices.size(); ++i) {
            const Vec3& n = vertices[i].normal;
            const SphereTexel library = LibrarySphereTexelOf(n);
            ASSERT_TRUE(texels[i].u == library.u && texels[i].v == library.v)
                << SimdLevelName(level) << ": " << n.x << " " << n.y << " " << n.z;
        }
    }
}

// A load's one pass gives what the three separate steps give.
TEST(Mapping, FinishLoadedMeshEqualsTheSeparateSteps) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> coordinate(-2.0f, 2.0f);
    std::vector<Vec3> points;
    std::vector<std::vector<int>> slots;
    for (int i = 0; i < 3000; ++i) points.push_back(Vec3{coordinate(random), coordinate(random), coordinate(random)});
    for (int s = 0; s < 2000; ++s) {
        std::vector<int> corners(2 + s % 3);
        for (int& c : corners) c = static_cast<int>(random() % points.size());
        slots.push_back(corners);
    }
    MeshPtr separate = MakeMesh(points, slots, "l-l--l");
    ComputeBounds(separate.get());
    ASSERT_TRUE(MapSpherical(separate.get()));
    MeshPtr once = MakeMesh(points, slots, "l-l--l");
    for (int i = 0; i < once->vertexCount; ++i) once->vertices[i].normal = Vec3{0, 0, 0};
    ASSERT_TRUE(FinishLoadedMesh(once.get()));
    // Positions and normals only: the rest of a vertex record is the hair
    // builder's working storage, which a load leaves as it finds it.
    for (int i = 0; i < once->vertexCount; ++i) {
        ASSERT_EQ(std::memcmp(&once->vertices[i].position, &separate->vertices[i].position, sizeof(Vec3)), 0) << i;
        ASSERT_EQ(std::memcmp(&once->vertices[i].normal, &separate->vertices[i].normal, sizeof(Vec3)), 0) << i;
    }
    EXPECT_EQ(std::memcmp(once->facePlanes, separate->facePlanes, sizeof(FacePlane) * once->faceCount), 0);
    ASSERT_EQ(once->texCoordCount, separate->texCoordCount);
    EXPECT_EQ(std::memcmp(once->texCoords, separate->texCoords, sizeof(TexCoord) * once->texCoordCount), 0);
    EXPECT_EQ(std::memcmp(once->faceTexIndices, separate->faceTexIndices, 16 * static_cast<size_t>(once->faceCount)),
              0);
    EXPECT_EQ(std::memcmp(&once->boundsMin, &separate->boundsMin, sizeof(Vec3)), 0);
    EXPECT_EQ(std::memcmp(&once->boundsMax, &separate->boundsMax, sizeof(Vec3)), 0);
    EXPECT_EQ(once->radius, separate->radius);
}

TEST(Mapping, FixSeamMovesValuesFarBelowTheLargest) {
    struct Case {
        int32_t in[3];
        int32_t out[3];
    };
    const Case cases[] = {
        {{100, 32600, 20000}, {32868, 32600, 20000}},
        {{100, 32600, 16000}, {32868, 32600, 48768}},
        {{32600, 100, 16000}, {32600, 32868, 48768}},
        {{16000, 20000, 100}, {16000, 20000, 32868}},
        {{0, 16384, 16384}, {0, 16384, 16384}},  // exactly half apart stays
        {{0, 16385, 5}, {32768, 16385, 5}},
        {{5, 5, 5}, {5, 5, 5}},
        {{INT32_MIN, INT32_MAX, 0}, {INT32_MIN + 32768, INT32_MAX, 32768}},
    };
    for (const Case& c : cases) {
        int32_t p = c.in[0], q = c.in[1], r = c.in[2];
        FixSeam(&p, &q, &r, 0x8000);
        EXPECT_EQ(p, c.out[0]) << c.in[0] << " " << c.in[1] << " " << c.in[2];
        EXPECT_EQ(q, c.out[1]) << c.in[0] << " " << c.in[1] << " " << c.in[2];
        EXPECT_EQ(r, c.out[2]) << c.in[0] << " " << c.in[1] << " " << c.in[2];
    }
}

// For values 0..32767 the rule equals a cascade of pairwise tests stopping at
// the first that applies; random triples compare the two.
TEST(Mapping, FixSeamAgreesWithThePairwiseCascade) {
    const int32_t a = 0x8000, h = a / 2;
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int32_t>((seed >> 8) % 32768);
    };
    for (int i = 0; i < 100000; ++i) {
        int32_t p = next(), q = next(), r = next();
        int32_t ep = p, eq = q, er = r;
        if (p - q > h) {
            eq += a;
            if (p - r > h) er += a;
        } else if (p - r > h) {
            er += a;
        } else if (q - p > h) {
            ep += a;
            if (q - r > h) er += a;
        } else if (q - r > h) {
            er += a;
        } else if (r - p > h) {
            ep += a;
            if (r - q > h) eq += a;
        } else if (r - q > h) {
            eq += a;
        }
        const int32_t in[3] = {p, q, r};
        FixSeam(&p, &q, &r, a);
        ASSERT_TRUE(p == ep && q == eq && r == er) << in[0] << " " << in[1] << " " << in[2];
    }
}

TEST(Mapping, EveryUsedCornerGetsItsOwnCoordinate) {
    // Two triangles sharing an edge, a quad and a three-point line slot.
    MeshPtr mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 0, 1}},
                            {{0, 1, 2}, {1, 3, 2}, {0, 1, 3, 2}, {0, 4, 2}}, "---l");
    ASSERT_TRUE(MapSpherical(mesh.get()));
    EXPECT_EQ(mesh->texCoordCount, 3 + 3 + 4 + 3);
    EXPECT_EQ(mesh->texCoordCapacity, 16);
    EXPECT_EQ(Corners(mesh->faceTexIndices, 0), (std::vector<int>{0, 1, 2, 0}));
    EXPECT_EQ(Corners(mesh->faceTexIndices, 1), (std::vector<int>{3, 4, 5, 0}));
    EXPECT_EQ(Corners(mesh->faceTexIndices, 2), (std::vector<int>{6, 7, 8, 9}));
    EXPECT_EQ(Corners(mesh->faceTexIndices, 3), (std::vector<int>{10, 11, 12, 0}));
    for (int i = 0; i < mesh->texCoordCount; ++i) {
        EXPECT_GE(mesh->texCoords[i].u, 0.0f);
        EXPECT_LE(mesh->texCoords[i].u, 2.0f);
        EXPECT_GE(mesh->texCoords[i].v, 0.0f);
        EXPECT_LE(mesh->texCoords[i].v, 1.0f);
    }
}

TEST(Mapping, SeamIsFixedOnTheFirstThreeCornersOnly) {
    MeshPtr mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}});
    // u = 0.5 + atan2(-z, x) / 2pi: z slightly negative near -x gives u near
    // 1, z slightly positive near -x gives u near 0.
    const Vec3 normals[4] = {{-1, 0, -0.01f}, {-1, 0, 0.01f}, {-1, 0, -0.02f}, {-1, 0, 0.02f}};
    for (int i = 0; i < 4; ++i) {
        Vec3 n = normals[i];
        const float length = std::sqrt(n.x * n.x + n.z * n.z);
        mesh->vertices[i].normal = Vec3{n.x / length, 0, n.z / length};
    }
    ASSERT_TRUE(MapSpherical(mesh.get()));
    EXPECT_GT(mesh->texCoords[0].u, 0.99f);
    EXPECT_GT(mesh->texCoords[1].u, 1.0f);  // moved across the seam
    EXPECT_LT(mesh->texCoords[1].u, 1.01f);
    EXPECT_GT(mesh->texCoords[2].u, 0.99f);
    EXPECT_LT(mesh->texCoords[3].u, 0.01f);  // corner 3 is left where it was
}

TEST(Mapping, AllocationFailuresLeaveTheMeshAsItWas) {
    MeshPtr mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    ASSERT_TRUE(GrowTexCoords(mesh.get(), 5));
    mesh->texCoordCount = 1;
    mesh->texCoords[0] = TexCoord{0.25f, 0.75f};
    TexCoord* const before = mesh->texCoords;
    const std::vector<int> indices = Corners(mesh->faceTexIndices, 0);
    struct Case {
        long failAt;
        size_t messages;
    };
    const Case cases[] = {{1, 1}, {2, 0}};  // the working table, then the new coordinates
    for (const Case& c : cases) {
        ResetFake();
        const long live = LiveAllocationCount();
        FailAllocationAfter(c.failAt);
        EXPECT_EQ(MapSpherical(mesh.get()), 0);
        FailAllocationAfter(0);
        EXPECT_EQ(LiveAllocationCount(), live);
        ASSERT_EQ(Fake().messages.size(), c.messages);
        if (c.messages) {
            EXPECT_EQ(Fake().messages[0].text, "Out of memory");
            EXPECT_EQ(Fake().messages[0].caption, "Error");
            EXPECT_EQ(Fake().messages[0].style, MessageIconError);
            EXPECT_EQ(Fake().messages[0].owner, OwnerNone);
        }
        EXPECT_EQ(mesh->texCoords, before);
        EXPECT_EQ(mesh->texCoordCount, 1);
        EXPECT_EQ(mesh->texCoordCapacity, 5);
        EXPECT_EQ(mesh->texCoords[0].u, 0.25f);
        EXPECT_EQ(Corners(mesh->faceTexIndices, 0), indices);
    }
    EXPECT_EQ(MapSpherical(mesh.get()), 1);
    EXPECT_EQ(mesh->texCoordCount, 3);
}

TEST(Mapping, InvertReversesPolygonsAndKeepsStrands) {
    MeshPtr mesh = MakeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 2, 2}},
                            {{0, 1, 2}, {0, 1, 3, 2}, {0, 1, 2, 3}, {3, 4, 2}, {2, 4}}, "--lll");
    struct Expect {
        std::vector<int> vertices, texIndices;
    };
    // clang-format off
    const Expect expected[] = {
        {{1, 0, 2, -1}, {1, 0, 2, 3}},
        {{2, 3, 1, 0}, {13, 12, 11, 10}},
        {{0, 1, 2, 3}, {20, 21, 22, 23}},  // strands keep their point order
        {{3, 4, 2, -1}, {30, 31, 32, 33}},
        {{2, 4, -1, -1}, {40, 41, 42, 43}},
    };
    // clang-format on
    EXPECT_FLOAT_EQ(mesh->facePlanes[0].nz, 1.0f);
    InvertMesh(mesh.get());
    for (int s = 0; s < 5; ++s) {
        EXPECT_EQ(Corners(mesh->faceVertexIndices, s), expected[s].vertices) << "slot " << s;
        EXPECT_EQ(Corners(mesh->faceTexIndices, s), expected[s].texIndices) << "slot " << s;
    }
    EXPECT_FLOAT_EQ(mesh->facePlanes[0].nz, -1.0f);
    EXPECT_FLOAT_EQ(mesh->facePlanes[1].nz, -1.0f);
    EXPECT_FLOAT_EQ(mesh->vertices[0].normal.z, -1.0f);

    InvertMesh(mesh.get());
    EXPECT_EQ(Corners(mesh->faceVertexIndices, 0), (std::vector<int>{0, 1, 2, -1}));
    EXPECT_EQ(Corners(mesh->faceVertexIndices, 1), (std::vector<int>{0, 1, 3, 2}));
    EXPECT_EQ(Corners(mesh->faceTexIndices, 1), (std::vector<int>{10, 11, 12, 13}));
    EXPECT_FLOAT_EQ(mesh->facePlanes[0].nz, 1.0f);
    InvertMesh(nullptr);
}

}  // namespace
