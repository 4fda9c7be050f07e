// The texture slots: the built-in images, "Load texture" with its dialog and
// its two messages, and the command-line decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "core/memory.h"
#include "support/jpeg_support.h"
#include "support/paths.h"
#include "support/platform_fake.h"

namespace {

int Mid(int component, int, int) { return component == 0 ? 90 : 128; }

Bytes SmallJpeg(uint8_t frameMarker = 0xC0) {
    FlatJpeg layout;
    layout.width = 24;
    layout.height = 8;
    layout.sample = Mid;
    layout.frameMarker = frameMarker;
    return BuildFlatJpeg(layout);
}

struct Header {
    int frame = 0, components = 0, restart = 0;
    bool jfif = false;
    int samplings[3] = {};
    std::vector<int> quantTables;  // precision << 4 | index
};

Header ReadHeaderBytes(const Bytes& b) {
    Header h;
    size_t pos = 2;
    while (pos + 4 <= b.size() && b[pos] == 0xFF) {
        const int marker = b[pos + 1];
        const size_t length = static_cast<size_t>(b[pos + 2]) << 8 | b[pos + 3];
        if (marker == 0xDA) break;
        if (marker == 0xE0 && std::memcmp(&b[pos + 4], "JFIF", 5) == 0) h.jfif = true;
        if (marker == 0xDD) h.restart = 1;
        if (marker == 0xDB) {
            for (size_t at = pos + 4; at < pos + 2 + length; at += (b[at] >> 4) ? 129 : 65)
                h.quantTables.push_back(b[at]);
        }
        if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
            h.frame = marker;
            h.components = b[pos + 9];
            for (int i = 0; i < 3 && i < h.components; ++i) h.samplings[i] = b[pos + 11 + 3 * i];
        }
        pos += 2 + length;
    }
    return h;
}

TEST(TextureSlots, BuiltInImagesAreBaselineJfifAtTheirSizes) {
    struct Case {
        const char* name;
        int width, height;
    };
    const Case cases[] = {{"wood", 476, 1066}, {"METAL", 652, 422}, {"Pattern", 512, 512}};
    for (const Case& c : cases) {
        std::string lower = c.name;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(ch));
        const Header h = ReadHeaderBytes(ReadBytes(SourcePath("resources/" + lower + ".jpg")));
        EXPECT_EQ(h.frame, 0xC0) << c.name;
        EXPECT_TRUE(h.jfif) << c.name;
        EXPECT_EQ(h.components, 3) << c.name;
        EXPECT_EQ(h.samplings[0], 0x22) << c.name;
        EXPECT_EQ(h.samplings[1], 0x11) << c.name;
        EXPECT_EQ(h.samplings[2], 0x11) << c.name;
        EXPECT_EQ(h.quantTables, (std::vector<int>{0, 1})) << c.name;
        EXPECT_EQ(h.restart, 0) << c.name;

        Texture slot{nullptr, 1, 1};
        ASSERT_EQ(LoadTextureResource(&slot, c.name), 1) << c.name;
        EXPECT_EQ(slot.width, c.width);
        EXPECT_EQ(slot.height, c.height);
        ReleaseTexturePixels(&slot);
    }
    Texture missing{nullptr, 1, 1};
    EXPECT_EQ(LoadTextureResource(&missing, "marble"), 0);
    EXPECT_EQ(missing.pixels, nullptr);
}

TEST(TextureSlots, PatternSquaresShiftByOneEachRow) {
    Texture slot{nullptr, 1, 1};
    ASSERT_EQ(LoadTextureResource(&slot, "pattern"), 1);
    // Pixel (x, y from the top) of a square's plain area; rows are bottom-up.
    auto at = [&slot](int x, int y) { return slot.pixels[(slot.height - 1 - y) * slot.width + x]; };
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 7; ++column) {
            // The colour of square (column + 1, row) is that of (column, row + 1).
            const uint32_t a = at(64 * (column + 1) + 5, 64 * row + 5);
            const uint32_t b = at(64 * column + 5, 64 * ((row + 1) % 8) + 5);
            for (int shift = 0; shift < 24; shift += 8) {
                EXPECT_NEAR(static_cast<int>((a >> shift) & 255), static_cast<int>((b >> shift) & 255), 12)
                    << "row " << row << " column " << column;
            }
        }
    }
    const uint32_t topLeft = at(5, 5);  // square 1 is red
    EXPECT_GT(static_cast<int>(topLeft >> 16 & 255), 180);
    EXPECT_LT(static_cast<int>(topLeft >> 8 & 255), 90);
    ReleaseTexturePixels(&slot);
}

