#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/cpu_features.h"
#include "core/memory.h"
#include "formats/byte_source.h"
#include "formats/face_slots.h"
#include "formats/file_source.h"
#include "formats/obj_reader.h"
#include "support/mesh_helpers.h"
#include "support/paths.h"
#include "support/platform_fake.h"

namespace {

std::string Vertices(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i) text += "v " + std::to_string(i) + " " + std::to_string(i % 3) + " 0\n";
    return text;
}

std::string TexCoords(int n) {
    std::string text;
    for (int i = 1; i <= n; ++i) text += "vt 0." + std::to_string(i) + " 0.5\n";
    return text;
}

std::string Sequence(const char* keyword, int n) {
    std::string text = keyword;
    for (int i = 1; i <= n; ++i) text += " " + std::to_string(i);
    return text + "\n";
}

// The fan a polygon 1..n is stored as.
std::string FanSlots(int n) {
    std::string text;
    for (int i = 2; i < n; ++i) {
        text += (i > 2 ? " f:1," : "f:1,") + std::to_string(i) + "," + std::to_string(i + 1);
    }
    return text;
}

// The slots a strand 1..n is stored as.
std::string StrandSlots(int n) {
    std::string text = "l" + std::to_string(n) + ":";
    int point = 1;
    for (; point <= n && point <= 4; ++point) text += (point > 1 ? "," : "") + std::to_string(point);
    while (point <= n) {
        text += " l:" + std::to_string(point - 1);
        for (int c = 1; c < 4 && point <= n; ++c, ++point) text += "," + std::to_string(point);
    }
    return text;
}

struct StatementCase {
    const char* name;
    std::string text;
    std::string slots;  // DescribeSlots of the loaded mesh
    int polygons;
    int lines;
};

