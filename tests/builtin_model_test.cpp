#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/embedded.h"
#include "core/memory.h"
#include "core/mesh.h"
#include "formats/builtin_model.h"
#include "support/paths.h"

namespace {

struct MeshDeleter {
    void operator()(Mesh* m) const { FreeMesh(m); }
};
using MeshPtr = std::unique_ptr<Mesh, MeshDeleter>;

uint32_t Word(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 | static_cast<uint8_t>(s[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}
float FloatAt(const std::string& s, size_t at) {
    const uint32_t w = Word(s, at);
    float f;
    std::memcpy(&f, &w, 4);
    return f;
}

// A model resource assembled in memory.
struct ModelBytes {
    std::vector<Vec3> positions;
    std::vector<std::vector<int32_t>> corners;  // four words each, material in corner 0
    std::vector<std::vector<uint32_t>> texWords;
    int32_t materialCount = 0;
    int32_t recordSize = 96;

    std::string Bytes() const {
        std::string out;
        auto put = [&out](uint32_t w) {
            for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>(w >> (8 * k)));
        };
        put(static_cast<uint32_t>(positions.size()));
        put(static_cast<uint32_t>(corners.size()));
        put(static_cast<uint32_t>(materialCount));
        put(static_cast<uint32_t>(recordSize));
        for (const Vec3& p : positions) {
            for (float f : {p.x, p.y, p.z}) {
                uint32_t w;
                std::memcpy(&w, &f, 4);
                put(w);
            }
        }
        for (const auto& c : corners)
            for (int32_t w : c) put(static_cast<uint32_t>(w));
        for (const auto& t : texWords)
            for (uint32_t w : t) put(w);
        for (int m = 0; m < materialCount * 24; ++m) put(0x3F000000u + m);  // 0.5 and up
        return out;
    }
};

ModelBytes OneTriangle() {
    ModelBytes m;
    m.positions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    m.corners = {{0 | (2 << 20), 1, 2, -1}};
    m.texWords = {{0x7FFF0000u, 0x00007FFFu, 0x40004000u, 0xFFFFFFFFu}};
    return m;
}

int Load(Mesh* mesh, const std::string& bytes, int32_t* taken) {
    return LoadModelBytes(mesh, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), taken);
}

struct MaterialRow {
    float ambient[3], diffuse[3], specular[3];
    int32_t exponent;
};
const MaterialRow expectedMaterials[7] = {
    {{0, 0, 0.533333f}, {0.32549f, 0, 0.65098f}, {0.501915f, 0.501915f, 0.501915f}, 10},
    {{0, 0.258824f, 0}, {0, 0.458824f, 0}, {0.247059f, 0.247059f, 0.247059f}, 10},
    {{0, 0, 0}, {0.501961f, 0.501961f, 1}, {0.50193f, 0.50193f, 0.50193f}, 8},
    {{0, 0, 0}, {0.352926f, 0.266667f, 0.0862593f}, {0.6f, 0.6f, 0.6f}, 8},
    {{0, 0, 0}, {0.309804f, 0.309804f, 0.309804f}, {0.752941f, 0.752941f, 0.752941f}, 10},
    {{0.4f, 0.129412f, 0}, {1, 1, 1}, {0.501961f, 0.501961f, 0.501961f}, 10},
    {{0, 0, 0}, {0.309804f, 0.309804f, 0.309804f}, {0.752941f, 0.752941f, 0.752941f}, 10},
};
const float boundsMin[3] = {-0.451495f, 0.0f, -0.162785f};
const float boundsMax[3] = {0.451495f, 0.62766f, 0.162785f};

void ExpectMaterial(const Material& m, const MaterialRow& row) {
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(m.ambient[k], row.ambient[k]);
        EXPECT_EQ(m.diffuse[k], row.diffuse[k]);
        EXPECT_EQ(m.specular[k], row.specular[k]);
        EXPECT_EQ(m.reserved0[k], 0.0f);
    }
    EXPECT_EQ(m.ambientLevel, 1.0f);
    EXPECT_EQ(m.diffuseLevel, 1.0f);
    EXPECT_EQ(m.specularLevel, 1.0f);
    EXPECT_EQ(m.diffuseExponent, 1);
    EXPECT_EQ(m.specularExponent, row.exponent);
    EXPECT_EQ(m.materialFlags, 0);
    EXPECT_EQ(m.transparency, 0);
    for (int32_t r : m.reserved1) EXPECT_EQ(r, 0);
    EXPECT_EQ(m.reserved2, 0);
}

