// Where the OBJ and Poser readers get their bytes: a source fills a buffer on
// request (from a file, a memory buffer, or any other producer that keeps this
// contract), and the readers take whole lines of it from a large window.
#pragma once

#include <cstddef>
#include <cstdint>
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
    // At most how many bytes the source gives in all, or 0 when it cannot
    // tell. Only a hint for sizing storage: the end of input is still what
    // `fill` says.
    uint64_t sizeBound;
    // The bound is the input's very size (a plain file's, a buffer's), not
    // only a limit (a compressed file's, which may inflate far less).
    bool sizeExact;
};

// A source over an open file, which stays the caller's to close. A read
// error ends the input like its end does, without setting `failed`. Its size
// bound is the file's size when the file can seek.
ByteSource FileByteSource(std::FILE* file);
// The bytes from the file's position to its end, or 0 when it cannot seek (a
// pipe) or is too large for the platform's ftell.
uint64_t FileBytesToEnd(std::FILE* file);
// A source over `size` bytes at `data`, which must outlive the reading.
ByteSource MemoryByteSource(const void* data, size_t size);

// Reads what is left of `source` and drops it, so that a read error behind
// the part a reader needed shows in `failed`.
void DrainByteSource(ByteSource* source);

// The bytes of a source seen through a window of TextWindowSize bytes that
// keeps a line whole: when the reader reaches the end of what is there, the
// unread rest moves to the front and the source fills the room behind it. A
// fill that yields less than the room asked for is the end of input.
constexpr size_t TextWindowSize = 256 * 1024;

// How far the line at the window's position runs (CR and LF each end a line).
enum LineKind {
    LineTerminated,  // up to its CR or LF
    LineAtEnd,       // up to the end of input, without a CR or LF
    LineLong         // past the whole window: TextWindowSize bytes without either
};

// Where the first CR or LF lies in bytes [from, to), or `to`; the kernel for
// the processor's level, chosen when a window starts.
using LineEndScan = size_t (*)(const unsigned char* bytes, size_t from, size_t to);

struct TextWindow {
    ByteSource* source;    // null: no input
    unsigned char* bytes;  // TextWindowSize + 1 bytes: a terminator fits after the last
    LineEndScan scanToLineEnd;
    size_t position;  // the next byte to take
    size_t fill;      // bytes in the window
    uint64_t taken;   // bytes the source has given so far
    bool ended;       // the source has given all it has
    // What FindLineEnd last found, while position has not passed it.
    bool lineKnown;
    size_t lineEnd;
    LineKind lineKind;
};

// Starts reading `source` (or nothing, when null) through `storage`, which
// holds TextWindowSize + 1 bytes and outlives the reading.
void StartTextWindow(TextWindow* in, ByteSource* source, unsigned char* storage);
// Moves the unread bytes to the front and fills the room behind them; false
// when no byte is left to take.
bool RefillTextWindow(TextWindow* in);

// At most how many bytes are left to take (those in the window and those the
// source may still give), or UINT64_MAX when the source cannot tell.
uint64_t TextWindowBytesLeft(const TextWindow* in);
// TextWindowBytesLeft when the source knows its size exactly, else
// UINT64_MAX: what the pace of the records read so far is set against.
inline uint64_t TextWindowExactBytesLeft(const TextWindow* in) {
    return in->source && in->source->sizeExact ? TextWindowBytesLeft(in) : UINT64_MAX;
}
// Bytes of the input taken through the window's position so far.
inline uint64_t TextWindowOffset(const TextWindow* in) { return in->taken - (in->fill - in->position); }

// Whether a byte is there to take at in->bytes[in->position].
inline bool HasByte(TextWindow* in) { return in->position < in->fill || RefillTextWindow(in); }

inline bool IsTextBlank(unsigned char c, bool lineEnds) {
    return c == ' ' || c == '\t' || (lineEnds && (c == '\r' || c == '\n'));
}
// SkipBlanks for any run of blanks, refilling as it goes.
bool SkipManyBlanks(TextWindow* in, bool lineEnds);
// Skips spaces and tabs, and CR and LF too when `lineEnds`; false at the end
// of input. Most calls meet a word or a single blank before one, inside the
// window; those need no call.
inline bool SkipBlanks(TextWindow* in, bool lineEnds) {
    size_t i = in->position;
    if (i + 1 < in->fill) {
        i += IsTextBlank(in->bytes[i], lineEnds);
        if (!IsTextBlank(in->bytes[i], lineEnds)) {
            in->position = i;
            return true;
        }
    }
    return SkipManyBlanks(in, lineEnds);
}
// FindLineEnd where the line's end is not yet known, or it ran past the window.
LineKind FindLineEndAfresh(TextWindow* in, size_t* end);
// Where the line from the window's position ends: *end is the index of its CR
// or LF, or of the end of what the window holds. Refills so that the line is
// whole in the window when it fits. Most lines end inside the window, found
// without a call; a reader asks once for the line and again after its
// keyword, and the answer kept from the first needs no scan.
inline LineKind FindLineEnd(TextWindow* in, size_t* end) {
    if (!in->lineKnown || in->lineEnd < in->position) {
        const size_t found = in->scanToLineEnd(in->bytes, in->position, in->fill);
        if (found < in->fill) {
            in->lineKnown = true;
            in->lineEnd = found;
            in->lineKind = LineTerminated;
            *end = found;
            return LineTerminated;
        }
    } else if (in->lineKind != LineLong) {
        *end = in->lineEnd;
        return in->lineKind;
    }
    return FindLineEndAfresh(in, end);
}
// Takes everything up to and including the next CR or LF; false when the
// input ends first.
bool SkipLine(TextWindow* in);
