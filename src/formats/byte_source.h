// Where the OBJ and Poser readers get their bytes: a source fills a buffer on
// request (from a file, a memory buffer, or any other producer that keeps this
// contract), and the readers take characters one at a time from 4096-byte
// blocks of it.
#pragma once

#include <cstddef>
#include <cstdio>

struct ByteSource {
    // Fills `buffer` with up to `capacity` bytes and returns how many. Fewer
    // than `capacity` only at the end of the input (0: nothing is left) or
    // when reading failed, which the source notes in `failed`.
    size_t (*fill)(ByteSource* source, unsigned char* buffer, size_t capacity);
    void* handle;               // the producer's own state: the FILE* of a file source
    const unsigned char* data;  // a memory source's bytes, `size` of them,
    size_t size;                // `offset` of which are taken
    size_t offset;
    bool failed;  // a read error, as opposed to the plain end of input
};

// A source over an open file, which stays the caller's to close. A read
// error ends the input like its end does, without setting `failed`.
ByteSource FileByteSource(std::FILE* file);
// A source over `size` bytes at `data`, which must outlive the reading.
ByteSource MemoryByteSource(const void* data, size_t size);

constexpr size_t ByteBlockSize = 4096;

// Reads what is left of `source` and drops it, so that a read error behind
// the part a reader needed shows in `failed`.
void DrainByteSource(ByteSource* source);

// Characters of a source through one block. A further block is asked for
// only after a full one: a short block, or a fill that yields nothing, is the
// end of input.
struct ByteBlocks {
    ByteSource* source;  // null: no input
    unsigned char block[ByteBlockSize];
    size_t fill;
    size_t position;
};

// Starts reading `source` (or nothing, when null): the first character asks
// for the first block.
void StartByteBlocks(ByteBlocks* in, ByteSource* source);
// Refills the block and returns its first character, or -1 at the end of input.
int RefillByteBlocks(ByteBlocks* in);

// The next character (0 to 255), or -1 at the end of input.
inline int NextByte(ByteBlocks* in) {
    if (in->position < in->fill) return in->block[in->position++];
    return RefillByteBlocks(in);
}

// Takes the bytes from here up to the next CR, LF or end of input, whole runs
// of the block at a time instead of one character each: the first `room` of
// them are copied to `out`, and the result is how many there were (more than
// `room` when they did not fit). The CR or LF that ends them is taken too and
// left in *lineEnd, which is -1 at the end of input.
size_t TakeToLineEnd(ByteBlocks* in, char* out, size_t room, int* lineEnd);
