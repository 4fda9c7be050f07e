#include "support/mesh_helpers.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>

#include "formats/obj_reader.h"
#include "support/paths.h"
#include "support/platform_fake.h"

void WriteBytesFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string GzipBytes(const std::string& bytes) {
    z_stream stream{};
    // 15 window bits, plus 16: a gzip header and trailer instead of zlib's.
    EXPECT_EQ(deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY), Z_OK);
    std::string out(deflateBound(&stream, bytes.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

std::string TestDirName(const std::string& suffix) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "-" + test->name() : "no-test";
    for (char& c : name) {
        if (c == '/') c = '-';
    }
    return suffix.empty() ? name : name + "-" + suffix;
}

int LoadObjText(const std::string& text, TestMeshPtr* out, const std::string& fileName, const std::string& dirName) {
    const std::string path = TempDir(dirName.empty() ? TestDirName() : dirName) + "/" + fileName;
    WriteBytesFile(path, text);
    const size_t before = Fake().messages.size();
    out->reset(CreateMesh("prop"));
    const int result = LoadObjFile(out->get(), path.c_str());
    // The same bytes from memory go the same way, messages included.
    const std::vector<FakeMessage> told(Fake().messages.begin() + static_cast<long>(before), Fake().messages.end());
    TestMeshPtr memory(CreateMesh("prop"));
    EXPECT_EQ(LoadObjMemory(memory.get(), text.data(), text.size(), path.c_str()), result);
    EXPECT_EQ(DescribeMesh(*memory), DescribeMesh(**out));
    EXPECT_EQ(Fake().messages.size(), before + 2 * told.size());
    for (size_t i = 0; i < told.size() && before + told.size() + i < Fake().messages.size(); ++i) {
        EXPECT_EQ(Fake().messages[before + told.size() + i].text, told[i].text);
        EXPECT_EQ(Fake().messages[before + told.size() + i].caption, told[i].caption);
    }
    Fake().messages.resize(before + told.size());
    return result;
}

std::string DescribeMesh(const Mesh& mesh) {
    return std::to_string(mesh.vertexCount) + "v " + std::to_string(mesh.texCoordCount) + "vt " +
           std::to_string(mesh.polygonCount) + "f " + std::to_string(mesh.lineCount) + "l " +
           std::to_string(mesh.groupCount) + "g " + std::to_string(mesh.materialCount) + "m " + mesh.name + " " +
           DescribeSlots(mesh) + " / " + DescribeTexIndices(mesh);
}

std::string DescribeSlots(const Mesh& mesh) {
    std::string text;
    for (int s = 0; s < mesh.faceCount; ++s) {
        const FaceAttributes a = mesh.faceAttributes[s];
        if (!text.empty()) text += ' ';
        text += (a & FaceLine) ? "l" : "f";
        if (FaceStrandCount(a) != 0) text += std::to_string(FaceStrandCount(a));
        text += ':';
        for (int c = 0; c < 4 && mesh.faceVertexIndices[4 * s + c] != -1; ++c) {
            if (c) text += ',';
            text += std::to_string(mesh.faceVertexIndices[4 * s + c] + 1);
        }
        if (FaceGroupIndex(a) != 0 || FaceMaterialIndex(a) != 0) {
            text += "@" + std::to_string(FaceGroupIndex(a)) + "." + std::to_string(FaceMaterialIndex(a));
        }
    }
    return text;
}

std::string DescribeTexIndices(const Mesh& mesh) {
    std::string text;
    for (int s = 0; s < mesh.faceCount; ++s) {
        if (!text.empty()) text += ' ';
        for (int c = 0; c < 4 && mesh.faceVertexIndices[4 * s + c] != -1; ++c) {
            if (c) text += ',';
            text += std::to_string(mesh.faceTexIndices[4 * s + c] + 1);
        }
    }
    return text;
}
