#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/commands.h"
#include "app/menu_commands.h"
#include "core/lights.h"
#include "core/memory.h"
#include "app/ui_ids.h"
#include "app/view.h"
#include "support/mesh_helpers.h"
#include "support/paths.h"
#include "support/platform_fake.h"

namespace {

// A triangle and one four-point strand.
const char* const strandObj =
    "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 0 0 1\nv 0.2 0.3 1.5\n"
    "f 1 2 3\n"
    "l 1 4 5 2\n";
// Two triangles, no strand.
const char* const plainObj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nf 1 2 3\nf 2 4 3\n";
// A hair prop with one strand of three points.
const char* const hairPoser =
    "{\n"
    "version\n{\nnumber 4.01\n}\n"
    "hairProp hair_1\n{\n"
    "geomCustom\n{\n"
    "numbVerts 3\nnumbTVerts 0\nnumbElems 1\n"
    "v 0 0 0\nv 0 1 0\nv 0.5 2 0.1\n"
    "l 1 2 3\n"
    "}\n}\n}\n";

void WriteFile(const std::string& path, const char* text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

class CommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        FailAllocationAfter(0);
        ResetAppState();
        ResetFake();
        dir = TempDir("commands");
    }
    void TearDown() override {
        FailAllocationAfter(0);
        ResetAppState();
        ResetFake();
        std::error_code error;
        std::filesystem::remove_all(dir, error);
    }

    // Starts like the program: state, then the tool bar's first look.
    void StartUp() {
        ASSERT_EQ(InitialiseAppState(), 1);
        InitialiseToolBarControls();
    }

    std::string File(const std::string& name, const char* text) {
        const std::string path = dir + "/" + name;
        WriteFile(path, text);
        return path;
    }

    int Open(const std::string& path) {
        Fake().dialogAnswers.push_back(path);
        return OpenMeshFile();
    }

    std::vector<std::string> Statistics() {
        std::vector<std::string> values;
        for (int id = IDC_STAT_VERTICES; id <= IDC_STAT_MATERIALS; ++id) values.push_back(Fake().toolBarTexts[id]);
        return values;
    }

    std::string dir;
};

TEST_F(CommandsTest, StartUpState) {
    StartUp();
    EXPECT_EQ(Statistics(), (std::vector<std::string>{"286", "286", "329", "0", "1", "7"}));
    EXPECT_EQ(appState.model.scene.meshCount, 1);
    EXPECT_STREQ(appState.model.scene.meshes[0]->name, "computer");
    EXPECT_STREQ(appState.model.meshFileName, "computer");
    EXPECT_EQ(appState.shading.propMaterial, 1);
    EXPECT_EQ(appState.shading.materialSelection, PropMaterialPreset);
    EXPECT_EQ(Fake().menuChecks[IDM_MATERIAL_PROP], 1);
    EXPECT_EQ(Fake().menuChecks.count(IDM_MATERIAL_FIRST), 0u);
    EXPECT_EQ(Fake().menuChecks[IDM_BACKGROUND_GREY1], 1);
    EXPECT_EQ(Fake().menuChecks[IDM_TEXTURE_WOOD], 1);
    EXPECT_EQ(Fake().menuChecks[IDM_LIGHT1], 1);
    EXPECT_EQ(Fake().toolBarEnabled[IDC_CREATE], 0);
    EXPECT_EQ(Fake().toolBarChecks[IDC_ORIGINAL], 1);
    EXPECT_EQ(Fake().toolBarEnabled[IDC_ORIGINAL], 0);
    EXPECT_EQ(Fake().toolBarChecks[IDC_BACKCULLED], 1);
    EXPECT_EQ(Fake().toolBarChecks[IDC_ONLY_DYNAMIC], 1);
    EXPECT_EQ(Fake().toolBarTexts[IDC_RADIUS_VALUE], "0.000500");
    EXPECT_EQ(Fake().toolBarTexts[IDC_STRETCH_VALUE], "0.000");
    EXPECT_TRUE(Fake().messages.empty());
    EXPECT_TRUE(Fake().titles.empty());
    const float tilt[16] = {1, 0, 0, 0, 0, 0.866025f, -0.5f, 0, 0, 0.5f, 0.866025f, 0, 0, 0, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(appState.view.rotation.m[i], tilt[i], 1e-6f) << i;
    // The three built-in images, at their own sizes.
    const int sizes[3][2] = {{476, 1066}, {652, 422}, {512, 512}};
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_NE(appState.texturing.textures[slot].pixels, nullptr) << slot;
        EXPECT_EQ(appState.texturing.textures[slot].width, sizes[slot][0]);
        EXPECT_EQ(appState.texturing.textures[slot].height, sizes[slot][1]);
    }
    EXPECT_EQ(appState.texturing.textures[TextureUser].pixels, nullptr);
    EXPECT_EQ(appState.texturing.currentTexture, &appState.texturing.textures[TextureWood]);
}