TEST(ObjReader, Statements) {
    const std::string pad16378(16378, ' '), pad16379(16379, ' ');
    const StatementCase cases[] = {
        {"triangle and quad", Vertices(4) + "f 1 2 3\nf 1 2 3 4\n", "f:1,2,3 f:1,2,3,4", 2, 0},
        {"five corners make a fan", Vertices(5) + "f 1 2 3 4 5\n", "f:1,2,3 f:1,3,4 f:1,4,5", 1, 0},
        {"fo is a polygon", Vertices(3) + "fo 1 2 3\n", "f:1,2,3", 1, 0},
        {"32 groups make 30 triangles", Vertices(32) + Sequence("f", 32),
         "f:1,2,3 f:1,3,4 f:1,4,5 f:1,5,6 f:1,6,7 f:1,7,8 f:1,8,9 f:1,9,10 f:1,10,11 f:1,11,12 "
         "f:1,12,13 f:1,13,14 f:1,14,15 f:1,15,16 f:1,16,17 f:1,17,18 f:1,18,19 f:1,19,20 "
         "f:1,20,21 f:1,21,22 f:1,22,23 f:1,23,24 f:1,24,25 f:1,25,26 f:1,26,27 f:1,27,28 "
         "f:1,28,29 f:1,29,30 f:1,30,31 f:1,31,32",
         1, 0},
        {"33 groups", Vertices(33) + Sequence("f", 33), FanSlots(33), 1, 0},
        {"64 groups", Vertices(64) + Sequence("f", 64), FanSlots(64), 1, 0},
        {"511 groups", Vertices(511) + Sequence("f", 511), FanSlots(511), 1, 0},
        {"512 groups drop the statement", Vertices(512) + Sequence("f", 512) + "f 1 2 3\n", "f:1,2,3", 1, 0},
        {"strand of 2", Vertices(2) + "l 1 2\n", "l2:1,2", 0, 1},
        {"strand of 4", Vertices(4) + "l 1 2 3 4\n", "l4:1,2,3,4", 0, 1},
        {"strand of 5", Vertices(5) + "l 1 2 3 4 5\n", "l5:1,2,3,4 l:4,5", 0, 1},
        {"strand of 7", Vertices(7) + "l 1 2 3 4 5 6 7\n", "l7:1,2,3,4 l:4,5,6,7", 0, 1},
        {"strand of 8", Vertices(8) + Sequence("l", 8), "l8:1,2,3,4 l:4,5,6,7 l:7,8", 0, 1},
        {"strand of 32", Vertices(32) + Sequence("l", 32), StrandSlots(32), 0, 1},
        {"strand of 33", Vertices(33) + Sequence("l", 33), StrandSlots(33), 0, 1},
        {"strand of 64", Vertices(64) + Sequence("l", 64), StrandSlots(64), 0, 1},
        {"strand of 511", Vertices(511) + Sequence("l", 511), StrandSlots(511), 0, 1},
        {"512 points drop the strand", Vertices(512) + Sequence("l", 512) + "l 2 1\n", "l2:2,1", 0, 1},
        {"one point is no strand", Vertices(3) + "l 1\nf 1 2 3\n", "f:1,2,3", 1, 0},
        {"negative indices count back", Vertices(10) + "f -3 -2 -1\n", "f:8,9,10", 1, 0},
        {"index past the vertices read", Vertices(10) + "f 1 2 11\nf 1 2 3\n", "f:1,2,3", 1, 0},
        {"index 0", Vertices(3) + "f 0 1 2\nf 1 2 3\n", "f:1,2,3", 1, 0},
        {"negative past the start", Vertices(3) + "f -4 1 2\nf 1 2 3\n", "f:1,2,3", 1, 0},
        {"later vertices cannot be named", Vertices(2) + "f 1 2 3\n" + "v 0 0 1\nf 1 2 3\n", "f:1,2,3", 1, 0},
        {"index too large for 32 bits", Vertices(3) + "f 1 2 99999999999\nf 1 2 -99999999999\nf 3 2 1\n", "f:3,2,1", 1,
         0},
        {"group that is not a number", Vertices(3) + "f 1 2 x\nf 1 2 3x\nf 1 2 3\n", "f:1,2,3", 1, 0},
        {"tabs separate groups", Vertices(3) + "f 1\t2\t3\n", "f:1,2,3", 1, 0},
        {"tab after the keyword", Vertices(3) + "f\t 1 2 3 \t\n", "f:1,2,3", 1, 0},
        {"last line without line break", Vertices(3) + "f 1 2 3", "f:1,2,3", 1, 0},
        {"CR line ends", "v 0 0 0\rv 1 0 0\rv 0 1 0\rf 1 2 3\r", "f:1,2,3", 1, 0},
        {"CR LF line ends", "v 0 0 0\r\nv 1 0 0\r\nv 0 1 0\r\nf 1 2 3\r\n", "f:1,2,3", 1, 0},
        {"line end after the keyword", Vertices(3) + "f\n1 2 3\nf\r\nf 3 2 1\n", "f:3,2,1", 1, 0},
        {"ignored statements",
         Vertices(3) + "vn 0 1 0\nvp 1\ns 1\no name\n# f 1 2 3\nfx 1 2 3\nff 1 2 3\nvtt 1 1\nf 1 2 3\n", "f:1,2,3", 1,
         0},
        // A mismatch inside "usemtl" drops that character and starts over
        // right after it, so the "f" behind it begins a statement.
        {"broken usemtl", Vertices(3) + "usXf 1 2 3\n", "f:1,2,3", 1, 0},
        {"broken mtllib", Vertices(3) + "mtlXf 3 2 1\n", "f:3,2,1", 1, 0},
        {"usemtl cut by a line end", Vertices(3) + "use\nf 1 2 3\n", "f:1,2,3", 1, 0},
        {"argument of 16383 characters", Vertices(3) + "f 1 2 3" + pad16378 + "\nf 3 2 1\n", "f:1,2,3 f:3,2,1", 2, 0},
        // An over-long argument costs only its own statement.
        {"argument of 16384 characters", Vertices(3) + "f 1 2 3" + pad16379 + "\nf 3 2 1\n", "f:3,2,1", 1, 0},
        {"only strands", Vertices(3) + "l 1 2 3\nl 3 1\n", "l3:1,2,3 l2:3,1", 0, 2},
        {"groups and materials",
         Vertices(3) + "g a\nusemtl m\nf 1 2 3\ng b\nl 1 2\nusemtl n\ng a\nf 1 2 3\nusemtl m\nf 3 2 1\n",
         "f:1,2,3 l2:1,2@1.0 f:1,2,3@0.1 f:3,2,1", 3, 1},
    };
    for (const StatementCase& c : cases) {
        SCOPED_TRACE(c.name);
        ResetFake();
        TestMeshPtr mesh;
        ASSERT_EQ(LoadObjText(c.text, &mesh), 1);
        EXPECT_EQ(DescribeSlots(*mesh), c.slots);
        EXPECT_EQ(mesh->polygonCount, c.polygons);
        EXPECT_EQ(mesh->lineCount, c.lines);
        EXPECT_TRUE(Fake().messages.empty());
    }
}

