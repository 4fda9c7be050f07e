#include "ribbon/ribbon_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "app/hair_settings.h"
#include "core/cpu_features.h"
#include "core/memory.h"
#include "ribbon/unit_batch.h"

namespace {

struct MeshDeleter {
    void operator()(Mesh* m) const { FreeMesh(m); }
};
using MeshPtr = std::unique_ptr<Mesh, MeshDeleter>;

// A source mesh as the readers leave it: strands stored as chains of line
// slots (first slot points 0-3 with the point count, continuation slots
// repeating the previous slot's last point), polygons as plain slots.
struct SourceBuilder {
    std::vector<Vec3> points;
    std::vector<TexCoord> tex;
    struct Slot {
        int32_t corners[4];
        int32_t texCorners[4];
        FaceAttributes attributes;
    };
    std::vector<Slot> slots;
    bool normals = true;  // off for slots that the normal pass cannot take

    void Strand(const std::vector<int>& p, FaceAttributes extra = 0) {
        const int n = static_cast<int>(p.size());
        Slot first{{-1, -1, -1, -1}, {0, 0, 0, 0}, extra | FaceLine | (uint32_t(n) << 18)};
        for (int i = 0; i < 4 && i < n; ++i) first.corners[i] = p[i];
        slots.push_back(first);
        for (int at = 3; at + 1 < n; at += 3) {
            Slot next{{-1, -1, -1, -1}, {0, 0, 0, 0}, extra | FaceLine};
            for (int i = 0; i < 4 && at + i < n; ++i) next.corners[i] = p[at + i];
            slots.push_back(next);
        }
    }
    void Polygon(const std::vector<int>& p, const std::vector<int>& t, FaceAttributes a = 0) {
        Slot s{{-1, -1, -1, -1}, {0, 0, 0, 0}, a};
        for (size_t i = 0; i < p.size(); ++i) {
            s.corners[i] = p[i];
            s.texCorners[i] = t[i];
        }
        slots.push_back(s);
    }
    MeshPtr Make() const {
        MeshPtr mesh(CreateMesh("source"));
        EXPECT_TRUE(GrowVertices(mesh.get(), points.size()));
        EXPECT_TRUE(GrowTexCoords(mesh.get(), tex.size()));
        EXPECT_TRUE(GrowFaces(mesh.get(), slots.size()));
        for (size_t i = 0; i < points.size(); ++i) {
            mesh->vertices[i] = MeshVertex{};
            mesh->vertices[i].position = points[i];
        }
        for (size_t i = 0; i < tex.size(); ++i) mesh->texCoords[i] = tex[i];
        for (size_t s = 0; s < slots.size(); ++s) {
            std::memcpy(mesh->faceVertexIndices + 4 * s, slots[s].corners, sizeof slots[s].corners);
            std::memcpy(mesh->faceTexIndices + 4 * s, slots[s].texCorners, sizeof slots[s].texCorners);
            mesh->faceAttributes[s] = slots[s].attributes;
        }
        mesh->vertexCount = static_cast<int32_t>(points.size());
        mesh->texCoordCount = static_cast<int32_t>(tex.size());
        mesh->faceCount = static_cast<int32_t>(slots.size());
        if (normals) ComputeNormals(mesh.get());
        ComputeBounds(mesh.get());
        return mesh;
    }
};

// n points on a helix of radius 1 around the z axis, starting at `first`.
std::vector<int> Helix(SourceBuilder* b, int n, float z0 = 0, float pitch = 0.3f) {
    std::vector<int> ids;
    for (int k = 0; k < n; ++k) {
        ids.push_back(static_cast<int>(b->points.size()));
        b->points.push_back(Vec3{std::cos(0.7f * k), std::sin(0.7f * k), z0 + pitch * k});
    }
    return ids;
}

HairSettings Settings(float radius, float stretch, int onlyDynamic, int reduce) {
    return HairSettings{radius, stretch, onlyDynamic, reduce};
}

MeshPtr Build(Mesh* source, const HairSettings& s) { return MeshPtr(BuildHairMesh(source, s)); }

double Distance(const Vec3& a, const Vec3& b) {
    const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// Checks that strand point k of n (source vertex v) became the pair at
// `first` with P -/+ w N, w from the taper formula with the exact k/(n-1).
void ExpectPair(const Mesh& source, const Mesh& hair, int v, int first, double t, const HairSettings& s) {
    const double w = (1.0 - t * s.stretch * 0.95) * s.radius;
    const Vec3& p = source.vertices[v].position;
    const Vec3& n = source.vertices[v].normal;
    const Vec3& minus = hair.vertices[first].position;
    const Vec3& plus = hair.vertices[first + 1].position;
    EXPECT_NEAR(minus.x, p.x - w * n.x, 1e-6);
    EXPECT_NEAR(minus.y, p.y - w * n.y, 1e-6);
    EXPECT_NEAR(minus.z, p.z - w * n.z, 1e-6);
    EXPECT_NEAR(plus.x, p.x + w * n.x, 1e-6);
    EXPECT_NEAR(plus.y, p.y + w * n.y, 1e-6);
    EXPECT_NEAR(plus.z, p.z + w * n.z, 1e-6);
}

TEST(RibbonBuilder, NothingToBuildReturnsNone) {
    struct Case {
        const char* what;
        SourceBuilder source;
    };
    std::vector<Case> cases(3);
    cases[0].what = "triangle only";
    cases[0].source.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    cases[0].source.tex = {{0, 0}};
    cases[0].source.Polygon({0, 1, 2}, {0, 0, 0});
    cases[1].what = "no slots at all";
    cases[1].source.points = {{0, 0, 0}};
    cases[2].what = "a line slot of one point";
    cases[2].source.points = {{0, 0, 0}, {1, 0, 0}};
    cases[2].source.Strand({0});
    cases[2].source.normals = false;
    for (Case& c : cases) {
        for (int reduce = 0; reduce < 2; ++reduce) {
            SCOPED_TRACE(c.what);
            const long live = LiveAllocationCount();
            MeshPtr source = c.source.Make();
            EXPECT_EQ(Build(source.get(), Settings(0.1f, 0, 0, reduce)), nullptr);
            source.reset();
            EXPECT_EQ(LiveAllocationCount(), live);
        }
    }
}

TEST(RibbonBuilder, FourPointStrand) {
    SourceBuilder b;
    const std::vector<int> ids = Helix(&b, 4);
    b.Strand(ids);
    MeshPtr source = b.Make();
    const HairSettings s = Settings(0.01f, 0, 1, 0);
    MeshPtr hair = Build(source.get(), s);
    ASSERT_TRUE(hair);
    EXPECT_STREQ(hair->name, "hair");
    EXPECT_EQ(hair->vertexCount, 8);
    EXPECT_EQ(hair->faceCount, 3);
    EXPECT_EQ(hair->polygonCount, 3);
    EXPECT_EQ(hair->lineCount, 0);
    const TexCoord tex[8] = {{0, 0},        {1, 0},        {0, 1.0f / 3}, {1, 1.0f / 3},
                             {0, 2.0f / 3}, {1, 2.0f / 3}, {0, 1},        {1, 1}};
    ASSERT_EQ(hair->texCoordCount, 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(hair->texCoords[i].u, tex[i].u) << i;
        EXPECT_EQ(hair->texCoords[i].v, tex[i].v) << i;
    }
    const int32_t quads[3][4] = {{0, 2, 3, 1}, {2, 4, 5, 3}, {4, 6, 7, 5}};
    for (int q = 0; q < 3; ++q) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(hair->faceVertexIndices[4 * q + c], quads[q][c]);
            EXPECT_EQ(hair->faceTexIndices[4 * q + c], quads[q][c]);
        }
    }
    for (int k = 0; k < 4; ++k) ExpectPair(*source, *hair, ids[k], 2 * k, k / 3.0, s);
    // Normals and bounds of the new mesh are computed.
    EXPECT_NEAR(Distance(hair->vertices[0].normal, Vec3{0, 0, 0}), 1.0, 1e-5);
    for (int i = 0; i < 8; ++i) {
        EXPECT_LE(hair->boundsMin.x, hair->vertices[i].position.x);
        EXPECT_GE(hair->boundsMax.z, hair->vertices[i].position.z);
    }
}