// Every allocation of the start-up can fail: a texture that cannot be decoded
// is left out silently, no memory for the model ends the start quietly, a
// model that does not load says so; nothing leaks.
TEST_F(CommandsTest, StartUpAllocationFailures) {
    const long live = LiveAllocationCount();
    int silentEnds = 0, reportedEnds = 0, startsWithoutTexture = 0;
    for (long n = 1;; ++n) {
        ResetAppState();
        ResetFake();
        FailAllocationAfter(n);
        const int started = InitialiseAppState();
        FailAllocationAfter(0);
        if (started) {
            int empty = 0;
            for (int slot = 0; slot < 3; ++slot) empty += appState.texturing.textures[slot].pixels == nullptr;
            if (empty == 0) break;  // n is past the last allocation
            ++startsWithoutTexture;
            EXPECT_TRUE(Fake().messages.empty());
        } else if (Fake().messages.empty()) {
            ++silentEnds;
        } else {
            ++reportedEnds;
            ASSERT_EQ(Fake().messages.size(), 1u);
            EXPECT_EQ(Fake().messages[0].text, "Error");
            EXPECT_EQ(Fake().messages[0].caption, "Internal Object error");
        }
        if (!started) {
            EXPECT_EQ(appState.model.scene.meshCount, 0);
        }
        ResetAppState();
        EXPECT_EQ(LiveAllocationCount(), live) << "allocation " << n;
        ASSERT_LT(n, 100000);
    }
    EXPECT_EQ(silentEnds, 1);
    EXPECT_GE(reportedEnds, 1);
    EXPECT_GE(startsWithoutTexture, 3);
}

TEST_F(CommandsTest, OpenDispatchesOnTheExtension) {
    struct Case {
        const char* name;
        const char* text;
        int opened;
        const char* meshName;
    };
    const Case cases[] = {
        {"model.OBJ", strandObj, 1, "prop"},
        {"Hair.Hr2", hairPoser, 1, "hair_1"},
        {"fig.CR2", hairPoser, 1, "hair_1"},
        {"prop.pP2", hairPoser, 1, "hair_1"},
        {"fig.cR3", hairPoser, 0, nullptr},
        {"mesh.ob", strandObj, 0, nullptr},
        {"mesh.objx", strandObj, 0, nullptr},
        {"obj", strandObj, 0, nullptr},
        {"hr2.", hairPoser, 0, nullptr},
        // The compressed kinds (written as gzip below) load as their originals.
        {"model.oBZ", strandObj, 1, "prop"},
        {"Hair.HRZ", hairPoser, 1, "hair_1"},
        {"fig.crz", hairPoser, 1, "hair_1"},
        {"prop.Ppz", hairPoser, 1, "hair_1"},
        {"mesh.obzz", strandObj, 0, nullptr},
        {"mesh.gz", strandObj, 0, nullptr},
    };
    StartUp();
    for (const Case& c : cases) {
        ResetFake();
        Mesh* const before = appState.model.scene.meshes[0];
        const std::string path = dir + "/" + c.name;
        const char last = c.name[std::strlen(c.name) - 1];
        WriteBytesFile(path, last == 'z' || last == 'Z' ? GzipBytes(c.text) : std::string(c.text));
        EXPECT_EQ(Open(path), c.opened) << c.name;
        if (c.opened) {
            EXPECT_TRUE(Fake().messages.empty()) << c.name;
            EXPECT_STREQ(appState.model.scene.meshes[0]->name, c.meshName);
            EXPECT_STREQ(appState.model.meshFileName, c.name);
            ASSERT_EQ(Fake().titles.size(), 1u);
            EXPECT_EQ(Fake().titles[0], std::string("Quillmere:   ") + c.name);
        } else {
            ASSERT_EQ(Fake().messages.size(), 1u) << c.name;
            EXPECT_EQ(Fake().messages[0].text, "Not supported file format");
            EXPECT_EQ(Fake().messages[0].caption, c.name);
            EXPECT_EQ(Fake().messages[0].style, MessageIconError);
            EXPECT_EQ(appState.model.scene.meshes[0], before);
            EXPECT_TRUE(Fake().titles.empty());
        }
    }
}

