#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include "app/app_state.h"
#include "core/memory.h"
#include "formats/face_slots.h"
#include "formats/obj_reader.h"
#include "formats/obj_writer.h"
#include "support/mesh_helpers.h"
#include "support/paths.h"
#include "support/platform_fake.h"

namespace {

// Builds a mesh slot by slot; indices are 1-based as in a file.
struct MeshBuilder {
    TestMeshPtr mesh;

    MeshBuilder(const std::vector<Vec3>& points, int texCoords) : mesh(CreateMesh("built")) {
        EXPECT_TRUE(GrowVertices(mesh.get(), static_cast<int>(points.size())));
        EXPECT_TRUE(GrowTexCoords(mesh.get(), texCoords + 1));
        EXPECT_TRUE(GrowFaces(mesh.get(), 256));
        for (size_t i = 0; i < points.size(); ++i) {
            std::memset(static_cast<void*>(&mesh->vertices[i]), 0, sizeof(MeshVertex));
            mesh->vertices[i].position = points[i];
        }
        for (int i = 0; i < texCoords; ++i) {
            mesh->texCoords[i] = TexCoord{0.125f * static_cast<float>(i), 1.0f - 0.25f * static_cast<float>(i)};
        }
        mesh->vertexCount = static_cast<int>(points.size());
        mesh->texCoordCount = texCoords;
    }

    static FaceAttributes Attributes(int group, int material) {
        return (static_cast<uint32_t>(group) << FaceGroupShift) | static_cast<uint32_t>(material);
    }

    void Polygon(std::vector<int32_t> v, int group = 0, int material = 0) {
        const std::vector<int32_t> t = TexFor(v);
        StorePolygonSlots(mesh.get(), mesh->faceCount, v.data(), t.data(), static_cast<int>(v.size()),
                          Attributes(group, material), 0, 0);
        mesh->faceCount += PolygonSlotCount(static_cast<int>(v.size()));
        ++mesh->polygonCount;
    }

    void Strand(std::vector<int32_t> v, int group = 0, int material = 0) {
        const std::vector<int32_t> t = TexFor(v);
        StoreStrandSlots(mesh.get(), mesh->faceCount, v.data(), t.data(), static_cast<int>(v.size()),
                         Attributes(group, material), 0, 0);
        mesh->faceCount += StrandSlotCount(static_cast<int>(v.size()));
        ++mesh->lineCount;
    }

    // Texture index i for vertex i, the first coordinate past the end.
    std::vector<int32_t> TexFor(const std::vector<int32_t>& v) const {
        std::vector<int32_t> t;
        for (int32_t i : v) t.push_back(i <= mesh->texCoordCount ? i : 1);
        return t;
    }