TEST(ObjReader, TextureIndexRules) {
    struct Case {
        const char* faces;
        const char* texIndices;
    };
    // clang-format off
    const Case cases[] = {
        {"f 1/2 2/3 3/5\n", "2,3,5"},
        {"f 1/7 2/7 3/7\n", "1,1,1"},     // past the coordinates read: the first
        {"f 1/-1 2/-5 3/-6\n", "5,1,1"},  // counting back; before the first: the first
        {"f 1//4 2//5 3//6\n", "1,1,1"},  // no texture index, whatever the normal
        {"f 1/3/5 2/2/1 3/\n", "3,2,1"},  // the normal is ignored
        {"f 1/0 2 3/5\n", "1,1,5"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faces);
        TestMeshPtr mesh;
        ASSERT_EQ(LoadObjText(Vertices(3) + TexCoords(5) + c.faces, &mesh), 1);
        EXPECT_EQ(DescribeTexIndices(*mesh), c.texIndices);
        EXPECT_EQ(mesh->texCoordCount, 5);
    }
    // Only the texture coordinates read so far count.
    TestMeshPtr mesh;
    ASSERT_EQ(LoadObjText(Vertices(3) + TexCoords(2) + "f 1/3 2/2 3/-1\n" + TexCoords(3), &mesh), 1);
    EXPECT_EQ(DescribeTexIndices(*mesh), "1,2,2");
}

TEST(ObjReader, ParseIndexGroupsLimits) {
    int32_t v[MaxCornersPerStatement], t[MaxCornersPerStatement];
    EXPECT_EQ(ParseIndexGroups("", 5, 0, v, t), 0);
    EXPECT_EQ(ParseIndexGroups("   \t ", 5, 0, v, t), 0);
    EXPECT_EQ(ParseIndexGroups("-2147483648 1", 5, 0, v, t), 0);
    EXPECT_EQ(ParseIndexGroups("1/-2147483648 2/2147483647", 5, 3, v, t), 2);
    EXPECT_EQ(t[0], 1);
    EXPECT_EQ(t[1], 1);
    EXPECT_EQ(ParseIndexGroups("+2 -1", 5, 0, v, t), 2);
    EXPECT_EQ(v[0], 2);
    EXPECT_EQ(v[1], 5);
    // Ten digits and nine: the long and the short way to the same index.
    EXPECT_EQ(ParseIndexGroups("0000000004 000000003\t5/2", 5, 3, v, t), 3);
    EXPECT_EQ(v[0], 4);
    EXPECT_EQ(v[1], 3);
    EXPECT_EQ(t[2], 2);
}

