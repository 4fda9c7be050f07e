#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/memory.h"
#include "core/mesh.h"
#include "formats/poser_sections.h"
#include "formats/poser_reader.h"
#include "formats/poser_tokens.h"
#include "support/mesh_helpers.h"
#include "support/paths.h"
#include "support/platform_fake.h"

namespace {

struct MeshDeleter {
    void operator()(Mesh* m) const { FreeMesh(m); }
};
using MeshPtr = std::unique_ptr<Mesh, MeshDeleter>;

std::string WriteTemp(const std::string& name, const std::string& text) {
    // A folder of the running test's own: tests run in parallel.
    const std::string path = TempDir(TestDirName("poser")) + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// Every token of `text` as "word|argument", and whether the last read failed
// on something other than the plain end of input.
std::vector<std::string> Tokens(const std::string& text) {
    const std::string path = WriteTemp("tokens.pp2", text);
    EXPECT_TRUE(OpenPoserInput(path.c_str()));
    std::vector<std::string> tokens;
    char word[PoserWordSize], argument[PoserArgumentSize];
    while (NextPoserToken(word, argument)) tokens.push_back(std::string(word) + "|" + argument);
    ClosePoserInput();
    // The same bytes from memory give the same tokens.
    ByteSource source = MemoryByteSource(text.data(), text.size());
    StartPoserInput(&source);
    std::vector<std::string> fromMemory;
    while (NextPoserToken(word, argument)) fromMemory.push_back(std::string(word) + "|" + argument);
    ClosePoserInput();
    EXPECT_EQ(fromMemory, tokens);
    return tokens;
}

using Strings = std::vector<std::string>;

TEST(PoserTokens, WordsArgumentsAndBraces) {
    const struct {
        const char* what;
        std::string text;
        Strings tokens;
    } cases[] = {
        {"word, blanks, argument keeping inner and trailing blanks",
         "KdColor \t 1 0.5  0 \nx\n",
         {"KdColor|1 0.5  0 ", "x|"}},
        {"braces alone and right after another brace", "{\n  {}\n}\n", {"{|", "{|", "}|", "}|"}},
        {"a brace after a word belongs to its argument",
         "version {\nnumber 4.01\n}\n",
         {"version|{", "number|4.01", "}|"}},
        {"a one-line block is one token", "version { number 4.01 }\n", {"version|{ number 4.01 }"}},
        {"a brace glued to a word is part of it", "a{ b\n", {"a{|b"}},
        {"comment lines wherever a token may begin", "// head\n{ // after a brace\n  //\n}\n", {"{|", "}|"}},
        {"// after a word is argument text", "name x // y\n", {"name|x // y"}},
        {"CR, CRLF and LF all end lines", "a 1\rb 2\r\nc\r\n\rd 4\n", {"a|1", "b|2", "c|", "d|4"}},
        {"a word alone on its line has no argument", "on   \n", {"on|"}},
        {"a last line without a line break is lost", "a 1\nb 2", {"a|1"}},
        {"a last word without a line break is lost", "{\n}", {"{|", "}|"}},
        {"a last single character is lost", "{\nx", {"{|"}},
        {"a comment that runs to the end is lost", "a\n// tail", {"a|"}},
        {"nothing at all", "", {}},
        {"only blanks", " \t\r\n", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Tokens(c.text), c.tokens) << c.what;
    }
}

TEST(PoserTokens, LongWordsAndArguments) {
    const std::string w2047(2047, 'w'), w2048(2048, 'w'), a16383(16383, 'a'), a16384(16384, 'a');
    EXPECT_EQ(Tokens(w2047 + "\n"), Strings{w2047 + "|"});
    EXPECT_EQ(Tokens(w2048 + "\nx y\n"), Strings{});
    EXPECT_EQ(Tokens("a " + a16383 + "\n"), Strings{"a|" + a16383});
    EXPECT_EQ(Tokens("a " + a16384 + "\nx y\n"), Strings{});
}

// Input comes in 4096-byte blocks; tokens straddling block ends are whole.
TEST(PoserTokens, TokensAcrossBlocks) {
    for (size_t pad : {4090u, 4093u, 4094u, 4095u, 4096u, 8190u}) {
        SCOPED_TRACE(pad);
        const std::string text = "//" + std::string(pad - 3, 'c') + "\nnumbVerts 12\n}\n";
        EXPECT_EQ(Tokens(text), (Strings{"numbVerts|12", "}|"}));
    }
    // A file of exactly one full block ends cleanly after it.
    std::string exact = "{\n" + std::string(4092, ' ') + "}\n";
    ASSERT_EQ(exact.size(), 4096u);
    EXPECT_EQ(Tokens(exact), (Strings{"{|", "}|"}));
}

TEST(PoserTokens, SkippingBlocks) {
    const struct {
        std::string text;
        int result;
        std::string next;  // the token after the skip
    } blocks[] = {
        {"a\n{\n{\n}\n}\n}\nafter\n", 1, "after|"},
        {"{\n}\n", 0, ""},  // the block closes right away, the outer one does not
        {"x {\n}\nafter\n", 1, "after|"},
        {"{\n", 0, ""},
    };
    char word[PoserWordSize], argument[PoserArgumentSize];
    for (const auto& b : blocks) {
        SCOPED_TRACE(b.text);
        const std::string path = WriteTemp("skip.pp2", b.text);
        ASSERT_TRUE(OpenPoserInput(path.c_str()));
        EXPECT_EQ(SkipPoserBlock(word, argument), b.result);
        if (b.result) {
            ASSERT_TRUE(NextPoserToken(word, argument));
            EXPECT_EQ(std::string(word) + "|" + argument, b.next);
        }
        ClosePoserInput();
    }
    const struct {
        std::string text;
        int result;
    } materials[] = {
        {"{\nKdColor 1 1 1\n{\n}\n}\n", 1}, {"KdColor 1 1 1\n{\n}\n", 0}, {"}\n", 0}, {"{\n{\n}\n", 0}, {"", 0},
    };
    for (const auto& m : materials) {
        SCOPED_TRACE(m.text);
        const std::string path = WriteTemp("material.pp2", m.text);
        ASSERT_TRUE(OpenPoserInput(path.c_str()));
        EXPECT_EQ(SkipPoserMaterialBlock(word, argument), m.result);
        ClosePoserInput();
    }
}

TEST(PoserTokens, Names) {
    const struct {
        std::string text, name;
    } cases[] = {
        {"hair_1", "hair_1"},
        {"rShin:1", "rShin"},
        {"skin:1 extra", "skin"},
        {"left arm", "left"},
        {"tab\there", "tab"},
        {":1", ""},
        {"", ""},
        {std::string(70, 'n'), std::string(63, 'n')},
    };
    for (const auto& c : cases) {
        std::vector<char> text(c.text.begin(), c.text.end());
        text.push_back('\0');
        EXPECT_EQ(CutPoserName(text.data()), static_cast<int>(c.name.size())) << c.text;
        EXPECT_EQ(std::string(text.data()), c.name);
    }
}

TEST(PoserSections, TextureFileNames) {
    const struct {
        const char* path;
        const char* name;
    } cases[] = {
        {"\"C:\\Runtime\\textures\\hair.jpg\"", "hair.jpg"},
        {":Runtime:textures:hair.jpg", "hair.jpg"},
        {"NO_MAP", ""},
        {"", ""},
        {"hair.jpg", "hair.jpg"},
        {"textures/hair.jpg", "textures/hair.jpg"},  // '/' does not separate
        {"\":Runtime:Textures:Hair:ponytail.jpg\" 0 0", "ponytail.jpg"},
        {"\"C:\\Program Files\\Poser\\wood grain.jpg\"  \t", "wood grain.jpg"},
        {"NO_MAP 0 0", ""},
        {":Runtime:textures:hair.jpg 0 0", "hair.jpg"},
        {"\"unclosed:hair.jpg", "hair.jpg"},
        {"\"\"", ""},
    };
    for (const auto& c : cases) {
        char text[PoserArgumentSize];
        std::snprintf(text, sizeof text, "%s", c.path);
        TextureFileNameFromPath(text);
        EXPECT_STREQ(text, c.name) << c.path;
    }
}

// The smallest geometry block that loads, for cases about the walk.
const char* const triangle = "geomCustom\n{\nnumbVerts 3\nnumbElems 1\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n}\n";

struct PoserLoad : ::testing::Test {
    void SetUp() override { ResetFake(); }
    void TearDown() override { ResetFake(); }

    // Loads `text`; returns the result and leaves the mesh in `mesh`.
    int Load(const std::string& text) {
        mesh.reset(CreateMesh("prop"));
        path = WriteTemp("case.hr2", text);
        const size_t before = Fake().messages.size();
        const int result = LoadPoserFile(mesh.get(), path.c_str());
        // The same bytes from memory load the same, with the same message.
        const std::string told = Message();
        MeshPtr memory(CreateMesh("prop"));
        EXPECT_EQ(LoadPoserMemory(memory.get(), text.data(), text.size()), result);
        EXPECT_EQ(DescribeMesh(*memory), DescribeMesh(*mesh));
        EXPECT_EQ(Message(), told);
        Fake().messages.resize(before + (Fake().messages.size() - before) / 2);
        return result;
    }
    std::string Message() const {
        return Fake().messages.empty() ? "" : Fake().messages.back().caption + ": " + Fake().messages.back().text;
    }

    MeshPtr mesh;
    std::string path;
};

TEST_F(PoserLoad, FileStructure) {
    const std::string tri = triangle;
    const struct {
        const char* what;
        std::string text;
        std::string message;  // "" for success
        int vertices;
    } cases[] = {
        {"inline geometry", "{\nprop box\n{\n" + tri + "}\n}\n", "", 3},
        {"text before the first brace is ignored", "version\nnumber 4\n{\nprop\n{\n" + tri + "}\n}\n", "", 3},
        {"external geometry only", "{\nactor BODY:1\n{\n}\nprop ball\n{\nobjFileGeom 0 0 :Runtime:x.obj\n}\n}\n",
         "Error: No internal geometry", 0},
        {"no object at all", "{\n}\n", "Error: No internal geometry", 0},
        {"truncated before the file block closes", "{\nprop box\n{\n" + tri + "}\n", "Error: Unable to read file", 3},
        {"a closing brace before the file block opens", "}\n{\n}\n", "Error: Unable to read file", 0},
        {"an object block that closes before it opens", "{\nprop box\n}\n{\n}\n}\n", "Error: Unable to read file", 0},
        {"brace after version closes nothing: its } ends the file",
         "{\nversion {\nnumber 4.01\n}\nprop box\n{\n" + tri + "}\n}\n", "Error: No internal geometry", 0},
        {"... which is harmless after the geometry",
         "{\nprop box\n{\n" + tri + "}\nversion {\nnumber 4.01\n}\ntrailing junk {\n", "", 3},
        {"version block on lines of its own is skipped",
         "{\nversion\n{\nnumber 4.01\n}\nprop box\n{\n" + tri + "}\n}\n", "", 3},
        {"one-line blocks are harmless", "{\nversion { number 4.01 }\nprop box\n{\n" + tri + "}\n}\n", "", 3},
        {"unknown blocks at every level are skipped",
         "{\ndoc\n{\naddActor box\n{\n}\n}\nprop box\n{\nchannels\n{\nscale s\n{\nkeys\n{\nk 0 1\n}\n}\n}\n" + tri +
             "}\n}\n",
         "", 3},
        {"text after the file block is never read", "{\nprop box\n{\n" + tri + "}\n}\n{\n{\nv x\n", "", 3},
        {"comments anywhere a token begins", "// made by hand\n{\n// a prop\nprop box\n{\n" + tri + "// end\n}\n}\n",
         "", 3},
        {"numbVerts 0 skips its block, the load goes on",
         "{\nprop a\n{\ngeomCustom\n{\nnumbVerts 0\nv 1 2 3\nf 1 2 3\n{\n}\n}\n" + tri + "}\n}\n", "", 3},
        {"v before numbVerts", "{\nprop a\n{\ngeomCustom\n{\nv 0 0 0\nnumbVerts 3\n}\n}\n}\n",
         "Error: Unable to read file", 0},
        {"more v lines than announced room",
         "{\nprop a\n{\ngeomCustom\n{\nnumbVerts 1\n" +
             [] {
                 std::string v;
                 for (int i = 0; i < 258; ++i) v += "v 0 0 0\n";
                 return v;
             }() +
             "}\n}\n}\n",
         "Error: Unable to read file", 0},
        {"vt before numbTVerts", "{\nprop a\n{\ngeomCustom\n{\nnumbVerts 3\nvt 0 0\n}\n}\n}\n",
         "Error: Unable to read file", 0},
        {"a vertex with two numbers", "{\nprop a\n{\ngeomCustom\n{\nnumbVerts 3\nv 0 0\n}\n}\n}\n",
         "Error: Unable to read file", 0},
        {"a count that is not a number", "{\nprop a\n{\ngeomCustom\n{\nnumbVerts many\n}\n}\n}\n",
         "Error: Unable to read file", 0},
        {"a negative count", "{\nprop a\n{\ngeomCustom\n{\nnumbVerts 3\nnumbElems -5\n}\n}\n}\n",
         "Error: Unable to read file", 0},
        {"a negative texture count", "{\nprop a\n{\ngeomCustom\n{\nnumbVerts 3\nnumbTVerts -1\n}\n}\n}\n",
         "Error: Unable to read file", 0},
        {"a count past 32 bits", "{\nprop a\n{\ngeomCustom\n{\nnumbVerts 4294967299\n}\n}\n}\n",
         "Error: Unable to read file", 0},
        {"a count whose room passes 32 bits", "{\nprop a\n{\ngeomCustom\n{\nnumbVerts 2147483600\n}\n}\n}\n",
         "Error: Unable to read file", 0},
        {"a geometry block that closes before it opens", "{\nprop a\n{\ngeomCustom\n}\n}\n}\n",
         "Error: Unable to read file", 0},
        {"vertices and no faces load", "{\nprop a\n{\ngeomCustom\n{\nnumbVerts 2\nv 0 0 0\nv 1 1 1\n}\n}\n}\n", "", 2},
        {"counts far past what the file could hold reserve no more than it could",
         "{\nprop a\n{\ngeomCustom\n{\nnumbVerts 100000000\nnumbTVerts 100000000\nnumbElems 100000000\nv 0 0 0\n",
         "Error: Unable to read file", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResetFake();
        const int result = Load(c.text);
        EXPECT_EQ(result, c.message.empty() ? 1 : 0);
        EXPECT_EQ(Message(), c.message);
        EXPECT_LE(Fake().messages.size(), 1u);
        if (result) {
            EXPECT_EQ(mesh->vertexCount, c.vertices);
        }
        // A failed load keeps its reservations: none is past what the text
        // could fill and one growth step.
        const int64_t most = static_cast<int64_t>(c.text.size()) + 1024;
        EXPECT_LE(mesh->vertexCapacity, most);
        EXPECT_LE(mesh->texCoordCapacity, most);
        EXPECT_LE(mesh->faceCapacity, most);
        for (const FakeMessage& m : Fake().messages) {
            EXPECT_EQ(m.owner, OwnerNone);
            EXPECT_EQ(m.style, MessageOk);
        }
    }
}

TEST_F(PoserLoad, FileThatCannotBeOpenedIsReported) {
    mesh.reset(CreateMesh("prop"));
    EXPECT_EQ(LoadPoserFile(mesh.get(), (TempDir("poser-none") + "/absent.hr2").c_str()), 0);
    EXPECT_EQ(Message(), "Error: Unable to read file");
}

TEST_F(PoserLoad, ObjectsAppendWithTheirOwnIndexBases) {
    ASSERT_EQ(Load("{\nprop hair_1\n{\ngeomCustom\n{\nnumbVerts 4\nnumbTVerts 2\nnumbElems 1\n"
                   "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 5 5 5\nvt 0 0\nvt 1 1\nf 1/2 2/1 3/2\n}\n}\n"
                   "prop hair_2\n{\ngeomCustom\n{\nnumbVerts 3\nnumbElems 2\n"
                   "v 0 0 1\nv 1 0 1\nv 0 1 1\nf 1 2 3\nl 3 2\n}\n}\nprop\n{\n}\n}\n"),
              1);
    EXPECT_STREQ(mesh->name, "hair_2");  // the last object that has a name
    EXPECT_EQ(mesh->vertexCount, 7);
    EXPECT_EQ(mesh->texCoordCount, 2);
    EXPECT_EQ(mesh->faceCount, 3);
    EXPECT_EQ(mesh->polygonCount, 2);
    EXPECT_EQ(mesh->lineCount, 1);
    const int32_t corners[3][4] = {{0, 1, 2, -1}, {4, 5, 6, -1}, {6, 5, -1, -1}};
    // The second block read no coordinate: its corners fall back to the first.
    const int32_t tex[3][4] = {{1, 0, 1, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    for (int s = 0; s < 3; ++s) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(mesh->faceVertexIndices[4 * s + c], corners[s][c]) << s << "," << c;
            EXPECT_EQ(mesh->faceTexIndices[4 * s + c], tex[s][c]) << s << "," << c;
        }
    }
    EXPECT_EQ(mesh->faceAttributes[2], FaceLine | (2u << FaceStrandCountShift));
}

TEST_F(PoserLoad, StrandsKeepTheirPointCount) {
    std::string text = "{\nhairProp guides\n{\ngeomCustom\n{\nnumbVerts 32\nnumbElems 2\n";
    for (int i = 0; i < 32; ++i) text += "v 0 " + std::to_string(i) + " 0\n";
    std::string all;
    for (int i = 1; i <= 32; ++i) all += " " + std::to_string(i);
    text += "g guides\nl 1 2 3 4 5 6 7\nl" + all + "\nl 1\n}\n}\n}\n";
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ(mesh->lineCount, 2);
    EXPECT_EQ(mesh->polygonCount, 0);
    EXPECT_EQ(mesh->faceCount, 2 + 11);
    EXPECT_EQ(FaceStrandCount(mesh->faceAttributes[0]), 7u);
    EXPECT_EQ(FaceStrandCount(mesh->faceAttributes[1]), 0u);
    EXPECT_EQ(mesh->faceVertexIndices[4], 3);  // the continuation repeats point 4
    EXPECT_EQ(FaceStrandCount(mesh->faceAttributes[2]), 32u);
    EXPECT_EQ(mesh->faceAttributes[2] & FaceLine, FaceLine);
    EXPECT_STREQ(mesh->groupNames[0], "guides");
    // No coordinates in the file: spherical ones, one per used corner.
    EXPECT_GT(mesh->texCoordCount, 0);
}

// Long statements load in a geometry block exactly as in an OBJ file: up to
// 511 groups, a 512th drops the statement.
TEST_F(PoserLoad, LongStatementsAsInObjFiles) {
    std::string vertices;
    for (int i = 0; i < 512; ++i) vertices += "v " + std::to_string(i) + " " + std::to_string(i % 7) + " 0\n";
    for (const char* keyword : {"f", "l"}) {
        for (int n : {2, 32, 33, 64, 511, 512}) {
            SCOPED_TRACE(std::string(keyword) + std::to_string(n));
            std::string statement = keyword;
            for (int i = 1; i <= n; ++i) statement += " " + std::to_string(i) + "/" + std::to_string(i % 3 + 1);
            statement += "\nf 1 2 3\n";
            const std::string geometry = "vt 0 0\nvt 1 0\nvt 0 1\n" + statement;
            TestMeshPtr obj;
            ASSERT_EQ(LoadObjText(vertices + geometry, &obj), 1);
            ASSERT_EQ(Load("{\nprop a\n{\ngeomCustom\n{\nnumbVerts 512\nnumbTVerts 3\nnumbElems 2\n" + vertices +
                           geometry + "}\n}\n}\n"),
                      1);
            EXPECT_EQ(DescribeSlots(*mesh), DescribeSlots(*obj));
            EXPECT_EQ(DescribeTexIndices(*mesh), DescribeTexIndices(*obj));
            const bool line = keyword[0] == 'l', dropped = n == 512 || (n == 2 && !line);
            EXPECT_EQ(mesh->faceCount, dropped ? 1 : 1 + (line ? StrandSlotCount(n) : PolygonSlotCount(n)));
        }
    }
}

TEST_F(PoserLoad, GroupsAndMaterials) {
    std::string text = "{\nprop a\n{\ngeomCustom\n{\nnumbVerts 3\nnumbElems 1\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
    text += "usemtl skin:1\ng left arm\nf 1 2 3\ng\nusemtl hair\ng right\nf 1 2 3\ng left\nusemtl skin\nf 1 2 3\n";
    for (int i = 0; i < 512; ++i) text += "g extra" + std::to_string(i) + "\n";
    text += "f 1 2 3\n}\n}\n}\n";
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ(mesh->materialCount, 2);
    EXPECT_STREQ(mesh->materialNames[0], "skin");
    EXPECT_STREQ(mesh->materialNames[1], "hair");
    EXPECT_EQ(mesh->groupCount, 512);
    EXPECT_STREQ(mesh->groupNames[0], "left");
    EXPECT_STREQ(mesh->groupNames[1], "right");
    EXPECT_STREQ(mesh->groupNames[511], "extra509");
    const FaceAttributes want[] = {0, 1 << FaceGroupShift | 1, 0, 511u << FaceGroupShift};
    for (int s = 0; s < 4; ++s) EXPECT_EQ(mesh->faceAttributes[s], want[s]) << s;
}

TEST_F(PoserLoad, MaterialValues) {
    const std::string geometry =
        "geomCustom\n{\nnumbVerts 3\nnumbElems 1\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl skin:1\nf 1 2 3\n}\n";
    const Material defaults = DefaultMaterial();
    const struct {
        const char* what;
        std::string body;
        std::function<void(const Material&, const Mesh&)> check;
    } cases[] = {
        {"colours", "KdColor 0.8 0.6 0.4 1\nKaColor 0.1 0.2 0.3\nKsColor 0.5 0.5 0.25 1\n",
         [](const Material& m, const Mesh&) {
             EXPECT_EQ(m.diffuse[0], 0.8f);
             EXPECT_EQ(m.diffuse[2], 0.4f);
             EXPECT_EQ(m.ambient[1], 0.2f);
             EXPECT_EQ(m.specular[2], 0.25f);
             EXPECT_EQ(m.specularExponent, 10);
             EXPECT_EQ(m.diffuseLevel, 1.0f);
         }},
        {"NsExponent truncates", "NsExponent 12.9\n",
         [](const Material& m, const Mesh&) { EXPECT_EQ(m.specularExponent, 12); }},
        {"NsExponent then KsColor", "NsExponent 50\nKsColor 1 1 1\n",
         [](const Material& m, const Mesh&) { EXPECT_EQ(m.specularExponent, 10); }},
        {"NsExponent saturates", "NsExponent -1e30\n",
         [](const Material& m, const Mesh&) { EXPECT_EQ(m.specularExponent, INT32_MIN); }},
        {"tMax 0.5", "tMax 0.5\n",
         [](const Material& m, const Mesh&) {
             EXPECT_EQ(m.transparency, 0x7F7F7F);
             EXPECT_EQ(m.materialFlags & MaterialTransparent, MaterialTransparent);
         }},
        {"tMax 2 is 1", "tMax 2\n", [](const Material& m, const Mesh&) { EXPECT_EQ(m.transparency, 0xFFFFFF); }},
        {"tMax 0 keeps the flag", "tMax 0.5\ntMax 0\n",
         [](const Material& m, const Mesh&) {
             EXPECT_EQ(m.transparency, 0);
             EXPECT_EQ(m.materialFlags, MaterialTransparent);
         }},
        {"tMax below 0", "tMax -3\n",
         [](const Material& m, const Mesh&) {
             EXPECT_EQ(m.transparency, 0);
             EXPECT_EQ(m.materialFlags, 0);
         }},
        {"texture map", "textureMap \"C:\\Runtime\\textures\\hair.jpg\" 0 0\n",
         [](const Material&, const Mesh& loaded) { EXPECT_STREQ(loaded.textureNames[0], "hair.jpg"); }},
        {"nested blocks are skipped", "shaderTree\n{\nnode x\n{\nKdColor 0 0 0\n}\n}\nKdColor 0.5 0.5 0.5\n",
         [](const Material& m, const Mesh&) { EXPECT_EQ(m.diffuse[0], 0.5f); }},
        {"unknown lines are ignored", "TextureColor 1 1 1 1\nbumpMap NO_MAP\nreflectionStrength 1\n",
         [&defaults](const Material& m, const Mesh&) { EXPECT_EQ(m.diffuse[0], defaults.diffuse[0]); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Load("{\nprop a\n{\n" + geometry + "material skin\n{\n" + c.body + "}\n}\n}\n"), 1) << Message();
        c.check(mesh->materials[0], *mesh);
    }
    const char* const malformed[] = {"KdColor 1 1\n", "KaColor\n", "KsColor a b c\n", "NsExponent x\n", "tMax\n"};
    for (const char* body : malformed) {
        SCOPED_TRACE(body);
        ResetFake();
        EXPECT_EQ(Load("{\nprop a\n{\n" + geometry + "material skin\n{\n" + body + "}\n}\n}\n"), 0);
        EXPECT_EQ(Message(), "Error: Unable to read file");
    }
}

TEST_F(PoserLoad, OnlyMaterialsTheGeometryNamedAreRead) {
    const std::string geometry =
        "geomCustom\n{\nnumbVerts 3\nnumbElems 1\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl skin\nf 1 2 3\n}\n";
    // Before the geometry the name is not known yet: the block is skipped.
    ASSERT_EQ(Load("{\nprop a\n{\nmaterial skin\n{\nKdColor 0 0 0\n}\n" + geometry + "}\n}\n"), 1);
    EXPECT_EQ(mesh->materials[0].diffuse[0], 1.0f);
    // A block for an unused name is skipped whole, nested blocks included,
    // and even a malformed colour in it does not matter.
    ASSERT_EQ(Load("{\nprop a\n{\n" + geometry +
                   "material other\n{\nKdColor bad\nshaderTree\n{\nnode\n{\n}\n}\n}\nmaterial skin\n{\nKdColor 0.25 0 "
                   "0\n}\n}\n}\n"),
              1);
    EXPECT_EQ(mesh->materials[0].diffuse[0], 0.25f);
    EXPECT_EQ(mesh->materialCount, 1);
    // A material whose block never opens.
    EXPECT_EQ(Load("{\nprop a\n{\n" + geometry + "material skin\n}\n}\n}\n"), 0);
    EXPECT_EQ(Message(), "Error: Unable to read file");
}

struct SampleFile {
    const char* file;
    const char* name;
    int vertices, texCoords, slots, polygons, lines, groups, materials;
};

// Files laid out the way hair, prop and figure files are.
TEST_F(PoserLoad, SampleFiles) {
    const SampleFile samples[] = {
        {"hair.hr2", "Ponytail_1", 17, 0, 6, 0, 3, 1, 1},
        {"prop.pp2", "jewel_box_1", 8, 4, 6, 6, 0, 1, 2},
        {"figure.cr2", "fringe", 6, 3, 2, 1, 1, 1, 1},
    };
    for (const SampleFile& s : samples) {
        SCOPED_TRACE(s.file);
        mesh.reset(CreateMesh("prop"));
        ASSERT_EQ(LoadPoserFile(mesh.get(), SourcePath(std::string("tests/data/poser/") + s.file).c_str()), 1)
            << Message();
        EXPECT_STREQ(mesh->name, s.name);
        EXPECT_EQ(mesh->vertexCount, s.vertices);
        int usedCorners = 0;
        for (int k = 0; k < 4 * mesh->faceCount; ++k) usedCorners += mesh->faceVertexIndices[k] >= 0;
        // Without coordinates in the file, spherical ones: one per used corner.
        EXPECT_EQ(mesh->texCoordCount, s.texCoords ? s.texCoords : usedCorners);
        EXPECT_EQ(mesh->faceCount, s.slots);
        EXPECT_EQ(mesh->polygonCount, s.polygons);
        EXPECT_EQ(mesh->lineCount, s.lines);
        EXPECT_EQ(mesh->groupCount, s.groups);
        EXPECT_EQ(mesh->materialCount, s.materials);
    }
}

TEST_F(PoserLoad, SampleMaterials) {
    mesh.reset(CreateMesh("prop"));
    ASSERT_EQ(LoadPoserFile(mesh.get(), SourcePath("tests/data/poser/hair.hr2").c_str()), 1);
    const Material& hair = mesh->materials[0];
    EXPECT_STREQ(mesh->materialNames[0], "PonytailHair");
    EXPECT_EQ(hair.diffuse[0], 0.35f);
    EXPECT_EQ(hair.specularExponent, 40);
    EXPECT_EQ(hair.transparency, 0x3F3F3F);
    EXPECT_EQ(hair.materialFlags, MaterialTransparent);
    EXPECT_STREQ(mesh->textureNames[0], "ponytail.jpg");
    EXPECT_EQ(FaceStrandCount(mesh->faceAttributes[0]), 6u);
    EXPECT_EQ(FaceStrandCount(mesh->faceAttributes[4]), 5u);
    EXPECT_NEAR(mesh->boundsMax.y, 0.63f, 1e-6f);

    mesh.reset(CreateMesh("prop"));
    ASSERT_EQ(LoadPoserFile(mesh.get(), SourcePath("tests/data/poser/prop.pp2").c_str()), 1);
    EXPECT_STREQ(mesh->materialNames[0], "Wood");
    EXPECT_EQ(mesh->materials[0].specularExponent, 12);
    EXPECT_EQ(mesh->materials[0].ambient[0], 0.1f);
    EXPECT_STREQ(mesh->textureNames[0], "wood grain.jpg");
    EXPECT_STREQ(mesh->textureNames[1], "");
    EXPECT_EQ(mesh->materials[1].transparency, 0x7F7F7F);
    EXPECT_EQ(mesh->faceAttributes[4], 1u);  // the lid
    EXPECT_EQ(mesh->faceAttributes[5], 0u);

    mesh.reset(CreateMesh("prop"));
    ASSERT_EQ(LoadPoserFile(mesh.get(), SourcePath("tests/data/poser/figure.cr2").c_str()), 1);
    EXPECT_STREQ(mesh->materialNames[0], "FringeMat");
    EXPECT_EQ(mesh->materials[0].diffuse[0], 0.1f);  // from the figure block
    EXPECT_STREQ(mesh->textureNames[0], "fringe.jpg");

    mesh.reset(CreateMesh("prop"));
    EXPECT_EQ(LoadPoserFile(mesh.get(), SourcePath("tests/data/poser/external.cr2").c_str()), 0);
    EXPECT_EQ(Message(), "Error: No internal geometry");
}

// Every prefix of a real-shaped file fails cleanly with the right message.
TEST_F(PoserLoad, TruncatedFilesFail) {
    const std::string full = ReadWholeFile(SourcePath("tests/data/poser/figure.cr2"));
    const size_t close = full.rfind('}');
    ASSERT_NE(close, std::string::npos);
    const long live = LiveAllocationCount();
    for (size_t n = 0; n <= close; n += 7) {
        ResetFake();
        EXPECT_EQ(Load(full.substr(0, n)), 0) << n;
        EXPECT_EQ(Message(), "Error: Unable to read file") << n;
        mesh.reset();
    }
    EXPECT_EQ(LiveAllocationCount(), live);
    // A brace is a token as soon as it is read: the closing one needs no line
    // break after it.
    EXPECT_EQ(Load(full.substr(0, close + 1)), 1);
}

TEST_F(PoserLoad, AllocationFailuresComeBackAsFailures) {
    const std::string file = SourcePath("tests/data/poser/hair.hr2");
    const long live = LiveAllocationCount();
    bool loaded = false;
    for (long n = 1; n <= 40 && !loaded; ++n) {
        SCOPED_TRACE(n);
        ResetFake();
        Mesh* m = CreateMesh("prop");
        ASSERT_NE(m, nullptr);
        FailAllocationAfter(n);
        loaded = LoadPoserFile(m, file.c_str()) == 1;
        FailAllocationAfter(0);
        if (!loaded) {
            ASSERT_FALSE(Fake().messages.empty());
            EXPECT_EQ(Fake().messages.back().text, "Unable to read file");
        }
        FreeMesh(m);
        EXPECT_EQ(LiveAllocationCount(), live);
    }
    EXPECT_TRUE(loaded);
}

}  // namespace
