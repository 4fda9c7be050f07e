#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(__unix__)
#include <csignal>
#include <sys/resource.h>
#endif

#include "app/app_state.h"
#include "formats/bmp_writer.h"
#include "support/paths.h"
#include "support/platform_fake.h"

namespace {

uint32_t Get32(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 | static_cast<uint8_t>(s[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}
uint32_t Get16(const std::string& s, size_t at) {
    return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8;
}

// A picture whose every byte tells where it came from: row y, byte x of the
// row (so padding taken from past the row's pixels is recognisable).
std::vector<unsigned char> Pattern(int rowBytes, int height) {
    std::vector<unsigned char> bytes(static_cast<size_t>(rowBytes) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < rowBytes; ++x)
            bytes[static_cast<size_t>(y) * rowBytes + x] = static_cast<unsigned char>(y * 16 + x);
    return bytes;
}

#if defined(__unix__)
bool HaveImageMagick() { return std::system("identify -version >/dev/null 2>&1") == 0; }

#define REQUIRE_IMAGEMAGICK()                                                   \
    do {                                                                        \
        if (!HaveImageMagick()) {                                               \
            if (RunningInCi()) FAIL() << "ImageMagick is required in CI";       \
            GTEST_SKIP() << "ImageMagick (identify, convert) is not installed"; \
        }                                                                       \
    } while (0)

std::string CommandOutput(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        pclose(p);
    }
    return out;
}
#endif

TEST(BmpWriter, FileSizeAndHeaderFollowTheView) {
    struct Case {
        int32_t width, height, stride;
        uint32_t fileSize;
    };
    // 620 x 520 is the start-up view (frame buffer rows of 688 pixels);
    // 618 x 518 needs padded rows of 1856 bytes.
    // clang-format off
    const Case cases[] = {
        {620, 520, 688 * 3, 967254}, {618, 518, 684 * 3, 961462}, {1, 1, 3, 58}, {2, 3, 6, 54 + 8 * 3},
        {5, 2, 15, 54 + 16 * 2},
    };
    // clang-format on
    const std::string dir = TempDir("bmp-sizes");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        const std::vector<unsigned char> pixels = Pattern(c.stride, c.height);
        const std::string path = dir + "/view.bmp";
        ASSERT_EQ(WriteBmpFile(path.c_str(), Image24{pixels.data(), c.width, c.height, c.stride}), BmpWritten);
        const std::string file = ReadWholeFile(path);
        const uint32_t rowBytes = static_cast<uint32_t>(BmpRowBytes(c.width));
        ASSERT_EQ(file.size(), c.fileSize);
        EXPECT_EQ(file.substr(0, 2), "BM");
        EXPECT_EQ(Get32(file, 2), c.fileSize);
        EXPECT_EQ(Get32(file, 6), 0u);  // both reserved words
        EXPECT_EQ(Get32(file, 10), 54u);
        EXPECT_EQ(Get32(file, 14), 40u);
        EXPECT_EQ(Get32(file, 18), static_cast<uint32_t>(c.width));
        EXPECT_EQ(Get32(file, 22), static_cast<uint32_t>(c.height));
        EXPECT_EQ(Get16(file, 26), 1u);
        EXPECT_EQ(Get16(file, 28), 24u);
        EXPECT_EQ(Get32(file, 30), 0u);
        EXPECT_EQ(Get32(file, 34), rowBytes * c.height);
        for (size_t at = 38; at < 54; at += 4) EXPECT_EQ(Get32(file, at), 0u) << at;
    }
}

TEST(BmpWriter, RowsBottomFirstWithPaddingFromTheRow) {
    struct Case {
        const char* what;
        int32_t width, height, stride;
    };
    const Case cases[] = {
        {"row length already a multiple of four", 4, 3, 12},
        {"padding comes from the bytes after the row", 5, 3, 24},
        {"a tight picture is padded with zeros", 5, 3, 15},
        {"one-pixel rows", 1, 4, 3},
    };
    const std::string dir = TempDir("bmp-rows");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<unsigned char> pixels = Pattern(c.stride, c.height);
        const std::string path = dir + "/rows.bmp";
        ASSERT_EQ(WriteBmpFile(path.c_str(), Image24{pixels.data(), c.width, c.height, c.stride}), BmpWritten);
        const std::string file = ReadWholeFile(path);
        const int rowBytes = static_cast<int>(BmpRowBytes(c.width));
        for (int r = 0; r < c.height; ++r) {
            const int source = c.height - 1 - r;
            for (int x = 0; x < rowBytes; ++x) {
                const unsigned char want = x < c.stride ? pixels[static_cast<size_t>(source) * c.stride + x] : 0;
                ASSERT_EQ(static_cast<unsigned char>(file[54 + r * rowBytes + x]), want) << r << "," << x;
            }
        }
    }
}