TEST_F(CommandsTest, OpenDialogAndLongPaths) {
    StartUp();
    // Cancel: nothing happens.
    Mesh* const before = appState.model.scene.meshes[0];
    EXPECT_EQ(OpenMeshFile(), 0);
    ASSERT_EQ(Fake().dialogs.size(), 1u);
    const FakeDialog& d = Fake().dialogs[0];
    EXPECT_FALSE(d.save);
    EXPECT_EQ(d.owner, OwnerMainWindow);
    EXPECT_EQ(d.filterDescription, "*.obj *.pp2 *.hr2 *.cr2 *.obz *.ppz *.hrz *.crz");
    EXPECT_EQ(d.filterPattern, "*.obj;*.pp2;*.hr2;*.cr2;*.obz;*.ppz;*.hrz;*.crz");
    EXPECT_EQ(d.title, "");
    EXPECT_EQ(d.defaultExtension, "");
    EXPECT_EQ(d.pathSize, PlatformPathSize);
    EXPECT_EQ(appState.model.scene.meshes[0], before);
    EXPECT_TRUE(Fake().messages.empty());
    EXPECT_STREQ(appState.model.meshFileName, "computer");

    // A path far longer than the old 128 characters, in a folder with a dot.
    std::string folder = dir + "/a.folder";
    for (int i = 0; i < 6; ++i) folder += "/a-rather-long-folder-name-" + std::to_string(i);
    std::filesystem::create_directories(folder);
    const std::string name = "a model file with a name longer than thirty-two characters.obj";
    ASSERT_GT((folder + "/" + name).size(), 256u);
    EXPECT_EQ(Open(File(folder.substr(dir.size() + 1) + "/" + name, plainObj)), 1);
    EXPECT_STREQ(appState.model.meshFileName, name.c_str());
}

TEST_F(CommandsTest, OpenResetsHairViewAndToolBar) {
    StartUp();
    ASSERT_EQ(Open(File("strands.obj", strandObj)), 1);
    EXPECT_EQ(Fake().toolBarEnabled[IDC_CREATE], 1);
    ASSERT_EQ(CreateHair(), 1);
    appState.hairControls.hair.reduce = 1;
    for (int i = 0; i < 3; ++i) StepHairRadius(1);
    StepHairStretch(0);
    UpdateHairFields();
    SetStartupView(-30.0f);
    ResetFake();

    const long live = LiveAllocationCount();
    ASSERT_EQ(Open(File("plain.obj", plainObj)), 1);
    EXPECT_EQ(appState.model.scene.meshCount, 1);
    EXPECT_EQ(appState.model.hairAvailable, 0);
    EXPECT_EQ(appState.model.showHair, 0);
    EXPECT_EQ(appState.hairControls.hair.reduce, 0);
    EXPECT_EQ(appState.hairControls.radiusStep, 10);
    EXPECT_EQ(appState.hairControls.stretchStep, 0);
    EXPECT_EQ(Fake().toolBarChecks[IDC_ORIGINAL], 1);
    EXPECT_EQ(Fake().toolBarChecks[IDC_HAIR], 0);
    EXPECT_EQ(Fake().toolBarEnabled[IDC_ORIGINAL], 0);
    EXPECT_EQ(Fake().toolBarEnabled[IDC_HAIR], 0);
    EXPECT_EQ(Fake().toolBarChecks[IDC_REDUCE], 0);
    EXPECT_EQ(Fake().toolBarEnabled[IDC_CREATE], 0);  // no strands
    EXPECT_EQ(Fake().toolBarTexts[IDC_RADIUS_VALUE], "0.000500");
    EXPECT_EQ(Fake().toolBarTexts[IDC_STRETCH_VALUE], "0.000");
    EXPECT_EQ(Statistics(), (std::vector<std::string>{"4", "6", "2", "0", "0", "0"}));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(appState.view.rotation.m[i], i % 5 == 0 ? 1.0f : 0.0f);
    // The two meshes before (model and hair) are gone, the new one is there.
    EXPECT_LT(LiveAllocationCount(), live);
}

