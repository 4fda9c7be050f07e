// quillmere-cli info and export, run as the built program.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "formats/builtin_model.h"
#include "formats/obj_reader.h"
#include "formats/obj_writer.h"
#include "support/mesh_helpers.h"
#include "support/cli_run.h"
#include "support/paths.h"
#include "support/platform_fake.h"

namespace {

using RunResult = CliRunResult;

RunResult RunCli(const std::string& arguments) { return RunCliProgram("cli-obj-run", arguments); }

const char* const strandsObj =
    "g hair\nusemtl skin\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 2.5\nvt 0 0\nvt 1 1\n"
    "f 1/1 2/2 3/1 4/2 5/1\nl 1 2 3 4 5\nl 5 1\n";

class CliObj : public ::testing::Test {
  protected:
    void SetUp() override {
#if defined(_WIN32)
        GTEST_SKIP() << "the command-line tests run on the native build";
#endif
        dir_ = TempDir(TestDirName("cli-obj"));
        WriteBytesFile(dir_ + "/Strands.OBJ", strandsObj);
    }
    std::string dir_;
};

TEST_F(CliObj, Info) {
    const RunResult r = RunCli("info '" + dir_ + "/Strands.OBJ'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(
        r.out,
        "file: Strands.OBJ\nname: prop\nvertices: 5\nuv vertices: 2\nfaces: 1\nlines: 2\ngroups: 1\nmaterials: 1\n"
        "bounds: 0 0 0 1 1 2.5\n");
    EXPECT_EQ(r.err, "");
}

// Without FILE: the built-in model under the name the program starts with.
TEST_F(CliObj, InfoOfTheBuiltinModel) {
    const RunResult r = RunCli("info");
    ASSERT_EQ(r.status, 0) << r.err;
    TestMeshPtr mesh(CreateMesh("computer"));
    int32_t materialsTaken = 0;
    ASSERT_EQ(LoadBuiltinModel(mesh.get(), &materialsTaken), 1);
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "name: computer\nvertices: %d\nuv vertices: %d\nfaces: %d\nlines: %d\ngroups: %d\n"
                  "materials: %d\nbounds: %.9g %.9g %.9g %.9g %.9g %.9g\n",
                  mesh->vertexCount, mesh->texCoordCount, mesh->polygonCount, mesh->lineCount, mesh->groupCount,
                  mesh->materialCount, double(mesh->boundsMin.x), double(mesh->boundsMin.y), double(mesh->boundsMin.z),
                  double(mesh->boundsMax.x), double(mesh->boundsMax.y), double(mesh->boundsMax.z));
    EXPECT_EQ(r.out, expected);
    EXPECT_GT(mesh->polygonCount, 0);
}

TEST_F(CliObj, Failures) {
    struct Case {
        std::string arguments;
        int status;
        std::string err;  // the start of stderr
    };
    WriteBytesFile(dir_ + "/mesh.objx", strandsObj);
    WriteBytesFile(dir_ + "/only.obj", "v 1 2 3\n");
    const Case cases[] = {
        {"info '" + dir_ + "/mesh.objx'", 1, "mesh.objx: Not supported file format\n"},
        {"info '" + dir_ + "/only.obj'", 1, dir_ + "/only.obj: Error: failed to open\n"},
        {"info '" + dir_ + "/missing.obj'", 1, dir_ + "/missing.obj: Error: failed to open\n"},
        {"info a.obj b.obj", 2, "quillmere-cli: info:"},
        {"info --bounds", 2, "quillmere-cli: info: unknown option --bounds\n"},
        {"export x.obj -o", 2, "quillmere-cli: export: -o needs a file name\n"},
        {"export x.obj y.obj", 2, "quillmere-cli: export: unexpected argument y.obj\n"},
        {"jpeg x.jpg --fast", 2, "quillmere-cli: jpeg: unknown option --fast\n"},
        {"render --hiar", 2, "quillmere-cli: render: unknown option --hiar\n"},
        {"--verbose info", 2, "quillmere-cli: unknown option --verbose\n"},
        {"convert x.obj", 2, "quillmere-cli: unknown command convert\n"},
        {"export '" + dir_ + "/Strands.OBJ'", 2, "quillmere-cli: export:"},
        {"export -o x.obj", 2, "quillmere-cli: export:"},
        {"export '" + dir_ + "/Strands.OBJ' -o " + std::string(320, 'x') + ".obj", 2, "quillmere-cli: export:"},
        {"export '" + dir_ + "/Strands.OBJ' -o '" + dir_ + "/no/folder/x.obj'", 1,
         "Error cannot create: " + dir_ + "/no/folder/x.obj\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const RunResult r = RunCli(c.arguments);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
        EXPECT_EQ(r.out, "");
    }
}

// Help and the version answer on stdout wherever they stand and succeed.
TEST_F(CliObj, HelpAndVersion) {
    const struct {
        const char* arguments;
        const char* out;  // the start of stdout
    } cases[] = {
        {"--help", "usage: quillmere-cli COMMAND"},
        {"-h", "usage: quillmere-cli COMMAND"},
        {"render -o x.bmp --help", "usage: quillmere-cli COMMAND"},
        {"info --nonsense -h", "usage: quillmere-cli COMMAND"},
        {"--version", "quillmere-cli 1.0\n"},
        {"export x.obj --version", "quillmere-cli 1.0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const RunResult r = RunCli(c.arguments);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.substr(0, std::strlen(c.out)), c.out);
        EXPECT_EQ(r.err, "");
    }
}

// The command line writes exactly what "Export as obj" writes.
TEST_F(CliObj, ExportEqualsTheExportCommand) {
    const RunResult r = RunCli("export '" + dir_ + "/Strands.OBJ' -o '" + dir_ + "/cli.obj'");
    ASSERT_EQ(r.status, 0) << r.err;
    ResetFake();
    TestMeshPtr mesh(CreateMesh("prop"));
    ASSERT_EQ(LoadObjFile(mesh.get(), (dir_ + "/Strands.OBJ").c_str()), 1);
    const std::string own = TempDir(TestDirName("cli-obj-own"));
    Fake().dialogAnswers = {own + "/cli.obj"};
    char name[MeshFileNameSize] = "Strands.OBJ";
    ASSERT_EQ(SaveObjFile(OwnerMainWindow, mesh.get(), name, sizeof name), 1);
    EXPECT_EQ(ReadWholeFile(dir_ + "/cli.obj"), ReadWholeFile(own + "/cli.obj"));
    EXPECT_EQ(ReadWholeFile(dir_ + "/cli.mtl"), ReadWholeFile(own + "/cli.mtl"));
    EXPECT_NE(ReadWholeFile(dir_ + "/cli.obj")
                  .find("\r\nmtllib cli.mtl\r\ng hair\r\nusemtl skin\r\n"
                        "f 1/1 2/2 3/1\r\nf 1/1 3/1 4/2\r\nf 1/1 4/2 5/1\r\n"
                        "l 1/1 2/1 3/1 4/1 5/1\r\nl 5/1 1/1\r\n"),
              std::string::npos);
}

}  // namespace