// The committed resource against the layout the loader and the preview rely on.
TEST(BuiltinModel, CommittedResourceHasTheLayout) {
    const std::string bytes = ReadWholeFile(SourcePath("resources/model.bin"));
    ASSERT_EQ(bytes.size(), 14648u);
    const int32_t v = static_cast<int32_t>(Word(bytes, 0)), f = static_cast<int32_t>(Word(bytes, 4));
    EXPECT_EQ(v, 286);
    EXPECT_EQ(f, 329);
    EXPECT_EQ(Word(bytes, 8), 7u);
    EXPECT_EQ(Word(bytes, 12), 96u);
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (int i = 0; i < v; ++i) {
        for (int k = 0; k < 3; ++k) {
            const float c = FloatAt(bytes, 16 + 12 * i + 4 * k);
            lo[k] = std::fmin(lo[k], c);
            hi[k] = std::fmax(hi[k], c);
        }
    }
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(lo[k], boundsMin[k]) << k;
        EXPECT_EQ(hi[k], boundsMax[k]) << k;
    }
    int quads = 0, triangles = 0;
    std::vector<int> used(v, 0);
    for (int i = 0; i < f; ++i) {
        const size_t at = 16 + 12 * static_cast<size_t>(v) + 16 * static_cast<size_t>(i);
        const uint32_t c0 = Word(bytes, at);
        EXPECT_LE((c0 >> 20) & 0x1FF, 6u) << i;
        EXPECT_EQ(c0 >> 29, 0u) << i;
        const int32_t c[4] = {static_cast<int32_t>(c0 & 0xFFFFF), static_cast<int32_t>(Word(bytes, at + 4)),
                              static_cast<int32_t>(Word(bytes, at + 8)), static_cast<int32_t>(Word(bytes, at + 12))};
        for (int k = 0; k < 3; ++k) ASSERT_TRUE(c[k] >= 0 && c[k] < v) << i;
        ASSERT_TRUE(c[3] == -1 || (c[3] >= 0 && c[3] < v)) << i;
        (c[3] == -1 ? triangles : quads)++;
        for (int k = 0; k < 4; ++k) {
            if (c[k] < 0) continue;
            used[c[k]] = 1;
            const uint32_t w = Word(bytes, at + 16 * static_cast<size_t>(f) + 4 * k);
            EXPECT_LE(w >> 16, 32767u);
            EXPECT_LE(w & 0xFFFF, 32767u);
        }
    }
    EXPECT_EQ(quads, 243);
    EXPECT_EQ(triangles, 86);
    for (int i = 0; i < v; ++i) EXPECT_TRUE(used[i]) << "vertex " << i << " is in no face";
    const size_t records = 16 + 12 * static_cast<size_t>(v) + 32 * static_cast<size_t>(f);
    for (int m = 0; m < 7; ++m) {
        SCOPED_TRACE(m);
        Material material;
        std::memcpy(&material, bytes.data() + records + 96 * m, 96);
        ExpectMaterial(material, expectedMaterials[m]);
    }
}

TEST(BuiltinModel, EmbeddedBytesAreTheCommittedResource) {
    const unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(LookupEmbeddedBytes("model", &data, &size));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), ReadWholeFile(SourcePath("resources/model.bin")));
}

