// Mesh files on disk as byte sources: plain files through stdio, compressed
// ones inflated by zlib while the reader takes its blocks.
#include "formats/file_source.h"

#include <zlib.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/memory.h"

namespace {

// What a compressed source keeps between fills.
struct GzipInput {
    gzFile file;
    uint64_t inflated;  // bytes handed to the reader so far
    uint64_t limit;
};

// zlib's own input buffer; larger than its 8 KB default so that a big file
// is read from disk in few calls.
constexpr unsigned GzipBufferSize = 128 * 1024;

// Deflate gives at most 1,032 bytes for each byte it reads (a run of
// 258-byte matches, two bits each); a file that is not gzip gives itself.
constexpr uint64_t MostInflatedPerByte = 1032;

// What a compressed file can inflate to at most, or 0 when its size is not
// known: a hint for the readers' reservations.
uint64_t InflatedSizeBound(const char* path, uint64_t limit) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return 0;
    const uint64_t packed = FileBytesToEnd(file);
    std::fclose(file);
    if (packed == 0 || packed > limit / MostInflatedPerByte) return packed == 0 ? 0 : limit;
    return packed * MostInflatedPerByte;
}

size_t FillFromGzip(ByteSource* source, unsigned char* buffer, size_t capacity) {
    GzipInput* in = static_cast<GzipInput*>(source->handle);
    if (source->failed) return 0;
    const int n = gzread(in->file, buffer, static_cast<unsigned>(capacity));
    int error = Z_OK;
    // A short read is the end of the data or a damage; zlib tells which. A
    // stream cut short is Z_BUF_ERROR, which gzread itself does not count as
    // a failure.
    if (n < 0 || (static_cast<size_t>(n) < capacity && (gzerror(in->file, &error), error != Z_OK))) {
        source->failed = true;
        return 0;
    }
    in->inflated += static_cast<uint64_t>(n);
    if (in->inflated > in->limit) {
        source->failed = true;
        return 0;
    }
    return static_cast<size_t>(n);
}

int OpenGzipSource(const char* path, ByteSource* source, uint64_t limit) {
    GzipInput* in = static_cast<GzipInput*>(AllocateBytes(sizeof(GzipInput)));
    if (!in) return 0;
    in->file = gzopen(path, "rb");
    if (!in->file) {
        ReleaseBytes(in);
        return 0;
    }
    gzbuffer(in->file, GzipBufferSize);
    in->inflated = 0;
    in->limit = limit;
    *source = ByteSource{};
    source->fill = FillFromGzip;
    source->handle = in;
    source->sizeBound = InflatedSizeBound(path, limit);
    return 1;
}

// The three characters after the last '.' of `name`, lowered, into `ext`;
// false when there are not exactly three.
bool LowerExtension(const char* name, char* ext) {
    const char* dot = std::strrchr(name, '.');
    if (!dot || std::strlen(dot + 1) != 3) return false;
    for (int i = 0; i < 3; ++i) {
        ext[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(dot[1 + i])));
    }
    ext[3] = '\0';
    return true;
}

bool IsOneOf(const char* ext, const char* const* list) {
    for (; *list; ++list) {
        if (std::strcmp(ext, *list) == 0) return true;
    }
    return false;
}

const char* const objExtensions[] = {"obj", "obz", nullptr};
const char* const poserExtensions[] = {"pp2", "hr2", "cr2", "ppz", "hrz", "crz", nullptr};
const char* const compressedExtensions[] = {"obz", "ppz", "hrz", "crz", nullptr};

}  // namespace

MeshFileFormat MeshFileFormatOf(const char* name) {
    char ext[4];
    if (!LowerExtension(name, ext)) return MeshFileUnsupported;
    if (IsOneOf(ext, objExtensions)) return MeshFileObj;
    if (IsOneOf(ext, poserExtensions)) return MeshFilePoser;
    return MeshFileUnsupported;
}

bool IsCompressedMeshName(const char* name) {
    char ext[4];
    return LowerExtension(name, ext) && IsOneOf(ext, compressedExtensions);
}

int OpenMeshFileSource(const char* path, ByteSource* source, uint64_t limit) {
    if (IsCompressedMeshName(path)) return OpenGzipSource(path, source, limit);
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return 0;
    *source = FileByteSource(file);
    return 1;
}

void CloseMeshFileSource(ByteSource* source) {
    if (source->fill == FillFromGzip) {
        GzipInput* in = static_cast<GzipInput*>(source->handle);
        gzclose(in->file);
        ReleaseBytes(in);
    } else if (source->handle) {
        std::fclose(static_cast<std::FILE*>(source->handle));
    }
    source->handle = nullptr;
}
