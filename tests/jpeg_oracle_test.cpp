// The texture decoder against the reference decoder (`djpeg -dct int`, fancy
// upsampling). With the reference's IDCT constants our pixels must be equal
// byte for byte; with the program's own constants, which use each rotation
// symmetrically, within a couple of levels in a small share of samples.
//
// The corpus carries the reference's MD5 for every file, so the corpus check
// needs no external program; the cjpeg-made variants run cjpeg and djpeg.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/cli_run.h"
#include "support/jpeg_support.h"
#include "support/paths.h"

namespace {

struct ReferenceRow {
    std::string file;
    int exitStatus;
    std::string pnm;
    std::string md5Default;
    std::string md5NoSmooth;
};

std::vector<ReferenceRow> ReadReferenceTable(const std::string& path) {
    std::vector<ReferenceRow> rows;
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);  // header
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) fields.push_back(field);
        if (fields.size() < 5) continue;
        rows.push_back({fields[0], std::atoi(fields[1].c_str()), fields[2], fields[3], fields[4]});
    }
    return rows;
}

// What a file's frame header says, read independently of the decoder.
struct FrameInfo {
    int marker = 0;  // SOFn code, 0 when none found
    int components = 0;
    int h[4] = {}, v[4] = {};
};

FrameInfo ReadFrameInfo(const Bytes& data) {
    FrameInfo info;
    size_t pos = 2;
    while (pos + 4 <= data.size()) {
        if (data[pos] != 0xFF) return info;
        const int marker = data[pos + 1];
        if (marker == 0xFF) {
            ++pos;
            continue;
        }
        const size_t length = static_cast<size_t>(data[pos + 2]) << 8 | data[pos + 3];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            info.marker = marker;
            if (pos + 10 > data.size()) return info;
            info.components = data[pos + 9];
            for (int i = 0; i < info.components && i < 4 && pos + 12 + 3 * i < data.size(); ++i) {
                info.h[i] = data[pos + 11 + 3 * i] >> 4;
                info.v[i] = data[pos + 11 + 3 * i] & 15;
            }
            return info;
        }
        if (marker == 0xDA) return info;
        pos += 2 + length;
    }
    return info;
}

// The program replicates a component sampled at half the vertical and the
// full horizontal rate, where the reference smooths it; the reference's
// replicating mode (-nosmooth) is then the oracle.
bool HasVerticalOnlyRatio(const FrameInfo& f) {
    int maxH = 1, maxV = 1;
    for (int i = 0; i < f.components && i < 4; ++i) {
        maxH = std::max(maxH, f.h[i]);
        maxV = std::max(maxV, f.v[i]);
    }
    for (int i = 0; i < f.components && i < 4; ++i) {
        if (f.h[i] == maxH && 2 * f.v[i] == maxV) return true;
    }
    return false;
}

// Compares the program-constant decode with the reference-constant decode
// (itself proven equal to the reference decoder).
void ExpectCloseToReference(const Decoded& program, const Decoded& reference, const std::string& name) {
    ASSERT_EQ(program.rgb.size(), reference.rgb.size()) << name;
    int maxDifference = 0;
    size_t differing = 0;
    for (size_t i = 0; i < program.rgb.size(); ++i) {
        const int d = std::abs(program.rgb[i] - reference.rgb[i]);
        maxDifference = std::max(maxDifference, d);
        differing += d != 0;
    }
    EXPECT_LE(maxDifference, 3) << name;
    EXPECT_LE(differing, program.rgb.size() / 50 + 16) << name << ": " << differing << " samples differ";
}

