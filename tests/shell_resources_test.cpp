// The generated user-interface resources have the layout the Windows
// program's resource script and About box rely on.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "support/paths.h"

namespace {

uint32_t U32(const std::string& d, size_t at) {
    return static_cast<uint8_t>(d[at]) | static_cast<uint8_t>(d[at + 1]) << 8 | static_cast<uint8_t>(d[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(d[at + 3])) << 24;
}
uint16_t U16(const std::string& d, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(d[at]) | static_cast<uint8_t>(d[at + 1]) << 8);
}

TEST(ShellResources, AboutBannerIs240By60With16Colours) {
    const std::string bmp = ReadWholeFile(SourcePath("resources/about.bmp"));
    ASSERT_GE(bmp.size(), 54u + 64u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(U32(bmp, 2), bmp.size());
    EXPECT_EQ(U32(bmp, 14), 40u);
    EXPECT_EQ(static_cast<int32_t>(U32(bmp, 18)), 240);
    EXPECT_EQ(static_cast<int32_t>(U32(bmp, 22)), 60);  // bottom-up, as LoadBitmap expects
    EXPECT_EQ(U16(bmp, 26), 1);
    EXPECT_EQ(U16(bmp, 28), 4);   // 16 colours
    EXPECT_EQ(U32(bmp, 30), 0u);  // uncompressed
    const uint32_t colours = U32(bmp, 46);
    EXPECT_TRUE(colours == 0 || colours == 16);
    const uint32_t offset = U32(bmp, 10);
    EXPECT_EQ(offset, 54u + 16u * 4u);
    const size_t rowBytes = (240 / 2 + 3) & ~3u;
    ASSERT_EQ(bmp.size(), offset + rowBytes * 60);
    // A picture, not a blank: the name and the strands use several colours.
    std::set<int> used;
    for (size_t i = offset; i < bmp.size(); ++i) {
        used.insert(static_cast<uint8_t>(bmp[i]) >> 4);
        used.insert(static_cast<uint8_t>(bmp[i]) & 15);
    }
    EXPECT_GE(used.size(), 5u);
}

TEST(ShellResources, IconHolds32And16PixelImages) {
    const std::string ico = ReadWholeFile(SourcePath("resources/app.ico"));
    ASSERT_GE(ico.size(), 6u);
    EXPECT_EQ(U16(ico, 0), 0);
    EXPECT_EQ(U16(ico, 2), 1);  // icon, not cursor
    const int count = U16(ico, 4);
    ASSERT_EQ(count, 2);
    const int sizes[] = {32, 16};
    for (int n = 0; n < count; ++n) {
        SCOPED_TRACE(n);
        const size_t entry = 6 + 16 * static_cast<size_t>(n);
        EXPECT_EQ(static_cast<uint8_t>(ico[entry]), sizes[n]);
        EXPECT_EQ(static_cast<uint8_t>(ico[entry + 1]), sizes[n]);
        const uint32_t bytes = U32(ico, entry + 8);
        const uint32_t at = U32(ico, entry + 12);
        ASSERT_LE(static_cast<size_t>(at) + bytes, ico.size());
        // Each image: a 40-byte header of double height (colour plus mask),
        // 32-bit colour rows, then the 1-bit mask rows padded to 4 bytes.
        EXPECT_EQ(U32(ico, at), 40u);
        EXPECT_EQ(static_cast<int32_t>(U32(ico, at + 4)), sizes[n]);
        EXPECT_EQ(static_cast<int32_t>(U32(ico, at + 8)), 2 * sizes[n]);
        EXPECT_EQ(U16(ico, at + 14), 32);
        const uint32_t maskRow = ((sizes[n] + 31) / 32) * 4;
        EXPECT_EQ(bytes, 40u + sizes[n] * sizes[n] * 4u + maskRow * sizes[n]);
    }
}

#if defined(_WIN32) && !defined(_WIN64)
// The 32-bit programs must be allowed the whole 4 GB that 64-bit Windows
// gives a large-address-aware process: a production groom needs more than
// the 2 GB of the default.
TEST(ShellResources, ThirtyTwoBitProgramsAreLargeAddressAware) {
    for (const char* path : {QUILLMERE_PROGRAM_PATH, QUILLMERE_CLI_PATH}) {
        SCOPED_TRACE(path);
        const std::string exe = ReadWholeFile(path);
        ASSERT_GE(exe.size(), 64u);
        const size_t header = U32(exe, 60);
        ASSERT_GE(exe.size(), header + 24);
        EXPECT_EQ(exe.substr(header, 4), std::string("PE\0\0", 4));
        EXPECT_EQ(U16(exe, header + 4), 0x14c);        // i386
        EXPECT_NE(U16(exe, header + 22) & 0x0020, 0);  // IMAGE_FILE_LARGE_ADDRESS_AWARE
    }
}
#endif

}  // namespace
