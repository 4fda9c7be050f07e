// The byte source: delivers the stream from a file, read in blocks, or from
// memory. Past the end of the data it delivers the two bytes 0xFF 0xD9 again
// and again, so that every marker search ends with end-of-image; those bytes
// live in the source's own storage, never in the caller's data.
#pragma once

#include <cstdint>
#include <cstdio>

struct JpegContext;

constexpr int32_t JpegFileBufferSize = 4096;  // read size of a file source

struct JpegSource {
    const uint8_t* next;
    int32_t remaining;
    FILE* file;             // null for a memory source
    const uint8_t* buffer;  // read buffer (file) or the data (memory)
    uint8_t* fileBuffer;    // writable view of `buffer` for a file source
    int32_t bufferSize;
    uint8_t endOfImage[2];  // the synthetic 0xFF 0xD9 delivered past the end
};

// The caller keeps `data` (or `file` and `buffer`) alive for the decode.
void UseMemorySource(JpegContext& jc, const uint8_t* data, int32_t size);
void UseFileSource(JpegContext& jc, FILE* file, uint8_t* buffer, int32_t bufferSize);
// Refills: 1 when more data was read, 0 when the data has ended (the
// synthetic end-of-image marker is then the next data).
int FillSource(JpegContext& jc);
uint8_t ReadByte(JpegContext& jc);
int32_t ReadWord(JpegContext& jc);  // big-endian
// Skips `count` bytes (none when count <= 0); 0 when the data ends first.
int SkipBytes(JpegContext& jc, int32_t count);
