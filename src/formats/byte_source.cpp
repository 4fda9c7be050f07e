// File and memory byte sources, and the block reading the text readers share.
#include "formats/byte_source.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/cpu_features.h"

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

uint64_t FileBytesToEnd(std::FILE* file) {
    const long at = std::ftell(file);
    if (at < 0 || std::fseek(file, 0, SEEK_END) != 0) return 0;
    const long end = std::ftell(file);
    if (std::fseek(file, at, SEEK_SET) != 0 || end < at) return 0;
    return static_cast<uint64_t>(end - at);
}

ByteSource FileByteSource(std::FILE* file) {
    ByteSource source{};
    source.fill = FillFromFile;
    source.handle = file;
    source.sizeBound = FileBytesToEnd(file);
    source.sizeExact = source.sizeBound != 0;
    return source;
}

ByteSource MemoryByteSource(const void* data, size_t size) {
    ByteSource source{};
    source.fill = FillFromMemory;
    source.data = static_cast<const unsigned char*>(data);
    source.size = data ? size : 0;
    source.sizeBound = source.size;
    source.sizeExact = true;
    return source;
}

void DrainByteSource(ByteSource* source) {
    unsigned char scratch[4096];
    while (source->fill(source, scratch, sizeof scratch) == sizeof scratch) {
    }
}

namespace {

// The first CR or LF in bytes [from, to), or `to`: eight bytes a step, with
// the test for a zero byte on each byte's difference from the two. A borrow
// can mark bytes above a true match, never below it, so the lowest mark is
// the first line end (the first byte is the word's lowest: x86 is
// little-endian).
size_t ScanToLineEnd(const unsigned char* bytes, size_t from, size_t to) {
    constexpr uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    size_t i = from;
    for (; i + 8 <= to; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, sizeof word);
        const uint64_t lf = word ^ (ones * '\n'), cr = word ^ (ones * '\r');
        const uint64_t marks = (((lf - ones) & ~lf) | ((cr - ones) & ~cr)) & highs;
        if (marks) return i + static_cast<size_t>(__builtin_ctzll(marks) / 8);
    }
    for (; i < to; ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') return i;
    }
    return to;
}

#if defined(__SSE2__)
// The same, sixteen bytes a step: the lowest bit of the mask of bytes equal
// to either is the first line end. The last few bytes go by words.
size_t ScanToLineEndSse2(const unsigned char* bytes, size_t from, size_t to) {
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    size_t i = from;
    for (; i + 16 <= to; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const int marks = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
        if (marks) return i + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(marks)));
    }
    return ScanToLineEnd(bytes, i, to);
}
#endif

LineEndScan LineEndScanFor(SimdLevel level) {
#if defined(__SSE2__)
    if (level >= SimdSse2) return ScanToLineEndSse2;
#endif
    (void)level;
    return ScanToLineEnd;
}

}  // namespace

void StartTextWindow(TextWindow* in, ByteSource* source, unsigned char* storage) {
    in->source = source;
    in->bytes = storage;
    in->scanToLineEnd = LineEndScanFor(ActiveSimdLevel());
    in->position = 0;
    in->fill = 0;
    in->taken = 0;
    in->ended = source == nullptr;
    in->lineKnown = false;
    in->lineEnd = 0;
    in->lineKind = LineLong;
}

bool RefillTextWindow(TextWindow* in) {
    const size_t keep = in->fill - in->position;
    if (in->position > 0) {
        std::memmove(in->bytes, in->bytes + in->position, keep);
        in->lineKnown = in->lineKnown && in->lineEnd >= in->position;
        in->lineEnd = in->lineKnown ? in->lineEnd - in->position : 0;
        in->position = 0;
        in->fill = keep;
    }
    const size_t room = TextWindowSize - in->fill;
    if (!in->ended && room > 0) {
        const size_t n = in->source->fill(in->source, in->bytes + in->fill, room);
        if (n < room) in->ended = true;
        in->fill += n;
        in->taken += n;
    }
    return in->position < in->fill;
}

uint64_t TextWindowBytesLeft(const TextWindow* in) {
    const uint64_t inWindow = in->fill - in->position;
    if (in->ended) return inWindow;
    const uint64_t bound = in->source->sizeBound;
    if (bound == 0) return UINT64_MAX;
    return inWindow + (bound > in->taken ? bound - in->taken : 0);
}

bool SkipManyBlanks(TextWindow* in, bool lineEnds) {
    for (;;) {
        const unsigned char* bytes = in->bytes;
        size_t i = in->position;
        while (i < in->fill && IsTextBlank(bytes[i], lineEnds)) ++i;
        in->position = i;
        if (i < in->fill) return true;
        if (!RefillTextWindow(in)) return false;
    }
}

LineKind FindLineEndAfresh(TextWindow* in, size_t* end) {
    // A line that ran past the window is known to hold no line end up to
    // there.
    size_t from = in->position;
    if (in->lineKnown && in->lineEnd >= in->position) {
        if (in->lineKind != LineLong) {
            *end = in->lineEnd;
            return in->lineKind;
        }
        from = in->lineEnd;
    }
    for (;;) {
        const size_t found = in->scanToLineEnd(in->bytes, from, in->fill);
        in->lineKnown = true;
        in->lineEnd = found;
        if (found < in->fill) {
            in->lineKind = LineTerminated;
        } else if (in->ended) {
            in->lineKind = LineAtEnd;
        } else if (in->position == 0 && in->fill == TextWindowSize) {
            in->lineKind = LineLong;
        } else {
            const size_t shift = in->position;
            RefillTextWindow(in);
            from = found - shift;
            continue;
        }
        *end = found;
        return in->lineKind;
    }
}

bool SkipLine(TextWindow* in) {
    for (;;) {
        const size_t found = in->scanToLineEnd(in->bytes, in->position, in->fill);
        if (found < in->fill) {
            in->position = found + 1;
            return true;
        }
        in->position = in->fill;
        if (!RefillTextWindow(in)) return false;
    }
}