// The menu command and a file dropped on the window open alike.
TEST_F(CommandsTest, OpenCommandSelectsPropMaterial) {
    const struct {
        const char* way;
        std::function<int(const std::string&)> open;  // "" stands for a cancel or a failure
    } ways[] = {
        {"menu",
         [](const std::string& path) {
             if (!path.empty()) Fake().dialogAnswers.push_back(path);
             return OpenMeshCommand();
         }},
        {"drop",
         [this](const std::string& path) {
             return OpenDroppedMesh((path.empty() ? File("notes.txt", "") : path).c_str());
         }},
    };
    for (const auto& w : ways) {
        SCOPED_TRACE(w.way);
        ResetAppState();
        StartUp();
        SelectMaterialPreset(3);  // "Silver"
        appState.view.viewFlags |= ViewWireframe | ViewTextured;
        ResetFake();
        appState.view.redrawPending = 0;
        ASSERT_EQ(w.open(""), 0);  // a cancel, or "Not supported file format": nothing but a redraw
        EXPECT_EQ(appState.shading.materialSelection, 3);
        EXPECT_EQ(appState.view.redrawPending, 1);
        EXPECT_TRUE(Fake().titles.empty());
        ResetFake();
        ASSERT_EQ(w.open(File("plain.obj", plainObj)), 1);
        EXPECT_EQ(Fake().menuChecks[IDM_MATERIAL_FIRST + 3], 0);
        EXPECT_EQ(Fake().menuChecks[IDM_MATERIAL_PROP], 1);
        EXPECT_EQ(appState.shading.materialSelection, PropMaterialPreset);
        EXPECT_EQ(appState.shading.propMaterial, 1);
        EXPECT_EQ(appState.view.viewFlags & ViewWireframe, 0u);
        EXPECT_EQ(appState.view.viewFlags & ViewTextured, ViewTextured);  // texturing stays
        EXPECT_EQ(Fake().toolBarChecks[IDC_WIREFRAME], 0);
        EXPECT_EQ(Fake().titles, std::vector<std::string>{"Quillmere:   plain.obj"});
        EXPECT_EQ(Statistics(), (std::vector<std::string>{"4", "6", "2", "0", "0", "0"}));
    }
}

TEST_F(CommandsTest, ReaderFailureLeavesEverythingUnchanged) {
    StartUp();
    ASSERT_EQ(Open(File("first.obj", strandObj)), 1);
    ASSERT_EQ(CreateHair(), 1);
    Mesh* const original = appState.model.scene.meshes[0];
    Mesh* const hair = appState.model.scene.meshes[1];
    struct Case {
        std::string name;
        std::string bytes;
        const char* message;
    };
    std::vector<Case> cases = {
        {"empty.obj", "# nothing\n", "Error: failed to open"},
        {"broken.hr2", "{\nprop x\n{\n", "Unable to read file"},
        {"external.pp2", "{\nprop x\n{\nstorageOffset 0 0 0\n}\n}\n", "No internal geometry"},
    };
    // Damaged compressed files: the reader's own message, nothing loaded.
    // Bytes from the end of a gzip member: -8 the data's CRC, -4 its length;
    // 12 is the first byte of the deflate data after the 10-byte header.
    // The padded file is two whole blocks: its walk ends before the stream's
    // tail is met, which is read after it.
    std::string padded = hairPoser;
    padded.resize(8192, '\n');
    const struct {
        const char* name;
        std::string text;
        const char* message;
    } compressed[] = {
        {"hair.hrz", hairPoser, "Unable to read file"},
        {"padded.hrz", padded, "Unable to read file"},
        {"strands.obz", strandObj, "Error: failed to open"},
    };
    for (const auto& c : compressed) {
        const std::string whole = GzipBytes(c.text);
        for (const int at : {-8, -4, 12}) {
            std::string damaged = whole;
            damaged[at < 0 ? damaged.size() + at : at] ^= 0x55;
            cases.push_back({"damaged-" + std::to_string(at) + "-" + c.name, damaged, c.message});
        }
        // Every cut, down to the empty file.
        for (size_t size = 0; size < whole.size(); ++size) {
            cases.push_back({"cut-" + std::to_string(size) + "-" + c.name, whole.substr(0, size), c.message});
        }
    }
    for (const Case& c : cases) {
        ResetFake();
        const long live = LiveAllocationCount();
        WriteBytesFile(dir + "/" + c.name, c.bytes);
        EXPECT_EQ(Open(dir + "/" + c.name), 0) << c.name;
        ASSERT_EQ(Fake().messages.size(), 1u) << c.name;
        EXPECT_EQ(Fake().messages[0].text, c.message);
        EXPECT_EQ(appState.model.scene.meshes[0], original);
        EXPECT_EQ(appState.model.scene.meshes[1], hair);
        EXPECT_EQ(appState.model.scene.meshCount, 2);
        EXPECT_EQ(appState.model.showHair, 1);
        EXPECT_STREQ(appState.model.meshFileName, "first.obj");
        EXPECT_TRUE(Fake().titles.empty());
        EXPECT_TRUE(Fake().toolBarTexts.empty());
        EXPECT_EQ(LiveAllocationCount(), live);
    }
    // A file that vanished between the dialog and the read.
    ResetFake();
    EXPECT_EQ(Open(dir + "/missing.hr2"), 0);
    EXPECT_EQ(appState.model.scene.meshes[0], original);
}