// Seven points in two slots: point 3 is in both and gets one pair.
TEST(RibbonBuilder, SevenPointStrandWithAndWithoutReduce) {
    struct Case {
        int reduce, onlyDynamic;
        int vertices, quads;
        std::vector<int> visited;  // strand points that get pairs
    };
    const Case cases[] = {
        {0, 1, 14, 6, {0, 1, 2, 3, 4, 5, 6}},
        {0, 0, 14, 6, {0, 1, 2, 3, 4, 5, 6}},
        {1, 1, 6, 2, {0, 3, 6}},
        {1, 0, 10, 2, {0, 3, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "reduce " << c.reduce << " onlyDynamic " << c.onlyDynamic);
        SourceBuilder b;
        const std::vector<int> ids = Helix(&b, 7);
        b.Strand(ids);
        MeshPtr source = b.Make();
        const HairSettings s = Settings(0.02f, 0.5f, c.onlyDynamic, c.reduce);
        MeshPtr hair = Build(source.get(), s);
        ASSERT_TRUE(hair);
        EXPECT_EQ(hair->vertexCount, c.vertices);
        EXPECT_EQ(hair->faceCount, c.quads);
        EXPECT_EQ(hair->texCoordCount, 2 * static_cast<int>(c.visited.size()));
        // New vertices in source order: two per visited point, one per
        // other point when loose vertices are kept.
        int next = 0;
        for (int k = 0; k < 7; ++k) {
            const bool visited = std::find(c.visited.begin(), c.visited.end(), k) != c.visited.end();
            if (visited) {
                ExpectPair(*source, *hair, ids[k], next, k / 6.0, s);
                next += 2;
            } else if (!c.onlyDynamic) {
                const Vec3& p = hair->vertices[next].position;
                EXPECT_EQ(Distance(p, source->vertices[ids[k]].position), 0.0);
                next += 1;
            }
        }
        // Each quad joins consecutive visited points; v runs from t(a) to t(b).
        for (int q = 0; q < c.quads; ++q) {
            const int32_t* tc = hair->faceTexIndices + 4 * q;
            const double ta = c.visited[q] / 6.0, tb = c.visited[q + 1] / 6.0;
            EXPECT_NEAR(hair->texCoords[tc[0]].v, ta, 1e-6);
            EXPECT_NEAR(hair->texCoords[tc[1]].v, tb, 1e-6);
            EXPECT_EQ(hair->texCoords[tc[0]].u, 0.0f);
            EXPECT_EQ(hair->texCoords[tc[2]].u, 1.0f);
            EXPECT_EQ(hair->texCoords[tc[2]].v, hair->texCoords[tc[1]].v);
        }
    }
}

// Pairs are shared by equal parameters and appear in the order of first use,
// which the hashed lookup must keep.
TEST(RibbonBuilder, TexturePairsSharedInOrderOfFirstUse) {
    struct Case {
        const char* what;
        std::vector<int> lengths;
        int reduce;
        std::vector<float> pairs;  // v of each pair, in order
    };
    const Case cases[] = {
        {"equal lengths share", {4, 4}, 0, {0, 1.0f / 3, 2.0f / 3, 1}},
        {"4 then 3", {4, 3}, 0, {0, 1.0f / 3, 2.0f / 3, 1, 0.5f}},
        {"3 then 4", {3, 4}, 0, {0, 0.5f, 1, 1.0f / 3, 2.0f / 3}},
        {"reduce visits ends of slots", {7, 3}, 1, {0, 0.5f, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SourceBuilder b;
        float z = 0;
        for (int n : c.lengths) b.Strand(Helix(&b, n, z += 5));
        MeshPtr source = b.Make();
        MeshPtr hair = Build(source.get(), Settings(0.01f, 0, 1, c.reduce));
        ASSERT_TRUE(hair);
        ASSERT_EQ(hair->texCoordCount, 2 * static_cast<int>(c.pairs.size()));
        for (size_t i = 0; i < c.pairs.size(); ++i) {
            EXPECT_NEAR(hair->texCoords[2 * i].v, c.pairs[i], 1e-7) << i;
        }
    }
}

// Many strands of every length, with and without reduce, with and without
// a kept triangle (whose copied coordinates follow the pairs and must never
// be taken for one): every pair's v is distinct, the quads name pairs in
// increasing order of first use, and the corners carry the right u.
TEST(RibbonBuilder, PairTableMatchesLinearSearch) {
    for (int run = 0; run < 4; ++run) {
        const int reduce = run % 2, keepFaces = run / 2;
        SourceBuilder b;
        for (int i = 0; i < 200; ++i) b.Strand(Helix(&b, 2 + (i * 7) % 31, 3.0f * i));
        // A strand whose count says 2 but runs on for 400 points: its
        // parameters climb past 1 and make hundreds of distinct pairs.
        std::vector<int> longRun = Helix(&b, 400, -2000);
        b.Strand(longRun);
        b.slots[b.slots.size() - 133].attributes = FaceLine | (2u << 18);
        if (keepFaces) {
            // Looked up right after the last pair made: its root's t = 0
            // equals the v of the first copy, which lies where the next
            // pair would.
            b.Strand(Helix(&b, 3, 5000));
            b.tex = {TexCoord{0.5f, 0.0f}};
            b.Polygon({0, 1, 2}, {0, 0, 0});
        }
        MeshPtr source = b.Make();
        MeshPtr hair = Build(source.get(), Settings(0.01f, 0, 1 - keepFaces, reduce));
        ASSERT_TRUE(hair);
        MeshPtr linear(CreateMesh("linear"));
        ASSERT_TRUE(GrowTexCoords(linear.get(), hair->texCoordCount));
        int32_t count = 0;
        int32_t seen = 0;
        for (int q = 0; q < hair->faceCount; ++q) {
            if (hair->faceVertexIndices[4 * q + 3] == -1) continue;  // the copied triangle
            for (int c = 0; c < 2; ++c) {
                const int32_t index = hair->faceTexIndices[4 * q + c];
                const float t = hair->texCoords[index].v;
                ASSERT_EQ(FindOrAddRibbonTexPair(linear.get(), t, &count), index);
                if (index == seen) seen += 2;
                ASSERT_LT(index, seen);
            }
        }
        EXPECT_EQ(count, hair->texCoordCount - 3 * keepFaces);
        EXPECT_GT(count, 400);
    }
}

template <typename T>
bool SameBytes(const T* a, const T* b, int32_t count) {
    return std::memcmp(a, b, static_cast<size_t>(count) * sizeof(T)) == 0;
}

void ExpectSameMesh(const Mesh& other, const Mesh& hair) {
    ASSERT_EQ(other.vertexCount, hair.vertexCount);
    ASSERT_EQ(other.faceCount, hair.faceCount);
    ASSERT_EQ(other.texCoordCount, hair.texCoordCount);
    EXPECT_TRUE(SameBytes(other.vertices, hair.vertices, hair.vertexCount));
    EXPECT_TRUE(SameBytes(other.faceVertexIndices, hair.faceVertexIndices, 4 * hair.faceCount));
    EXPECT_TRUE(SameBytes(other.faceTexIndices, hair.faceTexIndices, 4 * hair.faceCount));
    EXPECT_TRUE(SameBytes(other.faceAttributes, hair.faceAttributes, hair.faceCount));
    EXPECT_TRUE(SameBytes(other.facePlanes, hair.facePlanes, hair.faceCount));
    EXPECT_TRUE(SameBytes(other.texCoords, hair.texCoords, hair.texCoordCount));
    EXPECT_TRUE(SameBytes(&other.boundsMin, &hair.boundsMin, 1));
    EXPECT_TRUE(SameBytes(&other.boundsMax, &hair.boundsMax, 1));
}

// A hair mesh whose storage holds nothing a build could rely on: every
// byte up to each capacity 0xFF (NaN floats, -1 indices).
MeshPtr PoisonedHair(Mesh* source, const HairSettings& s) {
    MeshPtr hair = Build(source, s);
    std::memset(hair->vertices, 0xFF, sizeof(MeshVertex) * size_t(hair->vertexCapacity));
    std::memset(hair->texCoords, 0xFF, sizeof(TexCoord) * size_t(hair->texCoordCapacity));
    std::memset(hair->faceVertexIndices, 0xFF, 16 * size_t(hair->faceCapacity));
    std::memset(hair->faceTexIndices, 0xFF, 16 * size_t(hair->faceCapacity));
    std::memset(hair->facePlanes, 0xFF, sizeof(FacePlane) * size_t(hair->faceCapacity));
    std::memset(hair->faceAttributes, 0xFF, sizeof(FaceAttributes) * size_t(hair->faceCapacity));
    return hair;
}

// The builder finishes normals as it writes the quads, and writes the pairs
// there too when the strands reach their points in index order. Whatever
// the way strands share points, normals, planes and box must be bit for
// bit what the normal pass over the finished hair mesh makes, and a loose
// point left out (which makes the builder write the pairs in a pass of
// their own) must change nothing, and neither must a rebuild into the
// storage of an earlier hair mesh. So at every vector level the processor
// has, since the builder normalises four normals at once where it can.
TEST(RibbonBuilder, NormalsEqualTheNormalPassOfTheHairMesh) {
    const SimdLevel saved = ActiveSimdLevel();
    for (int variant = 0; variant < 16 * (DetectedSimdLevel() + 1); ++variant) {
        SCOPED_TRACE(variant);
        SetActiveSimdLevel(static_cast<SimdLevel>(variant / 16));
        const bool reduce = variant & 1, copied = variant & 2, fan = variant & 4, backwards = variant & 8;
        SourceBuilder b;
        for (int i = 0; i < 40; ++i) b.Strand(Helix(&b, 2 + (i * 5) % 23, 2.0f * i, i % 3 == 0 ? 0.0f : 0.3f));
        std::vector<int> loop = Helix(&b, 6, -9);  // revisits its points, one twice in a row
        b.Strand({loop[0], loop[1], loop[2], loop[2], loop[1], loop[0], loop[3], loop[4], loop[5]});
        for (int i = 0; i < (fan ? 300 : 3); ++i) {  // 300 strands from one root: past the pair counts
            std::vector<int> strand = Helix(&b, 4, 100.0f + i);
            strand.insert(strand.begin(), 0);
            b.Strand(strand);
        }
        if (backwards) {  // reaches its points against index order
            std::vector<int> strand = Helix(&b, 7, -30);
            std::reverse(strand.begin(), strand.end());
            b.Strand(strand);
        }
        if (copied) b.Polygon({0, 1, 2}, {0, 0, 0});  // on strand points
        const HairSettings settings = Settings(0.02f, 0.5f, copied ? 0 : 1, reduce);
        MeshPtr source = b.Make();
        MeshPtr hair = Build(source.get(), settings);
        ASSERT_TRUE(hair);
        MeshPtr previous = PoisonedHair(source.get(), settings);
        MeshPtr rebuilt(BuildHairMesh(source.get(), settings, previous.get()));
        ASSERT_TRUE(rebuilt);
        EXPECT_FALSE(previous->vertices || previous->faceVertexIndices || previous->texCoords);
        EXPECT_EQ(previous->vertexCount + previous->faceCount, 0);
        ExpectSameMesh(*rebuilt, *hair);
        if (!copied) {
            b.points.push_back(Vec3{5, 5, 5});
            MeshPtr loose = b.Make();
            MeshPtr other = Build(loose.get(), settings);
            ASSERT_TRUE(other);
            ExpectSameMesh(*other, *hair);
        }
        const std::vector<MeshVertex> built(hair->vertices, hair->vertices + hair->vertexCount);
        const std::vector<FacePlane> planes(hair->facePlanes, hair->facePlanes + hair->faceCount);
        const Vec3 lo = hair->boundsMin, hi = hair->boundsMax;
        ComputeNormals(hair.get());
        ComputeBounds(hair.get());
        EXPECT_TRUE(SameBytes(built.data(), hair->vertices, hair->vertexCount));
        EXPECT_TRUE(SameBytes(planes.data(), hair->facePlanes, hair->faceCount));
        EXPECT_TRUE(SameBytes(&lo, &hair->boundsMin, 1));
        EXPECT_TRUE(SameBytes(&hi, &hair->boundsMax, 1));
    }
    SetActiveSimdLevel(saved);
}

// The batch kernels against the scalar reference on random bit patterns
// (every exponent, NaNs, infinities, denormals) and on zero and tiny sums:
// the same bits, NaN for NaN.
TEST(RibbonBuilder, BatchNormaliseEqualsScalarToTheBit) {
    uint32_t state = 12345;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state;
    };
    const float specials[] = {0.0f, -0.0f, 1e-30f, -1e-45f, 1e30f, 3.0e38f, INFINITY, NAN, 1.0f, -2.5f};
    int mismatches = 0;
    for (int round = 0; round < 200000; ++round) {
        UnitBatch in{};
        for (int i = 0; i < 4; ++i) {
            float* lane[3] = {&in.x[i], &in.y[i], &in.z[i]};
            for (float* c : lane) {
                const uint32_t r = next();
                if (round % 3 == 0) {
                    *c = specials[r % 10];
                } else {
                    // Random bits, half of them with exponents near 1.
                    uint32_t bits = r;
                    if (round % 3 == 1) bits = (bits & 0x807FFFFFu) | ((120u + (r >> 27)) << 23);
                    std::memcpy(c, &bits, sizeof bits);
                }
            }
        }
        UnitBatch reference = in, vector = in;
        NormaliseBatchScalar(&reference);
        NormaliseBatchFor(SimdAvx2)(&vector);
        // Which operand's NaN comes out is the compiler's choice.
        const auto same = [](float a, float b) {
            return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
        };
        for (int i = 0; i < 4; ++i) {
            if (!same(reference.x[i], vector.x[i]) || !same(reference.y[i], vector.y[i]) ||
                !same(reference.z[i], vector.z[i]))
                ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(RibbonBuilder, FindOrAddRibbonTexPair) {
    MeshPtr mesh(CreateMesh("pairs"));
    ASSERT_TRUE(GrowTexCoords(mesh.get(), 16));
    struct Step {
        float t;
        int index, count;
    };
    const Step steps[] = {{0.5f, 0, 2}, {0.25f, 2, 4}, {0.5f, 0, 4}, {0.0f, 4, 6}, {-0.0f, 4, 6}, {0.25f, 2, 6}};
    int32_t count = 0;
    for (const Step& s : steps) {
        EXPECT_EQ(FindOrAddRibbonTexPair(mesh.get(), s.t, &count), s.index);
        EXPECT_EQ(count, s.count);
    }
    EXPECT_EQ(mesh->texCoords[3].u, 1.0f);
    EXPECT_EQ(mesh->texCoords[3].v, 0.25f);
}

// Straight and two-point strands have a zero normal; their ribbons still get
// the full width, across the strand, oriented by the least aligned axis.
TEST(RibbonBuilder, ZeroNormalStrandsGetFullWidth) {
    struct Case {
        const char* what;
        std::vector<Vec3> points;
        Vec3 across;  // expected plus-side direction, or 0 when only checked for perpendicularity
    };
    const Case cases[] = {
        {"two points along x", {{0, 0, 0}, {2, 0, 0}}, {0, 0, 1}},
        {"two points along y", {{1, 1, 1}, {1, 3, 1}}, {0, 0, -1}},
        {"two points along z", {{0, 0, 0}, {0, 0, -1}}, {0, -1, 0}},
        {"straight seven along a diagonal",
         {{0, 0, 0},
          {0.25f, 0.5f, 0.75f},
          {0.5f, 1, 1.5f},
          {0.75f, 1.5f, 2.25f},
          {1, 2, 3},
          {1.25f, 2.5f, 3.75f},
          {1.5f, 3, 4.5f}},
         {0, 0, 0}},
        {"straight four, uneven spacing", {{0, 0, 0}, {0.5f, -1, 0}, {2, -4, 0}, {2.5f, -5, 0}}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        for (int reduce = 0; reduce < 2; ++reduce) {
            SCOPED_TRACE(testing::Message() << c.what << " reduce " << reduce);
            SourceBuilder b;
            b.points = c.points;
            std::vector<int> ids;
            for (size_t i = 0; i < c.points.size(); ++i) ids.push_back(static_cast<int>(i));
            b.Strand(ids);
            MeshPtr source = b.Make();
            for (int i = 0; i < source->vertexCount; ++i)
                ASSERT_EQ(Distance(source->vertices[i].normal, {0, 0, 0}), 0.0);
            const HairSettings s = Settings(0.125f, 0, 1, reduce);
            MeshPtr hair = Build(source.get(), s);
            ASSERT_TRUE(hair);
            const Vec3 d{c.points.back().x - c.points[0].x, c.points.back().y - c.points[0].y,
                         c.points.back().z - c.points[0].z};
            const double dl = Distance(d, {0, 0, 0});
            for (int v = 0; v < hair->vertexCount; v += 2) {
                const Vec3& m = hair->vertices[v].position;
                const Vec3& p = hair->vertices[v + 1].position;
                EXPECT_NEAR(Distance(m, p), 2 * s.radius, 2e-6);
                const Vec3 off{p.x - m.x, p.y - m.y, p.z - m.z};
                EXPECT_NEAR((off.x * d.x + off.y * d.y + off.z * d.z) / dl, 0.0, 2e-6);
                if (Distance(c.across, {0, 0, 0}) > 0) {
                    EXPECT_NEAR(off.x, 2 * s.radius * c.across.x, 1e-7);
                    EXPECT_NEAR(off.y, 2 * s.radius * c.across.y, 1e-7);
                    EXPECT_NEAR(off.z, 2 * s.radius * c.across.z, 1e-7);
                }
            }
            // The source's normals are not changed by the substitute.
            for (int i = 0; i < source->vertexCount; ++i)
                EXPECT_EQ(Distance(source->vertices[i].normal, {0, 0, 0}), 0.0);
        }
    }
}

// A curved strand's ribbon is the same to the bit whether or not straight
// strands are built beside it, and follows P -/+ w N.
TEST(RibbonBuilder, CurvedStrandsUntouchedByZeroNormalFallback) {
    for (int reduce = 0; reduce < 2; ++reduce) {
        SourceBuilder alone;
        const std::vector<int> curve = Helix(&alone, 11);
        alone.Strand(curve);
        SourceBuilder mixed = alone;
        mixed.points.push_back({5, 0, 0});
        mixed.points.push_back({5, 0, 3});
        mixed.Strand({11, 12});
        MeshPtr a = alone.Make(), m = mixed.Make();
        const HairSettings s = Settings(0.003f, 0.7f, 1, reduce);
        MeshPtr ha = Build(a.get(), s), hm = Build(m.get(), s);
        ASSERT_TRUE(ha && hm);
        ASSERT_EQ(hm->vertexCount, ha->vertexCount + 4);
        for (int v = 0; v < ha->vertexCount; ++v) {
            EXPECT_EQ(std::memcmp(&ha->vertices[v].position, &hm->vertices[v].position, sizeof(Vec3)), 0) << v;
        }
        // The tip sits alone in a two-point slot, so its normal is zero and
        // it gets the substitute; every other point follows its normal.
        ASSERT_EQ(Distance(a->vertices[curve[10]].normal, {0, 0, 0}), 0.0);
        const int step = reduce ? 3 : 1;
        for (int k = 0, v = 0; k < 10; k += step, v += 2) ExpectPair(*a, *ha, curve[k], v, k / 10.0, s);
        const int tip = ha->vertexCount - 2;
        EXPECT_NEAR(Distance(ha->vertices[tip].position, ha->vertices[tip + 1].position),
                    2 * s.radius * (1 - 0.7 * 0.95), 1e-6);
    }
}

TEST(RibbonBuilder, TaperAtTheTip) {
    struct Case {
        float stretch;
        double tipFactor;
    };
    const Case cases[] = {{0, 1.0}, {1, 0.05}, {-1, 1.95}, {0.5f, 0.525}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stretch);
        SourceBuilder b;
        b.Strand(Helix(&b, 9));
        MeshPtr source = b.Make();
        const float radius = HairRadiusForStep(BaseRadius, 14);
        MeshPtr hair = Build(source.get(), Settings(radius, c.stretch, 1, 0));
        ASSERT_TRUE(hair);
        EXPECT_NEAR(Distance(hair->vertices[0].position, hair->vertices[1].position) / 2, radius, 1e-6);
        EXPECT_NEAR(Distance(hair->vertices[16].position, hair->vertices[17].position) / 2, c.tipFactor * radius, 1e-6);
    }
}

// With "Only dynamic" off the polygons are copied in slot order, their
// texture coordinates after the ribbon pairs, strand points they share
// mapped to the minus-side ribbon vertex; attributes lose the strand bits.
TEST(RibbonBuilder, KeptFacesMasksAndNames) {
    SourceBuilder b;
    b.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 2, 1}, {2, 3, 1}};
    b.tex = {{0.1f, 0.2f}, {0.3f, 0.4f}, {0.5f, 0.6f}};
    const FaceAttributes triangle = (3u << 9) | 5u | FaceFront;
    b.Polygon({0, 1, 2}, {2, 1, 0}, triangle);
    b.Strand({2, 3, 4}, (2u << 9) | 7u | 0x80000000u);
    MeshPtr source = b.Make();
    source->groupCount = 4;
    source->materialCount = 8;
    std::strcpy(source->groupNames[3], "scalp");
    std::strcpy(source->materialNames[7], "strands");
    std::strcpy(source->materialNames[8], "beyond the count");
    std::strcpy(source->textureNames[7], "hair.jpg");
    source->materials[7].diffuse[0] = 0.25f;

    MeshPtr hair = Build(source.get(), Settings(0.01f, 0, 0, 0));
    ASSERT_TRUE(hair);
    EXPECT_EQ(hair->vertexCount, 8);  // 1 + 1 + 2 + 2 + 2
    ASSERT_EQ(hair->faceCount, 3);
    const int32_t expected[3][4] = {{0, 1, 2, -1}, {2, 4, 5, 3}, {4, 6, 7, 5}};
    for (int q = 0; q < 3; ++q) {
        for (int c = 0; c < 4; ++c) EXPECT_EQ(hair->faceVertexIndices[4 * q + c], expected[q][c]);
    }
    EXPECT_EQ(hair->faceAttributes[0], (3u << 9) | 5u);
    EXPECT_EQ(hair->faceAttributes[1], (2u << 9) | 7u);
    EXPECT_EQ(hair->faceAttributes[2], (2u << 9) | 7u);
    // Three ribbon pairs, then the triangle's three coordinates.
    ASSERT_EQ(hair->texCoordCount, 9);
    const int32_t* tc = hair->faceTexIndices;
    EXPECT_EQ(tc[3], 0);
    for (int c = 0; c < 3; ++c) {
        EXPECT_GE(tc[c], 6);
        EXPECT_EQ(hair->texCoords[tc[c]].u, b.tex[2 - c].u);
        EXPECT_EQ(hair->texCoords[tc[c]].v, b.tex[2 - c].v);
    }
    EXPECT_EQ(Distance(hair->vertices[0].position, b.points[0]), 0.0);
    EXPECT_EQ(hair->groupCount, 4);
    EXPECT_EQ(hair->materialCount, 8);
    EXPECT_STREQ(hair->groupNames[3], "scalp");
    EXPECT_STREQ(hair->materialNames[7], "strands");
    EXPECT_STREQ(hair->materialNames[8], "");
    EXPECT_STREQ(hair->textureNames[7], "");
    EXPECT_EQ(hair->materials[7].diffuse[0], 1.0f);
}

// Long strands taper from root to tip over their whole length: the point
// count of the first slot sets the step of t.
TEST(RibbonBuilder, LongStrandsTaperOverTheWholeStrand) {
    const struct {
        int points;
        size_t slots;
    } cases[] = {{32, 11}, {33, 11}, {64, 21}, {511, 170}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.points);
        SourceBuilder b;
        // As tall as a 32-point helix, so that float positions keep the
        // widths' precision.
        b.Strand(Helix(&b, c.points, 0, 9.6f / c.points));
        ASSERT_EQ(b.slots.size(), c.slots);
        MeshPtr source = b.Make();
        const HairSettings s = Settings(0.01f, 1, 1, 0);
        MeshPtr hair = Build(source.get(), s);
        ASSERT_TRUE(hair);
        const int n = c.points;
        EXPECT_EQ(hair->vertexCount, 2 * n);
        EXPECT_EQ(hair->faceCount, n - 1);
        EXPECT_EQ(hair->texCoordCount, 2 * n);
        EXPECT_EQ(hair->texCoords[0].v, 0.0f);
        EXPECT_NEAR(hair->texCoords[2 * n - 2].v, 1.0, 1e-4);
        // The tip may stand in a two-point slot (zero normal, substituted), so
        // only its width is checked.
        ExpectPair(*source, *hair, 0, 0, 0.0, s);
        ExpectPair(*source, *hair, n / 2, 2 * (n / 2), (n / 2) / double(n - 1), s);
        EXPECT_NEAR(Distance(hair->vertices[0].position, hair->vertices[1].position), 2 * 0.01, 2e-6);
        EXPECT_NEAR(Distance(hair->vertices[2 * n - 2].position, hair->vertices[2 * n - 1].position), 2 * 0.05 * 0.01,
                    2e-6);
    }
}

// Every allocation of a build may fail: the result is none, nothing leaks,
// and the next attempt succeeds with the same mesh.
TEST(RibbonBuilder, AllocationFailuresComeBackAsNone) {
    SourceBuilder b;
    b.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    b.tex = {{0, 0}};
    b.Polygon({0, 1, 2}, {0, 0, 0});
    for (int i = 0; i < 5; ++i) b.Strand(Helix(&b, 3 + i, 2.0f * i));
    b.Strand({0, 1});  // straight: needs the substitute normals too
    MeshPtr source = b.Make();
    const HairSettings s = Settings(0.01f, 0, 0, 0);
    MeshPtr reference = Build(source.get(), s);
    bool built = false;
    for (long failAt = 1; failAt < 40 && !built; ++failAt) {
        SCOPED_TRACE(failAt);
        const long live = LiveAllocationCount();
        FailAllocationAfter(failAt);
        MeshPtr hair(BuildHairMesh(source.get(), s));
        FailAllocationAfter(0);
        built = hair != nullptr;
        // A build whose pair index could not be had goes on without it.
        if (built) ExpectSameMesh(*hair, *reference);
        hair.reset();
        EXPECT_EQ(LiveAllocationCount(), live);
    }
    EXPECT_TRUE(built);
}

}  // namespace

namespace {

// "Create" builds with the application's current settings.
TEST(RibbonBuilder, CreateUsesCurrentSettings) {
    ResetAppState();
    SourceBuilder b;
    b.Strand(Helix(&b, 7));
    MeshPtr source = b.Make();
    appState.hairControls.hair.reduce = 1;
    appState.hairControls.hair.radius = 0.25f;
    MeshPtr hair(BuildHairMesh(source.get(), appState.hairControls.hair));
    ResetAppState();
    ASSERT_TRUE(hair);
    EXPECT_EQ(hair->faceCount, 2);
    EXPECT_NEAR(Distance(hair->vertices[0].position, hair->vertices[1].position), 0.5, 1e-6);
}

}  // namespace
