// The byte source: a file read in blocks or a memory buffer, with the
// synthetic end-of-image marker past the end of the data.
#include "texture/jpeg/jpeg_source.h"

#include "texture/jpeg/jpeg_context.h"

void UseMemorySource(JpegContext& jc, const uint8_t* data, int32_t size) {
    jc.source = JpegSource{};
    jc.source.buffer = data;
    jc.source.next = data;
    jc.source.remaining = size;
    jc.source.bufferSize = size;
}

void UseFileSource(JpegContext& jc, FILE* file, uint8_t* buffer, int32_t bufferSize) {
    jc.source = JpegSource{};
    jc.source.file = file;
    jc.source.buffer = buffer;
    jc.source.fileBuffer = buffer;
    jc.source.bufferSize = bufferSize;
}

int FillSource(JpegContext& jc) {
    JpegSource& s = jc.source;
    if (s.file) {
        const size_t count = std::fread(s.fileBuffer, 1, static_cast<size_t>(s.bufferSize), s.file);
        if (count > 0) {
            s.next = s.buffer;
            s.remaining = static_cast<int32_t>(count);
            return 1;
        }
    }
    // No more data: deliver an end-of-image marker from the source's own storage,
    // so every marker search ends and the caller's data is never written.
    s.endOfImage[0] = 0xFF;
    s.endOfImage[1] = 0xD9;
    s.next = s.endOfImage;
    s.remaining = 2;
    return 0;
}

uint8_t ReadByte(JpegContext& jc) {
    if (jc.source.remaining == 0) FillSource(jc);
    --jc.source.remaining;
    return *jc.source.next++;
}

int32_t ReadWord(JpegContext& jc) {
    const int32_t high = ReadByte(jc);
    return high * 256 + ReadByte(jc);
}

int SkipBytes(JpegContext& jc, int32_t count) {
    if (count <= 0) return 1;
    while (count > jc.source.remaining) {
        count -= jc.source.remaining;
        jc.source.remaining = 0;
        if (!FillSource(jc)) return 0;
    }
    jc.source.next += count;
    jc.source.remaining -= count;
    return 1;
}