TEST(JpegOracle, CorpusBaselineFilesMatchReferenceDecoder) {
    const std::string root = CorpusPath("jpeg");
    REQUIRE_CORPUS(root);
    const std::vector<ReferenceRow> rows = ReadReferenceTable(root + "/DJPEG-REFERENCE.tsv");
    ASSERT_GT(rows.size(), 50u);
    int compared = 0;
    for (const ReferenceRow& row : rows) {
        if (row.exitStatus != 0) continue;  // only files the reference decodes cleanly
        const Bytes data = ReadBytes(root + "/" + row.file);
        const FrameInfo frame = ReadFrameInfo(data);
        if (frame.marker != 0xC0 && frame.marker != 0xC1) continue;  // baseline and extended Huffman only
        // Four-component images convert by the program's own CMYK/YCCK rules,
        // which the reference does differently; JpegColour tests cover them.
        if (frame.components == 4) continue;
        SCOPED_TRACE(row.file);
        const Decoded reference = DecodeBytes(data, &ReferenceIdctConstants);
        ASSERT_TRUE(reference.ok);
        const bool grey = row.pnm.rfind("P5", 0) == 0;
        const std::string expected = HasVerticalOnlyRatio(frame) ? row.md5NoSmooth : row.md5Default;
        EXPECT_EQ(Md5Hex(ToPnm(reference, grey)), expected);

        const Decoded program = DecodeBytes(data);
        ASSERT_TRUE(program.ok);
        ExpectCloseToReference(program, reference, row.file);
        ++compared;
    }
    EXPECT_GE(compared, 80);
}

#ifndef _WIN32

struct Variant {
    const char* name;
    int width;
    int height;
    const char* cjpegOptions;
    bool grey;
    bool noSmooth;  // vertical-only ratio: the reference replicates with -nosmooth
};

const Variant variants[] = {
    {"s420", 96, 80, "-sample 2x2,1x1,1x1", false, false},
    {"s422", 96, 80, "-sample 2x1,1x1,1x1", false, false},
    {"s444", 96, 80, "-sample 1x1,1x1,1x1", false, false},
    {"s411", 96, 80, "-sample 4x1,1x1,1x1", false, false},
    {"s410", 97, 81, "-sample 4x2,1x1,1x1", false, false},
    {"s31", 95, 41, "-sample 3x1,1x1,1x1", false, false},
    {"s32", 95, 41, "-sample 3x2,1x1,1x1", false, false},
    {"s12", 50, 43, "-sample 1x2,1x1,1x1", false, true},
    {"s14", 50, 70, "-sample 1x4,1x1,1x1", false, false},
    {"s22chroma21", 50, 43, "-sample 2x2,2x1,2x1", false, true},
    {"s22chroma12", 50, 43, "-sample 2x2,1x2,1x2", false, false},
    {"grey", 61, 47, "-grayscale", true, false},
    {"grey22", 61, 47, "-grayscale -sample 2x2", true, false},
    {"q100", 64, 48, "-quality 100 -sample 2x2,1x1,1x1", false, false},
    {"table16bit", 96, 80, "-quality 2 -sample 2x2,1x1,1x1", false, false},
    {"restart1", 61, 47, "-restart 1B -sample 2x2,1x1,1x1", false, false},
    {"restart7", 61, 47, "-restart 7B -sample 2x2,1x1,1x1", false, false},
    {"restartRow", 61, 47, "-restart 1 -sample 2x1,1x1,1x1", false, false},
    {"restart7grey", 61, 47, "-restart 7B -grayscale", true, false},
    {"optimized", 61, 47, "-optimize -sample 2x2,1x1,1x1", false, false},
    {"size1x1", 1, 1, "-sample 2x2,1x1,1x1", false, false},
    {"size2x2", 2, 2, "-sample 2x2,1x1,1x1", false, false},
    {"size3x3", 3, 3, "-sample 2x2,1x1,1x1", false, false},
    {"size4x5", 4, 5, "-sample 2x2,1x1,1x1", false, false},
    {"size5x4", 5, 4, "-sample 2x1,1x1,1x1", false, false},
    {"size7x9", 7, 9, "-sample 2x2,1x1,1x1", false, false},
    {"size15x17", 15, 17, "-sample 2x2,1x1,1x1", false, false},
    {"size17x15", 17, 15, "-sample 2x2,1x1,1x1", false, false},
    {"size33x31", 33, 31, "-sample 2x2,1x1,1x1", false, false},
    {"size127x129", 127, 129, "-sample 2x2,1x1,1x1", false, false},
    {"size1x40", 1, 40, "-sample 2x2,1x1,1x1", false, false},
    {"size40x1", 40, 1, "-sample 2x2,1x1,1x1", false, false},
    {"size1x40s444", 1, 40, "-sample 1x1,1x1,1x1", false, false},
    {"size40x1s422", 40, 1, "-sample 2x1,1x1,1x1", false, false},
    {"size1x1grey", 1, 1, "-grayscale", true, false},
    {"size9x130", 9, 130, "-sample 2x2,1x1,1x1 -restart 3B", false, false},
};

