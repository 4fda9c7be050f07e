// Real files from outside the project: every OBJ file of the corpus that
// loads survives export and a second load, and assimp reads what we wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/face_slots.h"
#include "formats/obj_reader.h"
#include "formats/obj_writer.h"
#include "support/mesh_helpers.h"
#include "support/paths.h"
#include "support/platform_fake.h"

namespace {

std::vector<std::string> CorpusObjFiles() {
    std::vector<std::string> files;
    const std::string root = CorpusPath("obj");
    if (root.empty()) return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (entry.is_regular_file() && ext == ".obj") files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// What a value reads back as after being printed with `format`.
float Printed(const char* format, float value) {
    char text[128];
    std::snprintf(text, sizeof text, format, static_cast<double>(value));
    return std::strtof(text, nullptr);
}

// One text per face slot, independent of the slot order: corners, texture
// indices, line flag and point count, group and material names.
std::vector<std::string> SlotSignatures(const Mesh& mesh) {
    std::vector<std::string> all;
    for (int s = 0; s < mesh.faceCount; ++s) {
        std::string text;
        for (int c = 0; c < 4; ++c) {
            text += std::to_string(mesh.faceVertexIndices[4 * s + c]) + "/" +
                    std::to_string(mesh.faceTexIndices[4 * s + c]) + " ";
        }
        const FaceAttributes a = mesh.faceAttributes[s];
        text += std::to_string(a & ~FaceCopyMask) + " g=" + mesh.groupNames[FaceGroupIndex(a)] +
                " m=" + mesh.materialNames[FaceMaterialIndex(a)];
        all.push_back(text);
    }
    std::sort(all.begin(), all.end());
    return all;
}

int CountSlots(const Mesh& mesh, bool lines) {
    int n = 0;
    for (int s = 0; s < mesh.faceCount; ++s) n += ((mesh.faceAttributes[s] & FaceLine) != 0) == lines;
    return n;
}

void CompareRoundTrip(const Mesh& a, const Mesh& b) {
    ASSERT_EQ(b.vertexCount, a.vertexCount);
    ASSERT_EQ(b.texCoordCount, a.texCoordCount);
    ASSERT_EQ(b.faceCount, a.faceCount);
    EXPECT_EQ(b.lineCount, a.lineCount);
    EXPECT_EQ(b.polygonCount, CountSlots(a, false));
    int wrongPositions = 0, wrongTex = 0;
    for (int i = 0; i < a.vertexCount; ++i) {
        const Vec3 &p = a.vertices[i].position, &q = b.vertices[i].position;
        wrongPositions +=
            q.x != Printed("%10.8f", p.x) || q.y != Printed("%10.8f", p.y) || q.z != Printed("%10.8f", p.z);
    }
    for (int i = 0; i < a.texCoordCount; ++i) {
        wrongTex += b.texCoords[i].u != Printed("%8.6f", a.texCoords[i].u) ||
                    b.texCoords[i].v != Printed("%8.6f", a.texCoords[i].v);
    }
    EXPECT_EQ(wrongPositions, 0);
    EXPECT_EQ(wrongTex, 0);
    EXPECT_EQ(SlotSignatures(b), SlotSignatures(a));
    // The export names materials in group order, so the second table may
    // list them in another order: match them by name.
    for (int m = 0; m < b.materialCount; ++m) {
        int original = 0;
        while (original < a.materialCount && std::string(a.materialNames[original]) != b.materialNames[m]) {
            ++original;
        }
        ASSERT_LT(original, a.materialCount) << b.materialNames[m];
        const Material &x = a.materials[original], &y = b.materials[m];
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(y.ambient[k], Printed("%f", x.ambient[k]));
            EXPECT_EQ(y.diffuse[k], Printed("%f", x.diffuse[k]));
            EXPECT_EQ(y.specular[k], Printed("%f", x.specular[k]));
        }
        EXPECT_EQ(y.specularExponent, x.specularExponent);
        EXPECT_STREQ(b.textureNames[m], a.textureNames[original]);
    }
}

struct Exported {
    std::string source;
    std::string path;
    TestMeshPtr mesh;  // as loaded from the source
};

// Loads every corpus file and exports those that load; returns the names
// (below the corpus folder) of those that did not load.
std::vector<std::string> ExportCorpus(const std::string& dirName, std::vector<Exported>* out) {
    const std::string dir = TempDir(dirName);
    const std::string root = CorpusPath("obj") + "/";
    std::vector<std::string> refused;
    int index = 0;
    for (const std::string& file : CorpusObjFiles()) {
        ResetFake();
        TestMeshPtr mesh(CreateMesh("prop"));
        if (!LoadObjFile(mesh.get(), file.c_str())) {
            std::string name = file.substr(root.size());
            for (char& c : name) {
                if (c == '\\') c = '/';  // the Windows build lists folders with '\\'
            }
            refused.push_back(name);
            EXPECT_EQ(Fake().messages.size(), 1u) << file;
            continue;
        }
        const std::string path = dir + "/m" + std::to_string(index++) + ".obj";
        EXPECT_EQ(
            WriteObjFile(OwnerMainWindow, mesh.get(), path.c_str(), ("m" + std::to_string(index - 1) + ".mtl").c_str()),
            1);
        EXPECT_EQ(WriteMtlFile(mesh.get(), path.c_str()), 1);
        out->push_back(Exported{file, path, std::move(mesh)});
    }
    return refused;
}

TEST(ObjCorpus, RoundTrip) {
    REQUIRE_CORPUS(CorpusPath("obj"));
    std::vector<Exported> exported;
    const std::vector<std::string> refused = ExportCorpus(TestDirName("obj-roundtrip"), &exported);
    // Files with nothing this program keeps: no face or line with at most
    // 511 valid index groups (points only, broken indices, UTF-16 text, an
    // empty file).
    const std::vector<std::string> expectedRefused = {
        "assimp-testmodels/OBJ/box_UTF16BE.obj",
        "assimp-testmodels/OBJ/point_cloud.obj",
        "assimp-testmodels/OBJ/testpoints.obj",
        "assimp-testmodels/invalid/empty.obj",
        "tinyobjloader/models/invalid-face-definition.obj",
        "tinyobjloader/models/invalid-relative-texture-index.obj",
        "tinyobjloader/models/invalid-relative-vertex-index.obj",
        "tinyobjloader/models/issue-356-leading-spaces-newmtl.obj",
        "tinyobjloader/models/points-prim.obj",
    };
    EXPECT_EQ(refused, expectedRefused);
    EXPECT_GE(exported.size(), 70u);
    for (const Exported& e : exported) {
        SCOPED_TRACE(e.source);
        TestMeshPtr again(CreateMesh("prop"));
        ASSERT_EQ(LoadObjFile(again.get(), e.path.c_str()), 1);
        CompareRoundTrip(*e.mesh, *again);
    }
}

// Strands of every length up to 511 points are written as one statement
// each and read back with the same points and point counts.
TEST(ObjRoundTrip, LongStrands) {
    std::string text;
    int first = 1;
    std::string strands;
    for (int n : {511, 2, 64, 33, 32}) {
        strands += "l";
        for (int k = 0; k < n; ++k) {
            text += "v " + std::to_string(0.001 * (first + k)) + " " + std::to_string(k) + " -0.5\n";
            strands += " " + std::to_string(first + k) + "/" + std::to_string(k % 4 + 1) + "/1";
        }
        strands += "\n";
        first += n;
    }
    text += "vt 0 0\nvt 0.25 1\nvt 0.5 0\nvt 1 1\nvn 0 1 0\n" + strands;
    ASSERT_GT(strands.find('\n'), 2048u);  // the long strand needs the long argument
    TestMeshPtr mesh;
    ASSERT_EQ(LoadObjText(text, &mesh), 1);
    ASSERT_EQ(mesh->lineCount, 5);
    const std::string path = TempDir(TestDirName()) + "/long.obj";
    ASSERT_EQ(WriteObjFile(OwnerMainWindow, mesh.get(), path.c_str(), "long.mtl"), 1);
    const std::string written = ReadWholeFile(path);
    size_t statements = 0;
    for (size_t at = written.find("\nl "); at != std::string::npos; at = written.find("\nl ", at + 1)) ++statements;
    EXPECT_EQ(statements, 5u);
    TestMeshPtr again(CreateMesh("prop"));
    ASSERT_EQ(LoadObjFile(again.get(), path.c_str()), 1);
    CompareRoundTrip(*mesh, *again);
}

#if !defined(_WIN32)
// Runs `command` and returns its standard output.
std::string Capture(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
    return text;
}

long Field(const std::string& text, const std::string& key) {
    const size_t at = text.find("\n" + key);
    if (at == std::string::npos) return -1;
    return std::strtol(text.c_str() + at + key.size() + 1, nullptr, 10);
}
#endif

// assimp reads lines as their segments and does not join corners in a raw
// import, so it must see one face per polygon slot and per strand segment.
TEST(ObjCorpus, ExportsLoadInAssimp) {
    REQUIRE_CORPUS(CorpusPath("obj"));
#if defined(_WIN32)
    GTEST_SKIP() << "assimp is checked on the native build";
#else
    if (std::system("command -v assimp >/dev/null 2>&1") != 0) {
        if (RunningInCi()) FAIL() << "assimp (assimp-utils) missing in CI";
        GTEST_SKIP() << "assimp (Debian assimp-utils) is not installed";
    }
    std::vector<Exported> exported;
    ExportCorpus(TestDirName("obj-assimp"), &exported);
    ASSERT_FALSE(exported.empty());
    for (const Exported& e : exported) {
        SCOPED_TRACE(e.source);
        const Mesh& mesh = *e.mesh;
        long faces = 0, corners = 0;
        for (int s = 0; s < mesh.faceCount; ++s) {
            if (mesh.faceAttributes[s] & FaceLine) {
                if (IsStrandContinuation(mesh, s)) continue;
                int32_t v[64], t[64];
                const int points = GatherStrandPoints(mesh, s, v, t, 64);
                faces += points - 1;
                corners += 2 * (points - 1);
            } else {
                faces += 1;
                corners += SlotCornerCount(mesh, s);
            }
        }
        const std::string report =
            Capture("cd '" + TempDir(TestDirName("cwd")) + "' && assimp info '" + e.path + "' -r 2>/dev/null");
        EXPECT_EQ(Field(report, "Faces:"), faces);
        EXPECT_EQ(Field(report, "Vertices:"), corners);
    }
#endif
}

}  // namespace
