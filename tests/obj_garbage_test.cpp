// Damaged and hostile OBJ input: never a crash, a hang or a leak, and what
// loads can be exported and loaded again.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/memory.h"
#include "formats/obj_reader.h"
#include "formats/obj_writer.h"
#include "support/mesh_helpers.h"
#include "support/paths.h"
#include "support/platform_fake.h"

namespace {

const char* const validObj =
    "# a small model\r\nmtllib lib.mtl\r\nv 0 0 0\r\nv 1 0 0\r\nv 1 1 0\r\nv 0 1 0\r\nv 0 0 1\r\n"
    "vt 0 0\r\nvt 1 0\r\nvt 1 1\r\nvn 0 0 1\r\ng body\r\nusemtl skin\r\nf 1/1/1 2/2/1 3/3/1 4/1/1\r\n"
    "f -1 -2 -3\r\ng hair\r\nusemtl hair\r\nl 1/1 2/2 3/3 4/1 5/2 1/3 2/1\r\nfo 5 4 3 2 1\r\n";

// Loads `bytes`; when it loads, exports it and loads the export. Checks
// that nothing leaks and that a failure said so.
void LoadExportReload(const std::string& bytes, const std::string& dir) {
    const long live = LiveAllocationCount();
    {
        ResetFake();
        WriteBytesFile(dir + "/in.obj", bytes);
        TestMeshPtr mesh(CreateMesh("prop"));
        const int ok = LoadObjFile(mesh.get(), (dir + "/in.obj").c_str());
        ASSERT_EQ(Fake().messages.size(), ok ? 0u : 1u);
        if (ok) {
            ASSERT_GT(mesh->vertexCount, 0);
            ASSERT_GT(mesh->faceCount, 0);
            ASSERT_EQ(WriteObjFile(OwnerMainWindow, mesh.get(), (dir + "/out.obj").c_str(), "out.mtl"), 1);
            TestMeshPtr again(CreateMesh("prop"));
            ASSERT_EQ(LoadObjFile(again.get(), (dir + "/out.obj").c_str()), 1);
            ASSERT_EQ(again->faceCount, mesh->faceCount);
        }
    }
    EXPECT_EQ(LiveAllocationCount(), live);
}

TEST(ObjGarbage, EveryPrefixOfAValidFile) {
    const std::string dir = TempDir(TestDirName("obj-prefix"));
    const std::string text = validObj;
    for (size_t n = 0; n <= text.size(); ++n) {
        SCOPED_TRACE(n);
        LoadExportReload(text.substr(0, n), dir);
    }
}

TEST(ObjGarbage, RandomDamage) {
    const std::string dir = TempDir(TestDirName("obj-damage"));
    std::mt19937 random(20261209);
    const std::string base = validObj;
    const char pieces[][12] = {" ",  "\t", "\r", "\n",      "/",  "//",  "-",           "0",   "-2147483649", "1e39",
                               "f ", "l ", "g ", "usemtl ", "v ", "vt ", "99999999999", "nan", "\0"};
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        std::string text = base;
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            const size_t at = random() % (text.size() + 1);
            switch (random() % 4) {
                case 0:
                    if (at < text.size()) text[at] = static_cast<char>(random() % 256);
                    break;
                case 1: text.insert(at, pieces[random() % (sizeof pieces / sizeof pieces[0])]); break;
                case 2: text.erase(at, random() % 8); break;
                default: text = text.substr(0, at) + text.substr(random() % (text.size() + 1)); break;
            }
        }
        LoadExportReload(text, dir);
    }
    for (int round = 0; round < 30; ++round) {
        std::string noise(1 + random() % 9000, '\0');
        for (char& c : noise) c = static_cast<char>(random() % 256);
        LoadExportReload(noise, dir);
    }
}

TEST(ObjGarbage, HostileSizes) {
    const std::string dir = TempDir(TestDirName("obj-hostile"));
    std::string longLine = "v 0 0 0\nv 1 0 0\nv 0 1 0\nl";
    for (int i = 0; i < 10000; ++i) longLine += " 1";
    longLine += "\nf 1 2 3\n";
    std::string manyNames = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (int i = 0; i < 20000; ++i) {
        manyNames += "g g" + std::to_string(i % 700) + "\nusemtl m" + std::to_string(i % 600) + "\n";
        if (i % 97 == 0) manyNames += "f 1 2 3\nl 3 2 1\n";
    }
    std::string hugeNumbers =
        "v 1e38 -1e38 3.4e38\nv 1e39 1e-50 -0\nv 123456789012345678901234567890 0 0\n"
        "vt 1e300 1e-300\nf 1/1 2/1 3/99999999999999999999\nf 1 2 3\n";
    std::string longArguments = "v 0 0 0\nv 1 0 0\nv 0 1 0\ng " + std::string(5000, 'g') + "\nusemtl " +
                                std::string(3000, 'm') + "\nmtllib " + std::string(4000, 'x') + "\nf 1 2 3\n";
    for (const std::string* text : {&longLine, &manyNames, &hugeNumbers, &longArguments}) {
        LoadExportReload(*text, dir);
    }
    TestMeshPtr mesh;
    ASSERT_EQ(LoadObjText(manyNames, &mesh, "names.obj", TestDirName("obj-hostile-names")), 1);
    EXPECT_EQ(mesh->groupCount, 512);
    EXPECT_EQ(mesh->materialCount, 512);
}

}  // namespace