class LoadTexture : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetFake();
        dir = TempDir("texture-slots");
        previous = Texture{static_cast<uint32_t*>(AllocateBytes(4)), 1, 1};
        previous.pixels[0] = 0x123456;
        slot = previous;
        std::strcpy(title, "old");
    }
    void TearDown() override {
        ReleaseTexturePixels(&slot);
        std::filesystem::remove_all(dir);
    }
    int Load(const std::string& answer) {
        Fake().dialogAnswers.push_back(answer);
        return LoadTextureFile(OwnerMainWindow, &slot, title, sizeof title);
    }
    void ExpectUnchanged() {
        EXPECT_EQ(slot.pixels, previous.pixels);
        EXPECT_EQ(slot.pixels[0], 0x123456u);
        EXPECT_EQ(slot.width, 1);
    }
    std::string dir;
    Texture previous, slot;
    char title[256];
};

TEST_F(LoadTexture, CancelChangesNothingAndShowsNothing) {
    EXPECT_EQ(Load(""), 0);
    ExpectUnchanged();
    EXPECT_TRUE(Fake().messages.empty());
    ASSERT_EQ(Fake().dialogs.size(), 1u);
    const FakeDialog& d = Fake().dialogs[0];
    EXPECT_FALSE(d.save);
    EXPECT_EQ(d.filterDescription, "JPG Files(*.JPG)");
    EXPECT_EQ(d.filterPattern, "*.JPG");
    EXPECT_GE(d.pathSize, PlatformPathSize);  // full-length paths, never cut
}

TEST_F(LoadTexture, FailuresShowTheirMessageAndKeepThePreviousImage) {
    WriteBytes(dir + "/notes.jpg", Bytes{'h', 'e', 'l', 'l', 'o'});
    WriteBytes(dir + "/progressive.jpg", SmallJpeg(0xC2));
    WriteBytes(dir + "/arithmetic.jpg", SmallJpeg(0xC9));
    WriteBytes(dir + "/both.jpg", SmallJpeg(0xCA));
    struct Case {
        const char* file;
        const char* message;
    };
    const Case cases[] = {
        {"missing.jpg", "Error reading Jpeg file"},
        {"notes.jpg", "Error reading Jpeg file"},
        {"progressive.jpg", "Progressive Jpeg not supported"},
        {"arithmetic.jpg", "Error reading Jpeg file"},
        {"both.jpg", "Error reading Jpeg file"},
    };
    for (const Case& c : cases) {
        ResetFake();
        const long live = LiveAllocationCount();
        EXPECT_EQ(Load(dir + "/" + c.file), 0) << c.file;
        ExpectUnchanged();
        EXPECT_EQ(LiveAllocationCount(), live) << c.file;
        ASSERT_EQ(Fake().messages.size(), 1u) << c.file;
        EXPECT_EQ(Fake().messages[0].text, c.message) << c.file;
        EXPECT_EQ(Fake().messages[0].caption, "error");
        EXPECT_EQ(Fake().messages[0].style, MessageOk);
    }
}

TEST_F(LoadTexture, CorpusProgressiveFileGetsItsOwnMessage) {
    const std::string file = CorpusPath("jpeg/cjpeg-variants/s420-progressive.jpg");
    REQUIRE_CORPUS(file);
    EXPECT_EQ(Load(file), 0);
    ASSERT_EQ(Fake().messages.size(), 1u);
    EXPECT_EQ(Fake().messages[0].text, "Progressive Jpeg not supported");
}

TEST_F(LoadTexture, SuccessReplacesTheImageAndNamesItInLowerCase) {
    // A long folder and a name longer than 32 characters: both kept whole.
    const std::string folder = dir + "/" + std::string(120, 'd');
    const std::string name = "A Rather Long Texture File Name.JPG";
    std::filesystem::create_directories(folder);
    WriteBytes(folder + "/" + name, SmallJpeg());
    const long live = LiveAllocationCount();
    ASSERT_EQ(Load(folder + "/" + name), 1);
    EXPECT_STREQ(title, "a rather long texture file name.jpg");
    EXPECT_EQ(slot.width, 24);
    EXPECT_EQ(slot.height, 8);
    EXPECT_EQ(slot.pixels[0], 90u * 0x010101u);
    EXPECT_EQ(LiveAllocationCount(), live);   // the old pixels went, the new came
    ASSERT_EQ(Load(folder + "/" + name), 1);  // again: the first copy is freed
    EXPECT_EQ(LiveAllocationCount(), live);
    EXPECT_TRUE(Fake().messages.empty());
}

