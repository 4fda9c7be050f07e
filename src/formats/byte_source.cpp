// File and memory byte sources, and the block reading the text readers share.
#include "formats/byte_source.h"

#include <cstring>

namespace {

size_t FillFromFile(ByteSource* source, unsigned char* buffer, size_t capacity) {
    return std::fread(buffer, 1, capacity, static_cast<std::FILE*>(source->handle));
}

size_t FillFromMemory(ByteSource* source, unsigned char* buffer, size_t capacity) {
    const size_t left = source->size - source->offset;
    const size_t n = left < capacity ? left : capacity;
    if (n > 0) std::memcpy(buffer, source->data + source->offset, n);
    source->offset += n;
    return n;
}

}  // namespace

ByteSource FileByteSource(std::FILE* file) {
    ByteSource source{};
    source.fill = FillFromFile;
    source.handle = file;
    return source;
}

ByteSource MemoryByteSource(const void* data, size_t size) {
    ByteSource source{};
    source.fill = FillFromMemory;
    source.data = static_cast<const unsigned char*>(data);
    source.size = data ? size : 0;
    return source;
}

void DrainByteSource(ByteSource* source) {
    unsigned char scratch[ByteBlockSize];
    while (source->fill(source, scratch, sizeof scratch) == sizeof scratch) {
    }
}

void StartByteBlocks(ByteBlocks* in, ByteSource* source) {
    in->source = source;
    in->fill = ByteBlockSize;
    in->position = ByteBlockSize;
}

int RefillByteBlocks(ByteBlocks* in) {
    // Only a full block can have more behind it.
    if (in->fill < ByteBlockSize || !in->source) return -1;
    in->fill = in->source->fill(in->source, in->block, ByteBlockSize);
    in->position = 0;
    if (in->fill == 0) return -1;
    return in->block[in->position++];
}

size_t TakeToLineEnd(ByteBlocks* in, char* out, size_t room, int* lineEnd) {
    size_t taken = 0;
    for (;;) {
        const unsigned char* start = in->block + in->position;
        const unsigned char* end = in->block + in->fill;
        const unsigned char* p = start;
        while (p < end && *p != '\r' && *p != '\n') ++p;
        const size_t run = static_cast<size_t>(p - start);
        if (taken < room) std::memcpy(out + taken, start, run < room - taken ? run : room - taken);
        taken += run;
        in->position += run;
        if (p < end) {
            *lineEnd = in->block[in->position++];
            return taken;
        }
        const int c = RefillByteBlocks(in);
        if (c == -1 || c == '\r' || c == '\n') {
            *lineEnd = c;
            return taken;
        }
        if (taken < room) out[taken] = static_cast<char>(c);
        ++taken;
    }
}