TEST(BmpWriter, ProposedNameReplacesTheExtension) {
    const struct {
        const char* mesh;
        const char* proposal;
        // clang-format off
    } cases[] = {
        {"computer", "computer.bmp"}, {"hair.hr2", "hair.bmp"}, {"a.b.obj", "a.b.bmp"},
        {".hidden", ".hidden.bmp"},    {"x.", "x.bmp"},          {"", ".bmp"},
    };
    // clang-format on
    for (const auto& c : cases) {
        char proposal[320];
        ProposeImageFileName(c.mesh, proposal, sizeof proposal);
        EXPECT_STREQ(proposal, c.proposal) << c.mesh;
    }
    char small[8];
    ProposeImageFileName("longname.obj", small, sizeof small);
    EXPECT_STREQ(small, "longnam");
}

struct SaveImageTest : ::testing::Test {
    void SetUp() override { ResetFake(); }
    void TearDown() override { ResetFake(); }
    std::vector<unsigned char> pixels = Pattern(12, 2);
    Image24 image{pixels.data(), 4, 2, 12};
};

TEST_F(SaveImageTest, AsksWithTheProposalAndAppendsTheExtension) {
    const std::string dir = TempDir("bmp-save");
    Fake().dialogAnswers.push_back(dir + "/snapshot");
    EXPECT_EQ(SaveImageFile(OwnerMainWindow, image, "hair.hr2"), 1);
    ASSERT_EQ(Fake().dialogs.size(), 1u);
    const FakeDialog& d = Fake().dialogs[0];
    EXPECT_TRUE(d.save);
    EXPECT_EQ(d.owner, OwnerMainWindow);
    EXPECT_EQ(d.proposedName, "hair.bmp");
    EXPECT_EQ(d.filterDescription, "Windows Bitmap (*.bmp)");
    EXPECT_EQ(d.filterPattern, "*.bmp");
    EXPECT_EQ(d.title, "save image");
    EXPECT_EQ(d.defaultExtension, "bmp");
    EXPECT_TRUE(d.request.overwritePrompt);
    EXPECT_EQ(d.fileTitleSize, 0u);
    EXPECT_TRUE(Fake().messages.empty());
    EXPECT_EQ(ReadWholeFile(dir + "/snapshot.bmp").size(), 54u + 12 * 2);
    EXPECT_FALSE(FileExists(dir + "/snapshot"));

    Fake().dialogAnswers.push_back(dir + "/kept.name.bmp");
    ResetAppState();  // meshFileName "computer", as after start-up
    EXPECT_EQ(SaveImageFile(OwnerMainWindow, image, appState.model.meshFileName), 1);
    EXPECT_EQ(Fake().dialogs[1].proposedName, "computer.bmp");
    EXPECT_TRUE(FileExists(dir + "/kept.name.bmp"));
}

TEST_F(SaveImageTest, CancelIsSilent) {
    Fake().dialogAnswers.push_back("");
    EXPECT_EQ(SaveImageFile(OwnerMainWindow, image, "computer"), 0);
    EXPECT_TRUE(Fake().messages.empty());
}