// What "Open mesh File" shows of a file: the messages, or the mesh as
// quillmere-cli info describes it, and its slots.
std::string OpenedAs(const std::string& path) {
    ResetFake();
    Fake().dialogAnswers.push_back(path);
    std::string seen;
    if (OpenMeshFile()) {
        const Mesh& m = *appState.model.scene.meshes[0];
        char bounds[160];
        std::snprintf(bounds, sizeof bounds, " %.9g %.9g %.9g %.9g %.9g %.9g", double(m.boundsMin.x),
                      double(m.boundsMin.y), double(m.boundsMin.z), double(m.boundsMax.x), double(m.boundsMax.y),
                      double(m.boundsMax.z));
        seen = DescribeMesh(m) + bounds;
    }
    for (const FakeMessage& message : Fake().messages) seen += " | " + message.text;
    return seen;
}

// Every OBJ and Poser file of the repository and of the corpus, compressed
// under its compressed name, opens exactly as the file itself does.
TEST_F(CommandsTest, CompressedFilesOpenAsTheirOriginals) {
    StartUp();
    std::vector<std::string> roots = {SourcePath("tests/data"), SourcePath("examples")};
    if (!CorpusPath("obj").empty()) roots.push_back(CorpusPath("obj"));
    std::vector<std::filesystem::path> files;
    for (const std::string& root : roots) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            std::string ext = entry.path().extension().string();
            for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (ext == ".obj" || ext == ".hr2" || ext == ".pp2" || ext == ".cr2") files.push_back(entry.path());
        }
    }
    ASSERT_GE(files.size(), 7u);
    int opened = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const std::filesystem::path& original = files[i];
        SCOPED_TRACE(original.string());
        // Beside it, the libraries an OBJ file names.
        const std::filesystem::path folder = dir + "/" + std::to_string(i);
        std::filesystem::create_directories(folder);
        for (const auto& entry : std::filesystem::directory_iterator(original.parent_path())) {
            if (entry.path().extension() == ".mtl")
                std::filesystem::copy_file(entry.path(), folder / entry.path().filename());
        }
        std::string name = original.filename().string();
        name.back() = 'z';
        WriteBytesFile((folder / name).string(), GzipBytes(ReadWholeFile(original.string())));
        const std::string expected = OpenedAs(original.string());
        EXPECT_EQ(OpenedAs((folder / name).string()), expected);
        if (expected.find(" | ") == std::string::npos) {
            ++opened;
            EXPECT_STREQ(appState.model.meshFileName, name.c_str());
        }
    }
    EXPECT_GE(opened, 6);
}

TEST_F(CommandsTest, CreateHairTwiceAndTheCurrentMeshRule) {
    StartUp();
    ASSERT_EQ(Open(File("strands.obj", strandObj)), 1);
    Mesh* const original = appState.model.scene.meshes[0];
    ResetFake();
    ASSERT_EQ(CreateHair(), 1);
    EXPECT_EQ(appState.model.scene.meshCount, 2);
    EXPECT_STREQ(appState.model.scene.meshes[1]->name, "hair");
    EXPECT_EQ(appState.model.hairAvailable, 1);
    EXPECT_EQ(appState.model.showHair, 1);
    EXPECT_EQ(Fake().toolBarChecks[IDC_HAIR], 1);
    EXPECT_EQ(Fake().toolBarChecks[IDC_ORIGINAL], 0);
    EXPECT_EQ(Fake().toolBarEnabled[IDC_HAIR], 1);
    EXPECT_EQ(Fake().toolBarEnabled[IDC_ORIGINAL], 1);
    const std::vector<std::string> hairStats = Statistics();
    EXPECT_EQ(hairStats[0], std::to_string(appState.model.scene.meshes[1]->vertexCount));
    EXPECT_EQ(hairStats[0], "8");  // two vertices per strand point

    // Again, with a wider radius: the first hair mesh is replaced.
    const long live = LiveAllocationCount();
    StepHairRadius(1);
    UpdateHairFields();
    ASSERT_EQ(CreateHair(), 1);
    EXPECT_EQ(appState.model.scene.meshCount, 2);
    EXPECT_EQ(appState.model.scene.meshes[0], original);
    EXPECT_EQ(LiveAllocationCount(), live);

    // Statistics and inversion follow the hair view; Create reads the original.
    appState.model.showHair = 0;
    UpdateStatistics();
    EXPECT_EQ(Statistics(), (std::vector<std::string>{"5", "7", "1", "1", "0", "0"}));
    const int32_t firstCorner = original->faceVertexIndices[0];
    InvertCurrentMesh();
    EXPECT_NE(original->faceVertexIndices[0], firstCorner);
    InvertCurrentMesh();
    appState.model.showHair = 1;
    Mesh* const hair = appState.model.scene.meshes[1];
    const int32_t hairCorner = hair->faceVertexIndices[0];
    InvertCurrentMesh();
    EXPECT_EQ(original->faceVertexIndices[0], firstCorner);
    EXPECT_NE(hair->faceVertexIndices[0], hairCorner);
    ASSERT_EQ(CreateHair(), 1);  // still built from the original
    EXPECT_EQ(appState.model.scene.meshes[1]->vertexCount, 8);
}