TEST_F(LoadTexture, EveryAllocationFailureKeepsThePreviousImage) {
    const std::string file = dir + "/small.jpg";
    WriteBytes(file, SmallJpeg());
    for (long n = 1; n < 100; ++n) {
        ResetFake();
        const long live = LiveAllocationCount();
        FailAllocationAfter(n);
        const int ok = Load(file);
        FailAllocationAfter(0);
        if (ok) {
            EXPECT_EQ(LiveAllocationCount(), live);
            EXPECT_GT(n, 3);
            return;
        }
        ExpectUnchanged();
        EXPECT_EQ(LiveAllocationCount(), live) << n;
        ASSERT_EQ(Fake().messages.size(), 1u);
        EXPECT_EQ(Fake().messages[0].text, "Error reading Jpeg file");
    }
    FAIL() << "the load never succeeded";
}

#ifndef _WIN32
TEST(CliJpeg, WritesTopRowFirstAndReportsFailures) {
    const std::string dir = TempDir("cli-jpeg");
    FlatJpeg layout;
    layout.width = 16;
    layout.height = 16;
    layout.sample = [](int, int bx, int by) { return 40 + 50 * bx + 100 * by; };
    WriteBytes(dir + "/in.jpg", BuildFlatJpeg(layout));
    WriteBytes(dir + "/bad.jpg", Bytes{'n', 'o'});
    const std::string cli = QUILLMERE_CLI_PATH;

    ASSERT_EQ(RunCommand(cli + " jpeg " + dir + "/in.jpg -o " + dir + "/out.ppm"), 0);
    const Decoded ppm = ReadPnm(ReadBytes(dir + "/out.ppm"));
    ASSERT_TRUE(ppm.ok);
    EXPECT_EQ(ppm.rgb[0], 40);                   // top-left first
    EXPECT_EQ(ppm.rgb[(16 * 16 - 1) * 3], 190);  // bottom-right last

    ASSERT_EQ(RunCommand(cli + " jpeg " + dir + "/in.jpg -o " + dir + "/out.bmp"), 0);
    const Bytes bmp = ReadBytes(dir + "/out.bmp");
    ASSERT_EQ(bmp.size(), 54u + 16 * 16 * 3);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[54], 140);  // BMP rows are bottom-up
    EXPECT_EQ(bmp[54 + 15 * 48], 40);

    // An output named as the input: the input is read to its end before it is replaced.
    WriteBytes(dir + "/same.ppm", BuildFlatJpeg(layout));
    ASSERT_EQ(RunCommand(cli + " jpeg " + dir + "/same.ppm -o " + dir + "/same.ppm"), 0);
    EXPECT_TRUE(ReadBytes(dir + "/same.ppm") == ReadBytes(dir + "/out.ppm"));
    EXPECT_FALSE(FileExists(dir + "/same.ppm.part"));

    // Devices are written in place, through a link too: the link stays a link.
    const struct {
        const char* device;
        int status;
    } devices[] = {{"/dev/null", 0}, {"/dev/full", 1}};
    for (const auto& d : devices) {
        const std::string link = dir + "/device.ppm";
        std::filesystem::remove(link);
        std::filesystem::create_symlink(d.device, link);
        EXPECT_EQ(RunCommand(cli + " jpeg " + dir + "/in.jpg -o " + link + " 2>/dev/null"), d.status) << d.device;
        EXPECT_TRUE(std::filesystem::is_symlink(link)) << d.device;
        EXPECT_FALSE(FileExists(link + ".part")) << d.device;
    }

    EXPECT_EQ(RunCommand(cli + " jpeg " + dir + "/bad.jpg -o " + dir + "/x.ppm 2>" + dir + "/err.txt"), 1);
    EXPECT_EQ(ReadWholeFile(dir + "/err.txt"), "error: Error reading Jpeg file\n");
    EXPECT_FALSE(FileExists(dir + "/x.ppm"));
    EXPECT_EQ(RunCommand(cli + " jpeg " + dir + "/in.jpg -o " + dir + "/x.png 2>/dev/null"), 2);
    std::filesystem::remove_all(dir);
}
#endif

}  // namespace