TEST_F(SaveImageTest, FileThatCannotBeCreatedIsReported) {
    const std::string path = TempDir("bmp-nodir") + "/missing/folder/x.bmp";
    Fake().dialogAnswers.push_back(path);
    EXPECT_EQ(SaveImageFile(OwnerMainWindow, image, "computer"), 0);
    ASSERT_EQ(Fake().messages.size(), 1u);
    EXPECT_EQ(Fake().messages[0].text, path);
    EXPECT_EQ(Fake().messages[0].caption, "Error cannot create");
    EXPECT_FALSE(FileExists(path));
}

#if defined(__unix__)
// A file-size limit makes the writes fail part way, as a full disk would.
TEST_F(SaveImageTest, FailedWriteIsReportedAndThePartialFileRemoved) {
    const std::vector<unsigned char> big = Pattern(300, 100);
    const std::string path = TempDir("bmp-full") + "/big.bmp";
    Fake().dialogAnswers.push_back(path);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 1000;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = SaveImageFile(OwnerMainWindow, Image24{big.data(), 100, 100, 300}, "computer");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(result, 0);
    ASSERT_EQ(Fake().messages.size(), 1u);
    EXPECT_EQ(Fake().messages[0].text, path);
    EXPECT_EQ(Fake().messages[0].caption, "Error cannot write");
    EXPECT_FALSE(FileExists(path));
}
#endif

TEST(BmpWriter, PicturesThatCannotBeDescribedAreRefused) {
    const unsigned char pixel[3] = {1, 2, 3};
    const std::string path = TempDir("bmp-bad") + "/bad.bmp";
    // clang-format off
    const Image24 cases[] = {
        {pixel, 0, 1, 3}, {pixel, 1, 0, 3}, {pixel, -5, 1, 3}, {nullptr, 1, 1, 3},
        {pixel, 40000, 40000, 3},  // more than 4 GB of rows
    };
    // clang-format on
    for (const Image24& c : cases) {
        EXPECT_EQ(WriteBmpFile(path.c_str(), c), BmpCannotWrite) << c.width << "x" << c.height;
        EXPECT_FALSE(FileExists(path));
    }
}

#if defined(__unix__)
// Another reader sees the picture upright and in its colours.
TEST(BmpWriter, ImageMagickReadsItUpright) {
    REQUIRE_IMAGEMAGICK();
    // 3 x 2 picture, top row first: red, green, blue / white, black, grey;
    // bytes are blue, green, red; rows 12 bytes apart (a frame buffer margin).
    const unsigned char rows[2][12] = {
        {0, 0, 255, 0, 255, 0, 255, 0, 0, 9, 9, 9},
        {255, 255, 255, 0, 0, 0, 128, 128, 128, 9, 9, 9},
    };
    const std::string path = TempDir("bmp-magick") + "/upright.bmp";
    ASSERT_EQ(WriteBmpFile(path.c_str(), Image24{&rows[0][0], 3, 2, 12}), BmpWritten);
    const std::string identify = CommandOutput("identify -format '%m %w %h %z' '" + path + "' 2>&1");
    // "BMP3" names the 40-byte information header
    EXPECT_EQ(identify, "BMP3 3 2 8") << identify;
    const std::string text = CommandOutput("convert '" + path + "' -depth 8 txt:- 2>&1");
    const struct {
        const char* where;
        const char* colour;
    } expected[] = {
        {"0,0:", "#FF0000"}, {"1,0:", "#00FF00"}, {"2,0:", "#0000FF"},
        {"0,1:", "#FFFFFF"}, {"1,1:", "#000000"}, {"2,1:", "#808080"},
    };
    for (const auto& e : expected) {
        const size_t at = text.find(std::string("\n") + e.where);
        ASSERT_NE(at, std::string::npos) << e.where << "\n" << text;
        const std::string line = text.substr(at + 1, text.find('\n', at + 1) - at - 1);
        EXPECT_NE(line.find(e.colour), std::string::npos) << line;
    }
}
#endif

}  // namespace
