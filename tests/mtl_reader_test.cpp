#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "formats/mtl_reader.h"
#include "formats/obj_reader.h"
#include "support/mesh_helpers.h"
#include "support/paths.h"
#include "support/platform_fake.h"

namespace {

const char* const triangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\n";

// Loads `obj` from a fresh folder that also holds `library` as lib.mtl.
TestMeshPtr LoadWithLibrary(const std::string& obj, const std::string& library,
                            const std::string& libraryName = "lib.mtl") {
    const std::string dir = TempDir(TestDirName("mtl"));
    WriteBytesFile(dir + "/" + libraryName, library);
    WriteBytesFile(dir + "/model.obj", obj);
    TestMeshPtr mesh(CreateMesh("prop"));
    EXPECT_EQ(LoadObjFile(mesh.get(), (dir + "/model.obj").c_str()), 1);
    return mesh;
}

struct Colour {
    float r, g, b;
};

void ExpectColour(const float* actual, Colour expected) {
    EXPECT_EQ(actual[0], expected.r);
    EXPECT_EQ(actual[1], expected.g);
    EXPECT_EQ(actual[2], expected.b);
}

TEST(MtlReader, MaterialsInUse) {
    const std::string obj = std::string(triangle) + "mtllib lib.mtl\nusemtl skin\nf 1 2 3\nusemtl hair\nf 1 2 3\n";
    const std::string library =
        "# comment\nnewmtl skin\nKd 0.8 0.6 0.4\nKa 0.1 0.2 0.3\nNs 96.078431\nmap_Kd skin.jpg\n"
        "illum 2\nd 0.5\n"
        "newmtl unused\nKd 0.1 0.1 0.1\nNs 3\nmap_Kd unused.jpg\n"
        "newmtl hair\r\nKs 0.25 0.5 0.75\r\n  Kd 0.5 0.5 0.5\n\tKd 0.5 0.5 0.5\nKd\t0.5 0.5 0.5\n"
        "kd 0.5 0.5 0.5\nKd 0.9 0.9\nNs -1e30\nmap_Kd " +
        std::string(70, 't') + "\n";
    TestMeshPtr mesh = LoadWithLibrary(obj, library);
    ASSERT_EQ(mesh->materialCount, 2);
    const Material& skin = mesh->materials[0];
    ExpectColour(skin.diffuse, {0.8f, 0.6f, 0.4f});
    ExpectColour(skin.ambient, {0.1f, 0.2f, 0.3f});
    ExpectColour(skin.specular, {0.5f, 0.5f, 0.5f});  // untouched default
    EXPECT_EQ(skin.specularExponent, 96);
    EXPECT_STREQ(mesh->textureNames[0], "skin.jpg");
    const Material& hair = mesh->materials[1];
    ExpectColour(hair.specular, {0.25f, 0.5f, 0.75f});
    ExpectColour(hair.diffuse, {1, 1, 1});        // indented, tabbed, lower-case or short lines are ignored
    EXPECT_EQ(hair.specularExponent, INT32_MIN);  // saturated, not wrapped
    EXPECT_EQ(std::string(mesh->textureNames[1]), std::string(63, 't'));
    // The unused material went to the record after those in use.
    ExpectColour(mesh->materials[2].diffuse, {0.1f, 0.1f, 0.1f});
    EXPECT_EQ(mesh->materials[2].specularExponent, 3);
}

// Without usemtl, every library line lands in record 0, which all faces use:
// the last value of each keyword wins.
TEST(MtlReader, NoUsemtlFillsRecordZero) {
    TestMeshPtr mesh = LoadWithLibrary(std::string(triangle) + "mtllib lib.mtl\nf 1 2 3\n",
                                       "newmtl a\nKd 0.1 0.2 0.3\nNs 5\nnewmtl b\nKd 0.4 0.5 0.6\n");
    EXPECT_EQ(mesh->materialCount, 0);
    ExpectColour(mesh->materials[0].diffuse, {0.4f, 0.5f, 0.6f});
    EXPECT_EQ(mesh->materials[0].specularExponent, 5);
}

TEST(MtlReader, LibraryNames) {
    // The whole name, spaces included, beside the OBJ file; the last mtllib wins.
    TestMeshPtr mesh =
        LoadWithLibrary(std::string(triangle) + "mtllib first.mtl\nmtllib my lib.mtl\nusemtl m\nf 1 2 3\n",
                        "newmtl m\nKd 0 0.5 1\n", "my lib.mtl");
    ExpectColour(mesh->materials[0].diffuse, {0, 0.5f, 1});

    // A missing library changes nothing and reports nothing.
    ResetFake();
    mesh = LoadWithLibrary(std::string(triangle) + "mtllib missing.mtl\nusemtl m\nf 1 2 3\n", "");
    ExpectColour(mesh->materials[0].diffuse, {1, 1, 1});
    EXPECT_TRUE(Fake().messages.empty());

    // A name longer than 63 characters is kept whole.
    const std::string longName = std::string(80, 'L') + ".mtl";
    mesh = LoadWithLibrary(std::string(triangle) + "mtllib " + longName + "\nusemtl m\nf 1 2 3\n",
                           "newmtl m\nKd 0.25 0.25 0.25\n", longName);
    ExpectColour(mesh->materials[0].diffuse, {0.25f, 0.25f, 0.25f});
}

TEST(MtlReader, AllRecordsInUseDropsUnusedMaterials) {
    std::string obj = triangle;
    for (int i = 0; i < 512; ++i) obj += "usemtl m" + std::to_string(i) + "\nf 1 2 3\n";
    TestMeshPtr mesh = LoadWithLibrary(obj + "mtllib lib.mtl\n", "newmtl other\nKd 0 0 0\nnewmtl m511\nKd 0.5 0 0\n");
    ASSERT_EQ(mesh->materialCount, 512);
    ExpectColour(mesh->materials[511].diffuse, {0.5f, 0, 0});
    ExpectColour(mesh->materials[510].diffuse, {1, 1, 1});
}

// Lines longer than 255 characters are read in pieces, each a line of its own.
TEST(MtlReader, LongLinesComeInPieces) {
    const std::string filler(255 - 7, 'x');
    TestMeshPtr mesh = LoadWithLibrary(
        std::string(triangle) + "mtllib lib.mtl\nusemtl m\nf 1 2 3\n",
        "newmtl m\n# " + filler + "\n" + "Kd 0.5 0.5 0.5 " + std::string(240, ' ') + "Kd 0.25 0.25 0.25\n");
    ExpectColour(mesh->materials[0].diffuse, {0.25f, 0.25f, 0.25f});
}

}  // namespace