TEST(BuiltinModel, LoadGivesTheStartupStatistics) {
    MeshPtr mesh(CreateMesh("computer"));
    int32_t taken = -1;
    ASSERT_EQ(LoadBuiltinModel(mesh.get(), &taken), 1);
    EXPECT_EQ(taken, 1);
    EXPECT_EQ(mesh->vertexCount, 286);
    EXPECT_EQ(mesh->texCoordCount, 286);
    EXPECT_EQ(mesh->faceCount, 329);
    EXPECT_EQ(mesh->polygonCount, 329);
    EXPECT_EQ(mesh->lineCount, 0);
    EXPECT_EQ(mesh->groupCount, 1);
    EXPECT_EQ(mesh->materialCount, 7);
    EXPECT_STREQ(mesh->name, "computer");
    EXPECT_STREQ(mesh->groupNames[0], "default");
    for (int m = 0; m < 7; ++m) {
        SCOPED_TRACE(m);
        EXPECT_EQ(std::string(mesh->materialNames[m]), "mat" + std::to_string(m + 1));
        ExpectMaterial(mesh->materials[m], expectedMaterials[m]);
    }
    EXPECT_GE(mesh->vertexCapacity, 286 + 256);
    EXPECT_GE(mesh->faceCapacity, 329 + 256);
    const float* lo = &mesh->boundsMin.x;
    const float* hi = &mesh->boundsMax.x;
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(lo[k], boundsMin[k]);
        EXPECT_EQ(hi[k], boundsMax[k]);
    }
    for (int i = 0; i < mesh->faceCount; ++i) {
        EXPECT_LE(mesh->faceAttributes[i], 6u);
        for (int c = 0; c < 4; ++c) {
            const int32_t vi = mesh->faceVertexIndices[4 * i + c];
            EXPECT_EQ(mesh->faceTexIndices[4 * i + c], vi < 0 ? 0 : vi);
        }
    }
    // Every vertex sits on a face, so every normal is a unit vector.
    for (int i = 0; i < mesh->vertexCount; ++i) {
        const Vec3 n = mesh->vertices[i].normal;
        EXPECT_NEAR(n.x * n.x + n.y * n.y + n.z * n.z, 1.0f, 1e-4f) << i;
    }
}

TEST(BuiltinModel, MaterialRecordsAreTakenOnlyWhenUsable) {
    const struct {
        int32_t count, recordSize, wantCount, wantTaken;
    } cases[] = {{2, 96, 2, 1}, {2, 95, 0, 0}, {0, 96, 0, 0}, {-3, 96, 0, 0}, {2, 0, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count * 1000 + c.recordSize);
        ModelBytes m = OneTriangle();
        m.materialCount = c.count;
        m.recordSize = c.recordSize;
        std::string bytes = m.Bytes();
        MeshPtr mesh(CreateMesh("t"));
        int32_t taken = -1;
        ASSERT_EQ(Load(mesh.get(), bytes, &taken), 1);
        EXPECT_EQ(taken, c.wantTaken);
        EXPECT_EQ(mesh->materialCount, c.wantCount);
        EXPECT_STREQ(mesh->materialNames[0], c.wantTaken ? "mat1" : "Preview");
        EXPECT_EQ(mesh->faceAttributes[0], 2u);
        if (c.wantTaken) {
            EXPECT_STREQ(mesh->materialNames[1], "mat2");
            EXPECT_EQ(mesh->materials[1].ambient[0], 0.5f + 24 * 0x1p-24f);
        } else {
            EXPECT_EQ(mesh->materials[0].diffuse[0], DefaultMaterial().diffuse[0]);
        }
    }
}

TEST(BuiltinModel, TextureWordsUnpackAndTheLastCornerWins) {
    const float s = 1.0f / 32767.0f;
    uint32_t bits;
    std::memcpy(&bits, &s, 4);
    EXPECT_EQ(bits, 0x38000100u);

    ModelBytes m = OneTriangle();
    m.positions.push_back({1, 1, 0});
    m.corners.push_back({1, 3, 2, -1});
    m.texWords.push_back({0x11112222u, 0x7FFF7FFFu, 0x00010002u, 0x12345678u});
    MeshPtr mesh(CreateMesh("t"));
    int32_t taken = 0;
    ASSERT_EQ(Load(mesh.get(), m.Bytes(), &taken), 1);
    const struct {
        int vertex;
        float u, v;
    } want[] = {
        {0, 32767 * s, 0.0f},
        {1, 0x1111 * s, 0x2222 * s},  // named again by the second face
        {2, 1 * s, 2 * s},            // likewise
        {3, 1.0f, 1.0f},
    };
    for (const auto& w : want) {
        EXPECT_EQ(mesh->texCoords[w.vertex].u, w.u) << w.vertex;
        EXPECT_EQ(mesh->texCoords[w.vertex].v, w.v) << w.vertex;
    }
    EXPECT_EQ(mesh->faceTexIndices[3], 0);  // the unused corner
    EXPECT_EQ(mesh->faceVertexIndices[3], -1);
}