TEST(JpegOracle, CjpegVariantsMatchReferenceDecoder) {
    if (!HaveJpegTools()) {
        if (RunningInCi()) FAIL() << "cjpeg/djpeg missing in CI (Debian libjpeg-turbo-progs)";
        GTEST_SKIP() << "cjpeg/djpeg not installed (Debian libjpeg-turbo-progs)";
    }
    const std::string dir = TempDir("jpeg-oracle");
    uint32_t seed = 1;
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        const std::string base = dir + "/" + v.name;
        WriteBytes(base + ".ppm", MakePhotoPpm(v.width, v.height, seed++));
        ASSERT_EQ(RunCommand(std::string("cjpeg ") + v.cjpegOptions + " -outfile " + base + ".jpg " + base +
                             ".ppm 2>/dev/null"),
                  0);
        ASSERT_EQ(RunCommand(std::string("djpeg -dct int -pnm ") + (v.noSmooth ? "-nosmooth " : "") + "-outfile " +
                             base + ".pnm " + base + ".jpg"),
                  0);
        const Decoded expected = ReadPnm(ReadBytes(base + ".pnm"));
        ASSERT_TRUE(expected.ok);
        const Bytes jpeg = ReadBytes(base + ".jpg");
        const Decoded reference = DecodeBytes(jpeg, &ReferenceIdctConstants);
        ASSERT_TRUE(reference.ok);
        EXPECT_EQ(reference.width, v.width);
        EXPECT_EQ(reference.height, v.height);
        EXPECT_TRUE(reference.rgb == expected.rgb);
        const Decoded program = DecodeBytes(jpeg);
        ASSERT_TRUE(program.ok);
        ExpectCloseToReference(program, reference, v.name);
    }
    std::filesystem::remove_all(dir);
}

// quillmere-cli jpeg writes the texture decoder's pixels, top row first, in
// the oracle's PPM layout; every kernel level writes the same file.
TEST(JpegCli, PpmOutputIsTheDecodedImage) {
    const std::string dir = TempDir("jpeg-cli");
    FlatJpeg layout;
    layout.width = 37;
    layout.height = 21;
    layout.components = {{1, 2, 2}, {2, 1, 1}, {3, 1, 1}};
    layout.jfif = true;
    layout.sample = [](int component, int bx, int by) {
        return component == 0 ? 20 + 30 * bx + 9 * by : 90 + 40 * component;
    };
    const Bytes jpeg = BuildFlatJpeg(layout);
    WriteBytes(dir + "/in.jpg", jpeg);
    const Bytes expected = ToPnm(DecodeBytes(jpeg), false);
    for (const char* environment : {"", "QUILLMERE_SCALAR=1"}) {
        const CliRunResult run =
            RunCliProgram("jpeg-cli", "jpeg " + dir + "/in.jpg -o " + dir + "/out.ppm", environment);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(ReadBytes(dir + "/out.ppm") == expected) << environment;
    }
    std::filesystem::remove_all(dir);
}

#endif

}  // namespace