    void Names(std::vector<const char*> groups, std::vector<const char*> materials) {
        mesh->groupCount = static_cast<int>(groups.size());
        for (size_t i = 0; i < groups.size(); ++i) CopyName(mesh->groupNames[i], groups[i], MeshNameSize);
        mesh->materialCount = static_cast<int>(materials.size());
        for (size_t i = 0; i < materials.size(); ++i) {
            CopyName(mesh->materialNames[i], materials[i], MeshNameSize);
        }
    }
};

const char* const noGroupsHeader =
    "#vertices  4\r\n#tvertices 0\r\n#faces     2\r\n#groups    0\r\n#materials 0\r\n"
    "v 0.00000000 1.50000000 -0.25000000 \r\n"
    "v 1.00000000 0.00000000 0.00000000 \r\n"
    "v 0.00000000 0.00000000 1.00000000 \r\n"
    "v 123.45678711 -0.00000001 1000000.00000000 \r\n";

std::vector<Vec3> FourPoints() { return {{0, 1.5f, -0.25f}, {1, 0, 0}, {0, 0, 1}, {123.456787f, -1e-8f, 1e6f}}; }

std::string WriteToTemp(const Mesh& mesh, const std::string& dirName, const std::string& name = "out.obj") {
    const std::string path = TempDir(TestDirName(dirName)) + "/" + name;
    EXPECT_EQ(WriteObjFile(OwnerMainWindow, &mesh, path.c_str(), "out.mtl"), 1);
    EXPECT_EQ(WriteMtlFile(&mesh, path.c_str()), 1);
    return path;
}

std::string MtlBeside(const std::string& objPath) { return objPath.substr(0, objPath.size() - 4) + ".mtl"; }

TEST(ObjWriter, NoGroupsNoMaterialsNoTextureCoordinates) {
    ResetFake();
    MeshBuilder b(FourPoints(), 0);
    b.Polygon({1, 2, 3});
    b.Polygon({1, 2, 3, 4});
    const std::string path = WriteToTemp(*b.mesh, "obj-golden-plain");
    EXPECT_EQ(ReadWholeFile(path), std::string(noGroupsHeader) + "f 1 2 3\r\nf 1 2 3 4\r\n");
    EXPECT_FALSE(FileExists(MtlBeside(path)));
    EXPECT_TRUE(Fake().messages.empty());
}

TEST(ObjWriter, GroupsAndMaterialsInOrder) {
    MeshBuilder b(FourPoints(), 2);
    b.Names({"g0", "g1", "g2"}, {"m0", "m1"});
    b.Polygon({1, 2, 3}, 1, 1);
    b.Polygon({2, 3, 4}, 0, 0);
    b.Polygon({3, 4, 1}, 0, 1);
    b.Polygon({4, 3, 2, 1}, 1, 1);
    b.Polygon({1, 2, 4}, 2, 7);  // a material past the table: not written, but its group line is
    b.Polygon({1, 3, 4}, 5, 0);  // a group past the table: not written
    b.mesh->materials[0].diffuse[0] = 0.8f;
    b.mesh->materials[0].diffuse[1] = 0.6f;
    b.mesh->materials[0].diffuse[2] = 0.4f;
    b.mesh->materials[1].specularExponent = -3;
    b.mesh->materials[1].ambient[2] = 0.25f;
    CopyName(b.mesh->textureNames[0], "skin.jpg", MeshNameSize);
    const std::string path = WriteToTemp(*b.mesh, "obj-golden-groups");
    // Group 1 starts with the material named last, so it gets no usemtl.
    EXPECT_EQ(ReadWholeFile(path),
              "#vertices  4\r\n#tvertices 2\r\n#faces     6\r\n#groups    3\r\n#materials 2\r\n"
              "v 0.00000000 1.50000000 -0.25000000 \r\n"
              "v 1.00000000 0.00000000 0.00000000 \r\n"
              "v 0.00000000 0.00000000 1.00000000 \r\n"
              "v 123.45678711 -0.00000001 1000000.00000000 \r\n"
              "vt 0.000000 1.000000 \r\nvt 0.125000 0.750000 \r\n"
              "mtllib out.mtl\r\n"
              "g g0\r\nusemtl m0\r\nf 2/2 3/1 4/1\r\nusemtl m1\r\nf 3/1 4/1 1/1\r\n"
              "g g1\r\nf 1/1 2/2 3/1\r\nf 4/1 3/1 2/2 1/1\r\n"
              "g g2\r\n");
    EXPECT_EQ(ReadWholeFile(MtlBeside(path)),
              "newmtl m0\r\nNs 10\r\nKa 0.000000 0.000000 0.000000\r\nKd 0.800000 0.600000 0.400000\r\n"
              "Ks 0.500000 0.500000 0.500000\r\nmap_Kd skin.jpg\r\n"
              "newmtl m1\r\nNs -3\r\nKa 0.000000 0.000000 0.250000\r\nKd 1.000000 1.000000 1.000000\r\n"
              "Ks 0.500000 0.500000 0.500000\r\n");
}

// Each strand is one statement with all its points; the header still counts
// slots.
TEST(ObjWriter, StrandsAreWrittenWhole) {
    std::vector<Vec3> points;
    for (int i = 0; i < 32; ++i) points.push_back(Vec3{static_cast<float>(i), 0, 0});
    MeshBuilder b(points, 3);
    b.Strand({1, 2, 3, 4, 5, 6, 7});
    b.Strand({8, 9});
    b.Polygon({1, 2, 3});
    std::vector<int32_t> all;
    for (int i = 1; i <= 32; ++i) all.push_back(i);
    b.Strand(all);
    // A lone slot without a point count (as older files store them).
    int32_t v[2] = {3, 1}, t[2] = {3, 1};
    StoreStrandSlots(b.mesh.get(), b.mesh->faceCount, v, t, 2, 0, 0, 0);
    b.mesh->faceAttributes[b.mesh->faceCount] &= ~(FaceStrandCountMask << FaceStrandCountShift);
    ++b.mesh->faceCount;
    const std::string text = ReadWholeFile(WriteToTemp(*b.mesh, "obj-golden-strands"));
    std::string longStrand = "l 1/1 2/2 3/3";
    for (int i = 4; i <= 32; ++i) longStrand += " " + std::to_string(i) + "/1";
    const std::string faces =
        "l 1/1 2/2 3/3 4/1 5/1 6/1 7/1\r\nl 8/1 9/1\r\nf 1/1 2/2 3/3\r\n" + longStrand + "\r\nl 3/3 1/1\r\n";
    EXPECT_NE(text.find("#faces     16\r\n"), std::string::npos);
    ASSERT_GE(text.size(), faces.size());
    EXPECT_EQ(text.substr(text.size() - faces.size()), faces);
}

TEST(ObjWriter, LibraryAndProposedNames) {
    struct Case {
        const char* in;
        const char* proposed;
        const char* library;
    };
    // clang-format off
    const Case cases[] = {
        {"hair.hr2", "hair.obj", "hair.mtl"},   {"computer", "computer.obj", "computer.mtl"},
        {"a.b.obj", "a.b.obj", "a.b.mtl"},      {".hidden", ".hidden.obj", ".hidden.mtl"},
        {"x.mtl", "x.obj", "x.mtl.mtl"},        {"X.MtL", "X.obj", "X.MtL.mtl"},
        {"x.mtlx", "x.obj", "x.mtl"},           {"", ".obj", ".mtl"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.in);
        char out[64];
        ProposedObjName(c.in, out, sizeof out);
        EXPECT_STREQ(out, c.proposed);
        MaterialLibraryName(c.in, out, sizeof out);
        EXPECT_STREQ(out, c.library);
    }
}

TEST(ObjWriter, SaveDialogAndNames) {
    ResetFake();
    MeshBuilder b(FourPoints(), 0);
    b.Names({}, {"skin"});
    b.Polygon({1, 2, 3});
    const std::string dir = TempDir(TestDirName("obj-save"));
    char name[MeshFileNameSize] = "hair.hr2";
    Fake().dialogAnswers = {dir + "/hair.obj", "", dir + "/x.mtl"};
    ASSERT_EQ(SaveObjFile(OwnerMainWindow, b.mesh.get(), name, sizeof name), 1);
    ASSERT_EQ(Fake().dialogs.size(), 1u);
    const FakeDialog& d = Fake().dialogs[0];
    EXPECT_TRUE(d.save);
    EXPECT_EQ(d.proposedName, "hair.obj");
    EXPECT_EQ(d.filterDescription, "wavefront obj files");
    EXPECT_EQ(d.filterPattern, "*.obj");
    EXPECT_EQ(d.title, "save mesh");
    EXPECT_EQ(d.defaultExtension, "obj");
    EXPECT_EQ(d.request.overwritePrompt, 1);
    EXPECT_EQ(d.owner, OwnerMainWindow);
    EXPECT_STREQ(name, "hair.obj");
    EXPECT_NE(ReadWholeFile(dir + "/hair.obj").find("mtllib hair.mtl\r\n"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(dir + "/hair.mtl").substr(0, 13), "newmtl skin\r\n");

    // Cancel: nothing written, nothing said, the name kept.
    ASSERT_EQ(SaveObjFile(OwnerMainWindow, b.mesh.get(), name, sizeof name), 0);
    EXPECT_EQ(Fake().dialogs.back().proposedName, "hair.obj");
    EXPECT_STREQ(name, "hair.obj");

    // Saving as x.mtl must not let the library replace the OBJ file.
    ASSERT_EQ(SaveObjFile(OwnerMainWindow, b.mesh.get(), name, sizeof name), 1);
    EXPECT_EQ(ReadWholeFile(dir + "/x.mtl").substr(0, 12), "#vertices  4");
    EXPECT_NE(ReadWholeFile(dir + "/x.mtl").find("mtllib x.mtl.mtl\r\n"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(dir + "/x.mtl.mtl").substr(0, 13), "newmtl skin\r\n");
    EXPECT_TRUE(Fake().messages.empty());
}

TEST(ObjWriter, CreateFailuresAreReported) {
    ResetFake();
    MeshBuilder b(FourPoints(), 0);
    b.Names({}, {"skin"});
    b.Polygon({1, 2, 3});
    const std::string dir = TempDir(TestDirName("obj-create-fail"));
    char name[MeshFileNameSize] = "a.obj";
    const std::string missingFolder = dir + "/no/such/folder/a.obj";
    Fake().dialogAnswers = {missingFolder};
    EXPECT_EQ(SaveObjFile(OwnerToolBar, b.mesh.get(), name, sizeof name), 0);
    ASSERT_EQ(Fake().messages.size(), 1u);
    EXPECT_EQ(Fake().messages[0].text, missingFolder);
    EXPECT_EQ(Fake().messages[0].caption, "Error cannot create");
    EXPECT_EQ(Fake().messages[0].style, MessageIconError);
    EXPECT_EQ(Fake().messages[0].owner, OwnerToolBar);

    // A library that cannot be created is reported; the OBJ file stays saved.
    ResetFake();
    ASSERT_TRUE(std::filesystem::create_directories(dir + "/b.mtl"));
    Fake().dialogAnswers = {dir + "/b.obj"};
    EXPECT_EQ(SaveObjFile(OwnerMainWindow, b.mesh.get(), name, sizeof name), 1);
    ASSERT_EQ(Fake().messages.size(), 1u);
    EXPECT_EQ(Fake().messages[0].text, dir + "/b.mtl");
    EXPECT_EQ(Fake().messages[0].caption, "Error cannot create");
    EXPECT_TRUE(FileExists(dir + "/b.obj"));
}

#if !defined(_WIN32)
// A full disk, imitated with a file size limit: the write fails, the user is
// told, and the partial file is gone.
TEST(ObjWriter, WriteFailureIsReportedAndFileRemoved) {
    ResetFake();
    std::vector<Vec3> points(2000, Vec3{1, 2, 3});
    MeshBuilder b(points, 0);
    b.Names({}, {"skin"});
    b.Polygon({1, 2, 3});
    const std::string path = TempDir(TestDirName("obj-write-fail")) + "/big.obj";
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int written = WriteObjFile(OwnerMainWindow, b.mesh.get(), path.c_str(), "big.mtl");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(written, 0);
    ASSERT_EQ(Fake().messages.size(), 1u);
    EXPECT_EQ(Fake().messages[0].text, path);
    EXPECT_EQ(Fake().messages[0].caption, "Error cannot write");
    EXPECT_FALSE(FileExists(path));
}
#endif

// The sorted export equals the literal per-group, per-material passes (used
// when there is no memory for sorting) on random meshes.
TEST(ObjWriter, SortedOrderEqualsPasses) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        std::vector<Vec3> points(40, Vec3{0.5f, 0.25f, 0});
        MeshBuilder b(points, round % 3);
        const int groups = static_cast<int>(random() % 4), materials = static_cast<int>(random() % 4);
        std::vector<const char*> groupNames = {"a", "b", "c"}, materialNames = {"x", "y", "z"};
        groupNames.resize(groups < 3 ? groups : 3);
        materialNames.resize(materials < 3 ? materials : 3);
        b.Names(groupNames, materialNames);
        for (int k = 0; k < 20; ++k) {
            const int g = static_cast<int>(random() % 4), m = static_cast<int>(random() % 4);
            std::vector<int32_t> v;
            const int n = 2 + static_cast<int>(random() % 9);
            for (int i = 0; i < n; ++i) v.push_back(1 + static_cast<int32_t>(random() % 40));
            if (random() % 2) {
                b.Strand(v, g, m);
            } else if (n >= 3) {
                b.Polygon(v, g, m);
            }
        }
        const std::string dir = TempDir(TestDirName("obj-sort"));
        ASSERT_EQ(WriteObjFile(OwnerMainWindow, b.mesh.get(), (dir + "/sorted.obj").c_str(), "l.mtl"), 1);
        FailAllocationAfter(1);
        ASSERT_EQ(WriteObjFile(OwnerMainWindow, b.mesh.get(), (dir + "/passes.obj").c_str(), "l.mtl"), 1);
        FailAllocationAfter(0);
        EXPECT_EQ(ReadWholeFile(dir + "/sorted.obj"), ReadWholeFile(dir + "/passes.obj"));
    }
}

}  // namespace