TEST_F(CommandsTest, CreateHairWithoutStrandsSaysSo) {
    StartUp();
    ResetFake();
    Mesh* const model = appState.model.scene.meshes[0];
    EXPECT_EQ(CreateHair(), 0);
    ASSERT_EQ(Fake().messages.size(), 1u);
    EXPECT_EQ(Fake().messages[0].text, "unable to create hair");
    EXPECT_EQ(Fake().messages[0].caption, "error");
    EXPECT_EQ(Fake().messages[0].owner, OwnerToolBar);
    EXPECT_EQ(appState.model.scene.meshCount, 1);
    EXPECT_EQ(appState.model.scene.meshes[0], model);
    EXPECT_EQ(appState.model.hairAvailable, 0);
    EXPECT_TRUE(Fake().toolBarChecks.empty());
}

TEST_F(CommandsTest, ExportFollowsTheViewAndSetsTheTitle) {
    StartUp();
    ASSERT_EQ(Open(File("strands.obj", strandObj)), 1);
    ASSERT_EQ(CreateHair(), 1);
    struct Case {
        int showHair;
        const char* answer;  // "" cancels
        int written;
        const char* statement;  // what the file holds
    };
    const Case cases[] = {
        {1, "hair-out.obj", 1, "\r\nf "},
        {0, "original-out.obj", 1, "\r\nl "},
        {0, "", 0, nullptr},
    };
    for (const Case& c : cases) {
        ResetFake();
        appState.model.showHair = c.showHair;
        CopyName(appState.model.meshFileName, "strands.obj", MeshFileNameSize);
        const std::string path = c.answer[0] ? dir + "/" + c.answer : "";
        Fake().dialogAnswers.push_back(path);
        EXPECT_EQ(ExportMesh(), c.written) << c.answer;
        ASSERT_EQ(Fake().dialogs.size(), 1u);
        EXPECT_EQ(Fake().dialogs[0].proposedName, "strands.obj");
        if (c.written) {
            ASSERT_EQ(Fake().titles.size(), 1u);
            EXPECT_EQ(Fake().titles[0], std::string("Quillmere:   File ") + c.answer + " saved");
            EXPECT_NE(ReadWholeFile(path).find(c.statement), std::string::npos) << c.answer;
        } else {
            EXPECT_TRUE(Fake().titles.empty());
            EXPECT_STREQ(appState.model.meshFileName, "strands.obj");
        }
    }
    // The hair view without a hair mesh falls back to nothing to export.
    ResetAppState();
    EXPECT_EQ(ExportMesh(), 0);
}

TEST_F(CommandsTest, HairStepsAndTheirClamps) {
    StartUp();
    struct Case {
        bool radius;
        int up;
        int presses;
        int step;
        const char* text;
    };
    // clang-format off
    const Case cases[] = {
        {true, 1, 10, 20, "0.016000"},  {true, 1, 5, 20, "0.016000"},
        {true, 0, 19, 1, "0.000022"},   {true, 0, 3, 1, "0.000022"},
        {true, 1, 9, 10, "0.000500"},   {false, 0, 11, -10, "-1.000"},
        {false, 1, 13, 3, "0.300"},     {false, 1, 30, 10, "1.000"},
    };
    // clang-format on
    for (const Case& c : cases) {
        for (int i = 0; i < c.presses; ++i) {
            EXPECT_EQ(c.radius ? StepHairRadius(c.up) : StepHairStretch(c.up), 1);
            UpdateHairFields();
        }
        EXPECT_EQ(c.radius ? appState.hairControls.radiusStep : appState.hairControls.stretchStep, c.step);
        EXPECT_EQ(Fake().toolBarTexts[c.radius ? IDC_RADIUS_VALUE : IDC_STRETCH_VALUE], c.text);
    }
    EXPECT_FLOAT_EQ(appState.hairControls.hair.stretch, 1.0f);
    EXPECT_NEAR(appState.hairControls.hair.radius, 0.0005f, 1e-9f);
    EXPECT_EQ(appState.model.scene.meshCount, 1);  // a step never builds hair
}