TEST(ObjReader, VertexValues) {
    TestMeshPtr mesh;
    ASSERT_EQ(LoadObjText("v 1.5 -2 3e2\nv 1 2\nv 1e999 0 0\nv nan 1 1\nv 0x10 1 1\nv 1-2-3\nvt 0.25\n"
                          "vt 0.5 -1e999\nvt 0.75 0.125 9\nf 1 2 3\n",
                          &mesh),
              1);
    struct Expected {
        float x, y, z;
    };
    const Expected positions[] = {{1.5f, -2, 300}, {0, 0, 0}, {0, 0, 0}, {0, 0, 0}, {16, 1, 1}, {1, -2, -3}};
    ASSERT_EQ(mesh->vertexCount, 6);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(mesh->vertices[i].position.x, positions[i].x);
        EXPECT_EQ(mesh->vertices[i].position.y, positions[i].y);
        EXPECT_EQ(mesh->vertices[i].position.z, positions[i].z);
    }
    ASSERT_EQ(mesh->texCoordCount, 3);
    EXPECT_EQ(mesh->texCoords[0].u, 0.0f);
    EXPECT_EQ(mesh->texCoords[1].v, 0.0f);
    EXPECT_EQ(mesh->texCoords[2].u, 0.75f);
    EXPECT_EQ(mesh->texCoords[2].v, 0.125f);
    EXPECT_EQ(mesh->boundsMin.x, 0.0f);
    EXPECT_EQ(mesh->boundsMax.z, 300.0f);
}

TEST(ObjReader, GroupAndMaterialNames) {
    // Faces before the first "g" belong to the group it names.
    TestMeshPtr mesh;
    ASSERT_EQ(LoadObjText(Vertices(3) + "f 1 2 3\ng hair\nf 1 2 3\ng\ng left arm\nf 1 2 3\n", &mesh), 1);
    EXPECT_EQ(mesh->groupCount, 2);
    EXPECT_STREQ(mesh->groupNames[0], "hair");
    EXPECT_STREQ(mesh->groupNames[1], "left arm");
    EXPECT_EQ(DescribeSlots(*mesh), "f:1,2,3 f:1,2,3 f:1,2,3@1.0");
    EXPECT_EQ(mesh->materialCount, 0);
    EXPECT_STREQ(mesh->materialNames[0], "Preview");

    // Names are cut to 63 characters and compared exactly, case included.
    const std::string longName(70, 'n');
    ASSERT_EQ(LoadObjText(Vertices(3) + "usemtl Skin\nusemtl skin\nusemtl " + longName + "\nf 1 2 3\nusemtl " +
                              longName.substr(0, 63) + "\nf 1 2 3\nusemtl Skin\nf 1 2 3\n",
                          &mesh),
              1);
    EXPECT_EQ(mesh->materialCount, 3);
    EXPECT_EQ(std::string(mesh->materialNames[2]), longName.substr(0, 63));
    EXPECT_EQ(DescribeSlots(*mesh), "f:1,2,3@0.2 f:1,2,3@0.2 f:1,2,3");

    // The 513th distinct name is ignored: its faces stay where they were.
    for (const char* keyword : {"g", "usemtl"}) {
        SCOPED_TRACE(keyword);
        std::string text = Vertices(3);
        for (int i = 0; i < 512; ++i) text += std::string(keyword) + " n" + std::to_string(i) + "\n";
        text += std::string(keyword) + " n7\n" + std::string(keyword) + " extra\nf 1 2 3\n";
        ASSERT_EQ(LoadObjText(text, &mesh), 1);
        const bool group = keyword[0] == 'g';
        EXPECT_EQ(group ? mesh->groupCount : mesh->materialCount, 512);
        EXPECT_EQ(DescribeSlots(*mesh), group ? "f:1,2,3@7.0" : "f:1,2,3@0.7");
    }
}

