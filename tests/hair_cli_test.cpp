// quillmere-cli hair end to end: the bundled examples and the strand files
// of the shared corpus become OBJ files of ribbon quads, one quad per strand
// segment (one per line slot with --reduce), which a second loader reads.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/mesh_helpers.h"
#include "support/paths.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// Runs `program` with `args`, capturing its output streams.
CliRun Run(const std::string& program, const std::vector<std::string>& args, const std::string& dir) {
    const std::string out = dir + "/stdout.txt", err = dir + "/stderr.txt";
    std::string command = Quote(program);
    for (const std::string& a : args) command += " " + Quote(a);
    command += " >" + Quote(out) + " 2>" + Quote(err);
    int status = std::system(command.c_str());
#ifndef _WIN32
    if (status != -1 && WIFEXITED(status)) status = WEXITSTATUS(status);
#endif
    return CliRun{status, ReadWholeFile(out), ReadWholeFile(err)};
}

CliRun RunCli(const std::vector<std::string>& args, const std::string& dir) {
    return Run(QUILLMERE_CLI_PATH, args, dir);
}

// Quads the ribbons of a strand file must have, from its `l` statements
// (OBJ, or the indented ones of a Poser file): n - 1 per strand of n points,
// or with reduce one per line slot, 1 + ceil((n - 4) / 3).
int ExpectedQuads(const std::string& path, bool reduce) {
    std::istringstream text(ReadWholeFile(path));
    std::string line;
    int quads = 0;
    while (std::getline(text, line)) {
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, 2, "l ") != 0) continue;
        std::istringstream points(line.substr(start + 2));
        std::string point;
        int n = 0;
        while (points >> point) ++n;
        if (n < 2) continue;
        quads += reduce ? 1 + (n > 4 ? (n - 4 + 2) / 3 : 0) : n - 1;
    }
    return quads;
}

// Face statements of a written OBJ file, by corner count.
std::vector<int> FaceShapes(const std::string& path) {
    std::vector<int> shapes(6, 0);
    std::istringstream text(ReadWholeFile(path));
    std::string line;
    while (std::getline(text, line)) {
        if (line.rfind("f ", 0) == 0) {
            std::istringstream corners(line.substr(2));
            std::string corner;
            int n = 0;
            while (corners >> corner) ++n;
            ++shapes[n < 5 ? n : 5];
        } else if (line.rfind("l ", 0) == 0) {
            ++shapes[0];  // a strand left in the hair mesh
        }
    }
    return shapes;
}

// `assimp info --raw` of a file: its face count and primitive types.
bool AssimpInfo(const std::string& path, const std::string& dir, long* faces, std::string* types) {
    const CliRun run = Run("assimp", {"info", path, "--raw"}, dir);
    if (run.status != 0) return false;
    std::istringstream text(run.out);
    std::string line;
    *faces = -1;
    while (std::getline(text, line)) {
        if (line.rfind("Faces:", 0) == 0) *faces = std::atol(line.c_str() + 6);
        if (line.rfind("Primitive Types:", 0) == 0) {
            *types = line.substr(line.find_first_not_of(" ", 16));
        }
    }
    return *faces >= 0;
}

bool AssimpAvailable(const std::string& dir) { return Run("assimp", {"version"}, dir).status == 0; }

// Like the other command-line tests, these run on the native build: the
// Windows build under Wine cannot start the Linux second loader.
#ifdef _WIN32
#define NATIVE_ONLY() GTEST_SKIP() << "the command-line tests run on the native build"
#else
#define NATIVE_ONLY() (void)0
#endif

TEST(HairCli, StrandFilesBecomeRibbonQuads) {
    NATIVE_ONLY();
    std::vector<std::string> inputs = {SourcePath("examples/scalp_hair.obj"), SourcePath("examples/scalp_hair.hr2"),
                                       SourcePath("examples/brush_mixed.obj")};
    const std::string corpus = CorpusPath("obj");
    for (const char* name : {"tinyobjloader/models/line-prim.obj", "assimp-testmodels/OBJ/testmixed.obj",
                             "assimp-testmodels/OBJ/testline.obj"}) {
        if (!corpus.empty()) inputs.push_back(corpus + "/" + name);
    }
    const std::string dir = TempDir(TestDirName());
    const bool assimp = AssimpAvailable(dir);
    for (const std::string& input : inputs) {
        for (bool reduce : {false, true}) {
            SCOPED_TRACE(input + (reduce ? " --reduce" : ""));
            const std::string output = dir + "/hair.obj";
            std::remove(output.c_str());
            std::vector<std::string> args = {"hair", input, "-o", output, "--radius-step", "14"};
            if (reduce) args.push_back("--reduce");
            const CliRun run = RunCli(args, dir);
            ASSERT_EQ(run.status, 0) << run.err;
            const int quads = ExpectedQuads(input, reduce);
            ASSERT_GT(quads, 0);
            const std::vector<int> shapes = FaceShapes(output);
            EXPECT_EQ(shapes[4], quads);
            EXPECT_EQ(shapes[0] + shapes[1] + shapes[2] + shapes[3] + shapes[5], 0);
            if (!assimp) continue;
            long faces = 0;
            std::string types;
            ASSERT_TRUE(AssimpInfo(output, dir, &faces, &types));
            EXPECT_EQ(faces, quads);
            EXPECT_EQ(types, "n-polygons");
        }
    }
    if (!assimp) {
        if (RunningInCi()) FAIL() << "assimp (Debian assimp-utils) is needed in CI";
        GTEST_SKIP() << "assimp is not installed: quad counts checked, the second loader not run";
    }
}

// --keep-faces copies the polygons beside the ribbons.
TEST(HairCli, KeepFacesCopiesPolygons) {
    NATIVE_ONLY();
    const std::string dir = TempDir(TestDirName());
    const std::string input = SourcePath("examples/brush_mixed.obj");
    const CliRun run = RunCli({"hair", input, "-o", dir + "/brush.obj", "--keep-faces"}, dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<int> shapes = FaceShapes(dir + "/brush.obj");
    EXPECT_EQ(shapes[3], 8);  // the disc's triangles
    EXPECT_EQ(shapes[4], 8 + ExpectedQuads(input, false));
}

TEST(HairCli, FailuresAndUsage) {
    NATIVE_ONLY();
    const std::string dir = TempDir(TestDirName());
    {
        std::ofstream noStrands(dir + "/triangle.obj", std::ios::binary);
        noStrands << "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    }
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* err;  // expected in stderr
    };
    const std::string out = dir + "/out.obj";
    const Case cases[] = {
        {{"hair", dir + "/triangle.obj", "-o", out}, 1, "error: unable to create hair\n"},
        {{"hair", dir + "/triangle.obj", "-o", out, "--radius-step", "21"}, 2, "--radius-step"},
        {{"hair", dir + "/triangle.obj", "-o", out, "--radius-step", "3x"}, 2, "--radius-step"},
        {{"hair", dir + "/triangle.obj", "-o", out, "--stretch-step", "-11"}, 2, "--stretch-step"},
        {{"hair", dir + "/triangle.obj"}, 2, "-o OUT.obj"},
        {{"hair", dir + "/triangle.obj", "-o", out, "--thin"}, 2, "hair: unknown option --thin\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const CliRun run = RunCli(c.args, dir);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_FALSE(FileExists(out));
    }
}

}  // namespace
