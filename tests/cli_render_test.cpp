// quillmere-cli render, run as the built program: the saved picture's size,
// a few pixels, the options' effects, and usage errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/mesh_helpers.h"
#include "support/cli_run.h"
#include "support/paths.h"

namespace {

using RunResult = CliRunResult;

RunResult RunRender(const std::string& arguments, const std::string& environment = "") {
    return RunCliProgram("cli-render-run", "render " + arguments, environment);
}

// A saved 24-bit picture: pixel (x, y) with y = 0 the top row.
struct Picture {
    std::string bytes;
    int width() const { return Read32(18); }
    int height() const { return Read32(22); }
    int Read32(size_t at) const {
        return static_cast<int>(static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
                                static_cast<uint8_t>(bytes[at + 2]) << 16 |
                                static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24);
    }
    uint32_t At(int x, int y) const {
        const size_t row = (static_cast<size_t>(width()) * 3 + 3) & ~size_t{3};
        const size_t at = 54 + (height() - 1 - y) * row + x * 3;
        return static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 |
               static_cast<uint8_t>(bytes[at + 2]) << 16;
    }
};

// A small model: a quad and two strands.
const char* const modelObj =
    "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n"
    "v -0.5 1 0.2\nv -0.4 0.3 0.3\nv -0.2 -0.5 0.3\nv 0.3 1 0.2\nv 0.4 0.3 0.3\nv 0.6 -0.5 0.3\n"
    "f 1 2 3 4\nl 5 6 7\nl 8 9 10\n";

class CliRender : public ::testing::Test {
  protected:
    void SetUp() override {
#if defined(_WIN32)
        GTEST_SKIP() << "the command-line tests run on the native build";
#endif
        dir_ = TempDir(TestDirName("cli-render"));
        WriteBytesFile(dir_ + "/model.obj", modelObj);
    }
    Picture Render(const std::string& options, const std::string& environment = "") {
        const std::string out = dir_ + "/out.bmp";
        std::remove(out.c_str());
        const RunResult r = RunRender(options + " -o '" + out + "'", environment);
        EXPECT_EQ(r.status, 0) << options << ": " << r.err;
        return Picture{ReadWholeFile(out)};
    }
    std::string dir_;
};

TEST_F(CliRender, BuiltinModelFillsAStartUpFrame) {
    const Picture p = Render("");
    ASSERT_EQ(p.bytes.size(), 967254u);
    EXPECT_EQ(p.width(), 620);
    EXPECT_EQ(p.height(), 520);
    EXPECT_EQ(p.At(0, 0), 0x505050u) << "background grey1";
    EXPECT_EQ(p.At(619, 519), 0x505050u);
    int drawn = 0;
    for (int y = 0; y < 520; y += 4) {
        for (int x = 0; x < 620; x += 4) drawn += p.At(x, y) != 0x505050u;
    }
    EXPECT_GT(drawn, 1000) << "the model covers a good part of the view";
}

TEST_F(CliRender, ViewOptionsChangeThePicture) {
    const Picture plain = Render("--size 160x120");
    ASSERT_EQ(plain.bytes.size(), 54u + 160 * 3 * 120);
    struct Case {
        const char* options;
        bool sameAsPlain;
    } cases[] = {
        {"--size 160x120 --lights 1", true},
        {"--size 160x120 --wireframe", false},
        {"--size 160x120 --no-backcull --material Crystal", false},
        {"--size 160x120 --texture metal", false},
        {"--size 160x120 --lights 2,3", false},
        {"--size 160x120 --zoom 2", false},
        {"--size 160x120 --rotate y:90", false},
        {"--size 160x120 --invert", false},
    };
    for (const Case& c : cases) {
        const Picture p = Render(c.options);
        EXPECT_EQ(p.bytes == plain.bytes, c.sameAsPlain) << c.options;
    }
    EXPECT_EQ(Render("--size 160x120 --background 2").At(0, 0), 0x909090u);
}

TEST_F(CliRender, ReferenceAndMmxPathsSaveTheSameFile) {
    for (const char* options : {"--size 200x150", "--size 200x150 --texture pattern --no-backcull",
                                "--size 200x150 --material Crystal --zoom 1.5"}) {
        const Picture mmx = Render(options, "QUILLMERE_SCALAR=0");
        const Picture scalar = Render(options, "QUILLMERE_SCALAR=1");
        EXPECT_EQ(mmx.bytes, scalar.bytes) << options;
    }
}

TEST_F(CliRender, FileAndItsHair) {
    const std::string model = "'" + dir_ + "/model.obj'";
    const Picture mesh = Render(model + " --size 100x100");
    const Picture hair = Render(model + " --size 100x100 --hair --radius-step 20");
    ASSERT_EQ(mesh.bytes.size(), hair.bytes.size());
    EXPECT_NE(mesh.At(50, 50), 0x505050u) << "the quad covers the centre";
    EXPECT_NE(mesh.bytes, hair.bytes);
    const Picture wider = Render(model + " --size 100x100 --hair --radius-step 20 --stretch-step -10");
    EXPECT_NE(wider.bytes, hair.bytes);
}

TEST_F(CliRender, FailuresAndUsage) {
    struct Case {
        std::string arguments;
        int status;
        const char* message;
    } cases[] = {
        {"", 2, "-o OUT.bmp is required"},
        {"-o x.bmp --size 9x100", 2, "--size"},
        {"-o x.bmp --size 100", 2, "--size"},
        {"-o x.bmp --material Plastic", 2, "unknown material"},
        {"-o x.bmp --lights 0", 2, "--lights"},
        {"-o x.bmp --rotate w:10", 2, "--rotate"},
        {"-o x.bmp --zoom 0.5", 2, "--zoom"},
        {"-o x.bmp --background 3", 2, "--background"},
        {"-o x.bmp --radius-step 21", 2, "--radius-step"},
        {"-o x.bmp --frobnicate", 2, "unknown option"},
        {"'" + dir_ + "/missing.obj' -o '" + dir_ + "/x.bmp'", 1, ""},
        {"-o '" + dir_ + "/x.bmp' --texture '" + dir_ + "/missing.jpg'", 1, "Error reading Jpeg file"},
        {"-o '" + dir_ + "/no/such/folder/x.bmp'", 1, "Error cannot create"},
    };
    for (const Case& c : cases) {
        const RunResult r = RunRender(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.arguments << ": " << r.err;
    }
}

}  // namespace
