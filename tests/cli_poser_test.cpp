// quillmere-cli info and export on Poser files and the built-in model, run as
// the built program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/mesh_helpers.h"
#include "support/cli_run.h"
#include "support/paths.h"

namespace {

using CliResult = CliRunResult;

CliResult Cli(const std::string& arguments) { return RunCliProgram("cli-poser-run", arguments); }

class CliPoser : public ::testing::Test {
  protected:
    void SetUp() override {
#if defined(_WIN32)
        GTEST_SKIP() << "the command-line tests run on the native build";
#endif
        dir_ = TempDir(TestDirName("cli-poser"));
    }
    // A copy of a sample file under another name, compressed when the name
    // ends in 'z'.
    std::string Copy(const std::string& sample, const std::string& name) {
        const std::string bytes = ReadWholeFile(SourcePath("tests/data/poser/" + sample));
        WriteBytesFile(dir_ + "/" + name, name.back() == 'z' || name.back() == 'Z' ? GzipBytes(bytes) : bytes);
        return "'" + dir_ + "/" + name + "'";
    }
    std::string dir_;
};

TEST_F(CliPoser, InfoWithoutFileShowsTheBuiltinModel) {
    const CliResult r = Cli("info");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "name: computer\nvertices: 286\nuv vertices: 286\nfaces: 329\nlines: 0\ngroups: 1\nmaterials: 7\n"
              "bounds: -0.451494992 0 -0.162784994 0.451494992 0.627659976 0.162784994\n");
}

// Every letter case of the three extensions chooses the Poser reader.
TEST_F(CliPoser, InfoReadsPoserFilesInAnyCase) {
    const struct {
        const char* sample;
        const char* name;
        const char* meshName;  // the last named object
        const char* counts;
    } cases[] = {
        {"hair.hr2", "Hair.HR2", "Ponytail_1",
         "vertices: 17\nuv vertices: 20\nfaces: 0\nlines: 3\ngroups: 1\nmaterials: 1\n"},
        {"prop.pp2", "box.pP2", "jewel_box_1",
         "vertices: 8\nuv vertices: 4\nfaces: 6\nlines: 0\ngroups: 1\nmaterials: 2\n"},
        {"hair.hr2", "Hair.hrZ", "Ponytail_1",
         "vertices: 17\nuv vertices: 20\nfaces: 0\nlines: 3\ngroups: 1\nmaterials: 1\n"},
        {"figure.cr2", "fig.Cr2", "fringe",
         "vertices: 6\nuv vertices: 3\nfaces: 1\nlines: 1\ngroups: 1\nmaterials: 1\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const CliResult r = Cli("info " + Copy(c.sample, c.name));
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.substr(0, r.out.find("bounds:")),
                  std::string("file: ") + c.name + "\nname: " + c.meshName + "\n" + c.counts);
        EXPECT_EQ(r.err, "");
    }
}

TEST_F(CliPoser, Failures) {
    const struct {
        std::string arguments;
        std::string err;
    } cases[] = {
        {"info " + Copy("figure.cr2", "fig.cR3"), "fig.cR3: Not supported file format\n"},
        {"info " + Copy("figure.cr2", "fig.cr"), "fig.cr: Not supported file format\n"},
        {"info " + Copy("external.cr2", "external.cr2"), "Error: No internal geometry\n"},
        {"info '" + dir_ + "/absent.hr2'", "Error: Unable to read file\n"},
        {"export " + Copy("external.cr2", "x.CR2") + " -o '" + dir_ + "/x.obj'", "Error: No internal geometry\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliResult r = Cli(c.arguments);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out, "");
    }
    EXPECT_FALSE(FileExists(dir_ + "/x.obj"));
}

// The strands of a hair file come out as whole polylines.
TEST_F(CliPoser, ExportWritesTheStrands) {
    const CliResult r = Cli("export " + Copy("hair.hr2", "hair.hr2") + " -o '" + dir_ + "/hair.obj'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string obj = ReadWholeFile(dir_ + "/hair.obj");
    EXPECT_NE(obj.find("usemtl PonytailHair"), std::string::npos);
    size_t lines = 0;
    for (size_t at = obj.find("\nl "); at != std::string::npos; at = obj.find("\nl ", at + 1)) ++lines;
    EXPECT_EQ(lines, 3u);
    EXPECT_NE(ReadWholeFile(dir_ + "/hair.mtl").find("map_Kd ponytail.jpg"), std::string::npos);
}

}  // namespace