TEST(BuiltinModel, MalformedResourcesFailWithoutLeaks) {
    struct Case {
        const char* what;
        ModelBytes bytes;
    };
    std::vector<Case> cases;
    auto add = [&cases](const char* what, auto change) {
        ModelBytes m = OneTriangle();
        change(m);
        cases.push_back({what, m});
    };
    add("corner past the vertices", [](ModelBytes& m) { m.corners[0][2] = 3; });
    add("corner 0 past the vertices", [](ModelBytes& m) { m.corners[0][0] = 7 | (1 << 20); });
    add("negative corner", [](ModelBytes& m) { m.corners[0][3] = -2; });
    add("fewer than three corners", [](ModelBytes& m) { m.corners[0][2] = -1; });
    add("more records announced than present", [](ModelBytes& m) { m.materialCount = 3; });
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = c.bytes.Bytes();
        if (c.bytes.materialCount == 3) bytes.resize(bytes.size() - 96);
        const long live = LiveAllocationCount();
        Mesh* mesh = CreateMesh("t");
        int32_t taken = 5;
        EXPECT_EQ(Load(mesh, bytes, &taken), 0);
        EXPECT_EQ(taken, 0);
        FreeMesh(mesh);
        EXPECT_EQ(LiveAllocationCount(), live);
    }
    // Counts that would reach outside the bytes or overflow a size.
    const int32_t headers[][2] = {{-1, 1}, {1, -1}, {0x7FFFFFFF, 1}, {3, 0x7FFFFFFF}, {0x100000, 0}};
    for (const auto& h : headers) {
        ModelBytes m = OneTriangle();
        std::string bytes = m.Bytes();
        for (int k = 0; k < 2; ++k) {
            for (int b = 0; b < 4; ++b) bytes[4 * k + b] = static_cast<char>(static_cast<uint32_t>(h[k]) >> (8 * b));
        }
        MeshPtr mesh(CreateMesh("t"));
        int32_t taken = 0;
        EXPECT_EQ(Load(mesh.get(), bytes, &taken), 0) << h[0] << " " << h[1];
    }
}

// Every shorter prefix of the real resource is refused cleanly.
TEST(BuiltinModel, TruncatedResourceFails) {
    const std::string bytes = ReadWholeFile(SourcePath("resources/model.bin"));
    ASSERT_FALSE(bytes.empty());
    const long live = LiveAllocationCount();
    for (size_t n = 0; n < bytes.size(); n += (n < 64 ? 1 : 97)) {
        Mesh* mesh = CreateMesh("t");
        int32_t taken = 0;
        ASSERT_EQ(LoadModelBytes(mesh, reinterpret_cast<const unsigned char*>(bytes.data()), n, &taken), 0) << n;
        FreeMesh(mesh);
    }
    EXPECT_EQ(LiveAllocationCount(), live);
}

TEST(BuiltinModel, AllocationFailuresComeBackAsFailures) {
    const long live = LiveAllocationCount();
    bool succeeded = false;
    for (long n = 1; n <= 12 && !succeeded; ++n) {
        SCOPED_TRACE(n);
        Mesh* mesh = CreateMesh("computer");
        ASSERT_NE(mesh, nullptr);
        int32_t taken = 0;
        FailAllocationAfter(n);
        const int result = LoadBuiltinModel(mesh, &taken);
        FailAllocationAfter(0);
        succeeded = result == 1;
        if (!succeeded) {
            EXPECT_EQ(taken, 0);
        }
        FreeMesh(mesh);
        EXPECT_EQ(LiveAllocationCount(), live);
    }
    EXPECT_TRUE(succeeded);
}

#if defined(__unix__)
// The committed bytes are what the generator in tools/ writes.
TEST(BuiltinModel, GeneratorReproducesTheResource) {
    if (std::system("python3 -c 'import sys' >/dev/null 2>&1") != 0) {
        if (RunningInCi()) FAIL() << "python3 is required in CI";
        GTEST_SKIP() << "python3 is not installed";
    }
    const std::string out = TempDir("model-gen") + "/model.bin";
    const std::string command = "python3 '" + SourcePath("tools/make_model.py") + "' '" + out + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(ReadWholeFile(out) == ReadWholeFile(SourcePath("resources/model.bin")));
}
#endif

}  // namespace