// The menu's and the tool bar's commands by id, as the windows send them:
// each from the start-up state, with the state and marks it leaves.
TEST_F(CommandsTest, MenuAndToolBarCommandsById) {
    const auto checks = [](const std::map<int, int>& marks, std::vector<int> ids) {
        std::vector<int> values;
        for (int id : ids) values.push_back(marks.count(id) ? marks.at(id) : -1);
        return values;
    };
    const struct {
        const char* what;
        std::function<int()> run;  // the result expected is 1 unless `quiet`
        bool quiet;
        std::function<void()> expect;
    } cases[] = {
        {"texture",
         [] {
             appState.view.viewFlags |= ViewWireframe;
             return RunMenuCommand(IDM_TEXTURE_PATTERN);
         },
         false,
         [&] {
             EXPECT_EQ(appState.texturing.currentTexture, &appState.texturing.textures[TexturePattern]);
             EXPECT_EQ(appState.view.viewFlags & (ViewTextured | ViewWireframe), ViewTextured);
             EXPECT_EQ(checks(Fake().menuChecks, {IDM_TEXTURE_WOOD, IDM_TEXTURE_PATTERN}), (std::vector<int>{0, 1}));
             EXPECT_EQ(checks(Fake().toolBarChecks, {IDC_TEXTURED, IDC_WIREFRAME}), (std::vector<int>{1, 0}));
         }},
        {"the checked texture again", [] { return RunMenuCommand(IDM_TEXTURE_WOOD); }, false,
         [&] { EXPECT_EQ(checks(Fake().menuChecks, {IDM_TEXTURE_WOOD}), std::vector<int>{1}); }},
        {"lights", [] { return RunMenuCommand(IDM_LIGHT3) & RunMenuCommand(IDM_LIGHT1); }, false,
         [&] {
             EXPECT_EQ(appState.shading.lightMask, 4);
             EXPECT_EQ(lights[0].enabled, 0);
             EXPECT_NE(lights[2].enabled, 0);
             EXPECT_EQ(checks(Fake().menuChecks, {IDM_LIGHT1, IDM_LIGHT3}), (std::vector<int>{0, 1}));
         }},
        {"background", [] { return RunMenuCommand(IDM_BACKGROUND_GREY2); }, false,
         [&] {
             EXPECT_EQ(appState.view.background, backgroundTable[1]);
             EXPECT_EQ(checks(Fake().menuChecks, {IDM_BACKGROUND_GREY1, IDM_BACKGROUND_GREY2}),
                       (std::vector<int>{0, 1}));
         }},
        {"load texture cancelled", [] { return RunMenuCommand(IDM_LOAD_TEXTURE); }, true,
         [] { EXPECT_EQ(appState.texturing.currentTexture, &appState.texturing.textures[TextureWood]); }},
        {"not a command", [] { return RunMenuCommand(IDC_CREATE) | RunToolBarControl(IDM_EXIT, 0); }, true,
         [] { EXPECT_FALSE(IsMenuCommand(IDC_CREATE)); }},
        {"tool bar texturing",
         [] {
             appState.view.viewFlags |= ViewWireframe;
             return RunToolBarControl(IDC_TEXTURED, 1);
         },
         false,
         [&] {
             EXPECT_EQ(appState.view.viewFlags & (ViewTextured | ViewWireframe), ViewTextured);
             EXPECT_EQ(checks(Fake().toolBarChecks, {IDC_WIREFRAME}), std::vector<int>{0});
         }},
        {"tool bar flags", [] { return RunToolBarControl(IDC_BACKCULLED, 0) & RunToolBarControl(IDC_REDUCE, 1); },
         false,
         [] {
             EXPECT_EQ(appState.view.viewFlags & ViewBackculled, 0u);
             EXPECT_EQ(appState.hairControls.hair.reduce, 1);
         }},
        {"hair view", [] { return RunToolBarControl(IDC_HAIR, 1); }, false,
         [&] {
             EXPECT_EQ(appState.model.showHair, 1);
             EXPECT_EQ(checks(Fake().toolBarChecks, {IDC_HAIR, IDC_ORIGINAL}), (std::vector<int>{1, 0}));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ResetAppState();
        StartUp();
        ResetFake();
        EXPECT_EQ(c.run(), c.quiet ? 0 : 1);
        c.expect();
    }
}

// The closing click of the open dialog reaches the display as a lone release.
TEST_F(CommandsTest, StrayReleaseAfterOpenDoesNotSpin) {
    StartUp();
    TrackballEvent(MousePress, 100, 100);
    TrackballEvent(MouseMove, 300, 120);
    ASSERT_EQ(Open(File("plain.obj", plainObj)), 1);
    TrackballEvent(MouseRelease, 400, 130);
    EXPECT_EQ(appState.view.spinning, 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(appState.view.rotation.m[i], i % 5 == 0 ? 1.0f : 0.0f);
}

// Each allocation of an open and of a Create can fail; every failure leaves
// the scene, the names, the title and the tool bar as they were, with
// nothing leaked.
TEST_F(CommandsTest, AllocationFailuresLeaveThePreviousState) {
    StartUp();
    ASSERT_EQ(Open(File("first.obj", strandObj)), 1);
    WriteBytesFile(dir + "/second.obz", GzipBytes(strandObj));
    WriteBytesFile(dir + "/second.hrz", GzipBytes(hairPoser));
    const std::string files[] = {File("second.obj", strandObj), File("second.hr2", hairPoser), dir + "/second.obz",
                                 dir + "/second.hrz"};
    for (const std::string& path : files) {
        int failures = 0;
        for (long n = 1;; ++n) {
            ResetFake();
            Mesh* const before = appState.model.scene.meshes[0];
            const long live = LiveAllocationCount();
            Fake().dialogAnswers.push_back(path);
            FailAllocationAfter(n);
            const int opened = OpenMeshFile();
            FailAllocationAfter(0);
            if (opened) break;
            ++failures;
            EXPECT_EQ(appState.model.scene.meshes[0], before) << path << " allocation " << n;
            EXPECT_EQ(appState.model.scene.meshCount, 1);
            EXPECT_STREQ(appState.model.meshFileName, "first.obj");
            EXPECT_TRUE(Fake().titles.empty());
            EXPECT_TRUE(Fake().toolBarTexts.empty());
            EXPECT_EQ(LiveAllocationCount(), live) << path << " allocation " << n;
            ASSERT_LT(n, 10000);
        }
        EXPECT_GE(failures, 3) << path;
        ASSERT_EQ(Open(File("first.obj", strandObj)), 1);
    }

    ASSERT_EQ(CreateHair(), 1);
    // A rebuild takes over the storage of the hair it replaces, but only
    // once nothing can fail: the old hair stays whole until then.
    const Mesh* const first = appState.model.scene.meshes[1];
    const std::vector<MeshVertex> vertices(first->vertices, first->vertices + first->vertexCount);
    const std::vector<int32_t> corners(first->faceVertexIndices, first->faceVertexIndices + 4 * first->faceCount);
    int failures = 0;
    for (long n = 1;; ++n) {
        ResetFake();
        Mesh* const hair = appState.model.scene.meshes[1];
        const long live = LiveAllocationCount();
        FailAllocationAfter(n);
        const int created = CreateHair();
        FailAllocationAfter(0);
        if (created) break;
        ++failures;
        EXPECT_EQ(appState.model.scene.meshes[1], hair) << "allocation " << n;
        ASSERT_EQ(hair->vertexCount, static_cast<int32_t>(vertices.size()));
        ASSERT_EQ(4 * hair->faceCount, static_cast<int32_t>(corners.size()));
        EXPECT_EQ(std::memcmp(hair->vertices, vertices.data(), vertices.size() * sizeof(MeshVertex)), 0);
        EXPECT_EQ(std::memcmp(hair->faceVertexIndices, corners.data(), corners.size() * sizeof(int32_t)), 0);
        EXPECT_EQ(appState.model.scene.meshCount, 2);
        ASSERT_EQ(Fake().messages.size(), 1u);
        EXPECT_EQ(Fake().messages[0].text, "unable to create hair");
        EXPECT_TRUE(Fake().toolBarTexts.empty());
        EXPECT_EQ(LiveAllocationCount(), live) << "allocation " << n;
        ASSERT_LT(n, 10000);
    }
    EXPECT_GE(failures, 2);  // the builder's scratch and the new mesh's record
}

}  // namespace
