// The Poser reader on arbitrary file contents: load or fail with a message,
// and a loaded mesh keeps every rule of the mesh records; nothing leaks. The
// same bytes gzip-compressed in a .hrz file load exactly as from memory, and
// the bytes themselves under that name (a damaged stream, or no gzip at all)
// load or fail as cleanly. Files that announce more than 16,384 vertices or
// elements are passed over: the reader reserves and clears what a block
// announces, which for a count in the millions cost the rest of the input
// a hundred times over, while an input of at most a few kilobytes holds far
// fewer records, so an announced count past its contents is still
// exercised; the unit tests cover oversized counts.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "core/platform.h"
#include "formats/poser_reader.h"
#include "fuzz_support.h"

// The reader's messages go nowhere here.
void ShowMessageBox(PlatformOwner, const char*, const char*, unsigned) {}

namespace {

constexpr uint64_t CountBudget = 1u << 14;

// Whether a "numb..." word has on its line a number past the budget. Every
// run of digits on the line counts, not only the first: the reader's word
// ends at a blank, not at a NUL, so in "numbElems\0+0 1630000" it takes the
// count from "1630000", which a look at the first digits after the word
// missed (seconds of reservation per input). Anything else before the digits
// is passed too (a sign, blanks of any kind, other text): a "+" once let 120
// million elements through, twenty seconds of reservation.
bool AnnouncesHugeCount(const uint8_t* data, size_t size) {
    for (size_t i = 0; i + 4 < size; ++i) {
        // Byte by byte: a memcmp at every offset went through the sanitizer's
        // and the fuzzer's hooks, a sixth of an input's time.
        if (data[i] != 'n' || data[i + 1] != 'u' || data[i + 2] != 'm' || data[i + 3] != 'b') continue;
        uint64_t value = 0;
        for (size_t p = i + 4; p < size && data[p] != '\n'; ++p) {
            if (data[p] < '0' || data[p] > '9') {
                value = 0;
            } else if ((value = value * 10 + (data[p] - '0')) > CountBudget) {
                return true;
            }
        }
    }
    return false;
}

int LoadPoser(Mesh* mesh, const uint8_t* data, size_t size) { return LoadPoserMemory(mesh, data, size); }

// One compressor for the run, reset per input: setting one up clears its
// 256 KB of tables, which cost more than compressing a few kilobytes. The
// fastest level still writes Huffman-coded blocks for the reader to inflate.
std::string Gzip(const uint8_t* data, size_t size) {
    static z_stream stream{};
    // 15 window bits, plus 16: a gzip header and trailer.
    static const int made = deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    Require(made == Z_OK && deflateReset(&stream) == Z_OK, "deflateInit2");
    std::string out(deflateBound(&stream, size), '\0');
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    Require(deflate(&stream, Z_FINISH) == Z_STREAM_END, "deflate");
    out.resize(stream.total_out);
    return out;
}

int LoadCompressed(Mesh* mesh, const uint8_t* data, size_t size) {
    const std::string packed = Gzip(data, size);
    const char* path = WriteScratchFile("input.hrz", reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
    return LoadPoserFile(mesh, path);
}

int LoadRawAsCompressed(Mesh* mesh, const uint8_t* data, size_t size) {
    return LoadPoserFile(mesh, WriteScratchFile("raw.hrz", data, size));
}

// The compressed file gives what the bytes give. The second record is
// reused across inputs like the first.
void RequireSameLoad(const uint8_t* data, size_t size) {
    static Mesh* const packed = CreateMesh("prop");
    Require(packed != nullptr, "the mesh records are made");
    Mesh* plain = FreshMesh();
    CopyMeshRecord(packed, plain);
    const int a = LoadPoser(plain, data, size), b = LoadCompressed(packed, data, size);
    Require(a == b, "the compressed file loads as the bytes do");
    Require(!a || (plain->vertexCount == packed->vertexCount && plain->faceCount == packed->faceCount &&
                   plain->texCoordCount == packed->texCoordCount && plain->materialCount == packed->materialCount &&
                   std::strcmp(plain->name, packed->name) == 0),
            "the compressed file gives the same mesh");
    ReleaseMeshArrays(plain);
    ReleaseMeshArrays(packed);
}

}  // namespace

// A Poser file may hold vertices and no element at all.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (AnnouncesHugeCount(data, size)) return 0;
    CheckMeshLoad(LoadPoser, false, data, size);
    // Compressing and going through two files costs ten plain loads: one
    // input in eight (by its size, so that a run repeats) takes that road.
    if (size % 8 == 0) {
        CheckMeshLoad(LoadRawAsCompressed, false, data, size);
        RequireSameLoad(data, size);
    }
    return 0;
}