TEST(ObjReader, FailuresShowTheMessage) {
    struct Case {
        const char* name;
        std::string text;
    };
    const Case cases[] = {
        {"empty file", ""},
        {"only vertices", Vertices(3)},
        {"faces without usable indices", Vertices(3) + "f 1 2\nf 4 5 6\nl 9 1\n"},
        {"only face without vertices", "f 1 2 3\n"},
        {"binary noise", std::string("\x00\x01\xff\xfe v 1 2 3 \x00\n", 16)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ResetFake();
        TestMeshPtr mesh;
        EXPECT_EQ(LoadObjText(c.text, &mesh, "bad.obj", TestDirName("obj-fail")), 0);
        ASSERT_EQ(Fake().messages.size(), 1u);
        EXPECT_EQ(Fake().messages[0].text, "Error: failed to open");
        EXPECT_EQ(Fake().messages[0].caption, TempDir(TestDirName("obj-fail")) + "/bad.obj");
        EXPECT_EQ(Fake().messages[0].style, MessageIconError);
        EXPECT_EQ(Fake().messages[0].owner, OwnerNone);
    }
    ResetFake();
    TestMeshPtr mesh(CreateMesh("prop"));
    const std::string missing = TempDir(TestDirName("obj-missing")) + "/missing.obj";
    EXPECT_EQ(LoadObjFile(mesh.get(), missing.c_str()), 0);
    ASSERT_EQ(Fake().messages.size(), 1u);
    EXPECT_EQ(Fake().messages[0].caption, missing);
}

// What a compressed file's source hands over: the inflated bytes of every
// gzip member, a file that is no gzip as it is, and nothing past the limit.
TEST(ObjReader, CompressedFileSource) {
    const std::string text(10000, 'x');
    const struct {
        const char* what;
        std::string bytes;
        uint64_t limit;
        std::string read;  // what the blocks yield
        bool failed;
    } cases[] = {
        {"one member", GzipBytes(text), 10000, text, false},
        {"two members", GzipBytes(text) + GzipBytes("v 1 2 3\n"), InflatedSizeLimit, text + "v 1 2 3\n", false},
        // The fill that passes the limit yields nothing.
        {"one byte past the limit", GzipBytes(text), 9999, "", true},
        {"not gzip", "v 1 2 3\n", InflatedSizeLimit, "v 1 2 3\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = TempDir(TestDirName()) + "/source.obz";
        WriteBytesFile(path, c.bytes);
        ByteSource source;
        ASSERT_EQ(OpenMeshFileSource(path.c_str(), &source, c.limit), 1);
        std::vector<unsigned char> storage(TextWindowSize + 1);
        TextWindow window;
        StartTextWindow(&window, &source, storage.data());
        std::string read;
        for (; HasByte(&window); ++window.position) read += static_cast<char>(window.bytes[window.position]);
        EXPECT_EQ(read, c.read);
        EXPECT_EQ(source.failed, c.failed);
        CloseMeshFileSource(&source);
    }
    ByteSource source;
    EXPECT_EQ(OpenMeshFileSource((TempDir(TestDirName()) + "/absent.obz").c_str(), &source), 0);
}

// The line ends a window finds are the same at every processor level: lines
// of every length up to a few hundred bytes, CR, LF and both, and lines that
// end right at the end of input, through two refills of the window.
TEST(ObjReader, LineEndsAreTheSameAtEveryLevel) {
    std::mt19937 random(3);
    std::string text;
    while (text.size() < 2 * TextWindowSize + 1000) {
        text.append(random() % 300, 'a' + static_cast<char>(random() % 26));
        const char* ends[] = {"\n", "\r", "\r\n", "\n\n"};
        text += ends[random() % 4];
    }
    text += "tail";
    const auto lineEnds = [&](SimdLevel level) {
        const SimdLevel saved = SetActiveSimdLevel(level);
        ByteSource source = MemoryByteSource(text.data(), text.size());
        std::vector<unsigned char> storage(TextWindowSize + 1);
        TextWindow window;
        StartTextWindow(&window, &source, storage.data());
        std::vector<std::string> lines;
        while (HasByte(&window)) {
            size_t end = 0;
            const LineKind kind = FindLineEnd(&window, &end);
            lines.push_back(
                std::string(reinterpret_cast<char*>(window.bytes) + window.position, end - window.position) + "|" +
                std::to_string(kind));
            window.position = kind == LineTerminated ? end + 1 : end;
        }
        SetActiveSimdLevel(saved);
        return lines;
    };
    const std::vector<std::string> reference = lineEnds(SimdScalar);
    EXPECT_GT(reference.size(), 3000u);
    for (SimdLevel level : {SimdMmx, SimdSse2, SimdAvx2}) EXPECT_TRUE(lineEnds(level) == reference) << level;
}

TEST(ObjReader, SphericalMappingWhenNoTextureCoordinates) {
    TestMeshPtr mesh;
    ASSERT_EQ(LoadObjText(Vertices(4) + "f 1 2 3 4\nl 1 3\n", &mesh), 1);
    EXPECT_GT(mesh->texCoordCount, 0);
    for (int i = 0; i < 4 * mesh->faceCount; ++i) {
        if (mesh->faceVertexIndices[i] == -1) continue;
        EXPECT_GE(mesh->faceTexIndices[i], 0);
        EXPECT_LT(mesh->faceTexIndices[i], mesh->texCoordCount);
    }
}

// Storage grows geometrically as a large file arrives (a fixed step copies
// the arrays over and over wherever realloc moves the block) and ends fitted
// to what was read.
TEST(ObjReader, LargeFilesGrowStorageGeometrically) {
    constexpr int points = 300000;
    std::string text = Vertices(points) + TexCoords(points);
    for (int i = 1; i < points; i += 2) text += "l " + std::to_string(i) + " " + std::to_string(i + 1) + "\n";
    TestMeshPtr mesh(CreateMesh("prop"));
    const long before = AllocationCallCount();
    ASSERT_EQ(LoadObjMemory(mesh.get(), text.data(), text.size(), "large.obj"), 1);
    EXPECT_LT(AllocationCallCount() - before, 100);  // steps of 4,096 records take about 300
    EXPECT_EQ(mesh->vertexCapacity, points);
    EXPECT_EQ(mesh->texCoordCapacity, points);
    EXPECT_EQ(mesh->faceCapacity, points / 2);
}

// Every allocation of a load can fail: the load then fails with the message,
// and the mesh frees without a leak.
TEST(ObjReader, AllocationFailures) {
    const std::string text = Vertices(5000) + TexCoords(5000) + "g a\nusemtl m\nmtllib lib.mtl\nf 1 2 3 4 5\n";
    const std::string dir = TempDir(TestDirName("obj-alloc"));
    WriteBytesFile(dir + "/a.obj", text);
    WriteBytesFile(dir + "/lib.mtl", "newmtl m\nKd 1 0 0\n");
    const std::string path = dir + "/a.obj";
    for (long failAt = 1;; ++failAt) {
        SCOPED_TRACE(failAt);
        ASSERT_LT(failAt, 40);
        ResetFake();
        const long live = LiveAllocationCount();
        Mesh* mesh = CreateMesh("prop");
        ASSERT_TRUE(mesh);
        FailAllocationAfter(failAt);
        const int ok = LoadObjFile(mesh, path.c_str());
        FailAllocationAfter(0);
        FreeMesh(mesh);
        EXPECT_EQ(LiveAllocationCount(), live);
        if (ok) {
            EXPECT_TRUE(Fake().messages.empty());
            break;
        }
        ASSERT_EQ(Fake().messages.size(), 1u);
        EXPECT_EQ(Fake().messages[0].text, "Error: failed to open");
    }
}

}  // namespace
