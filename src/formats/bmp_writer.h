// Saving the preview picture as an uncompressed 24-bit Windows bitmap.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/platform.h"
#include "core/texture.h"

// A 24-bit picture in memory: `height` rows of `width` pixels, each pixel the
// bytes blue, green, red; the first row in memory is the top of the picture and
// rows start `rowBytes` apart. The frame buffer's image is such a picture (the
// view being its upper-left part); whoever owns another kind of image converts
// the whole view into this form first.
struct Image24 {
    const unsigned char* pixels;
    int32_t width;
    int32_t height;
    int32_t rowBytes;
};

constexpr size_t BmpHeaderSize = 54;  // 14-byte file header + 40-byte information header

// Bytes of one stored row: width * 3 rounded up to a multiple of 4, or 0 when
// the width is not positive or the row would not fit a signed 32-bit size.
int64_t BmpRowBytes(int32_t width);

// The name the save dialog proposes for `meshName`: the text cut at its last
// '.' (a '.' in the first position does not count) with ".bmp" appended, cut
// to `size` - 1 characters.
void ProposeImageFileName(const char* meshName, char* proposal, size_t size);

enum BmpWriteResult {
    BmpWritten = 1,
    BmpCannotCreate = 0,
    BmpCannotWrite = -1,
};

// Fills `row`, BmpRowBytes(width) bytes, with stored row `storedRow` of
// `picture` (row 0 is the bottom of the picture): blue, green, red per pixel,
// then the padding.
using BmpRowSource = void (*)(const void* picture, int32_t storedRow, unsigned char* row);

// Writes a `width` x `height` bottom-up 24-bit bitmap to `path`, its rows
// from `source`, its header stating `pixelsPerMetre` as both resolutions (0:
// none stated). Pictures whose sizes the header cannot hold (no rows, a
// width that is not positive, more than 4 GB) are refused before anything is
// created. A file that cannot be written completely is removed when it is a
// regular file. Shows no message.
BmpWriteResult WriteBmpRows(const char* path, int32_t width, int32_t height, uint32_t pixelsPerMetre,
                            BmpRowSource source, const void* picture);

// Writes `image` to `path` with WriteBmpRows, no resolution stated. Stored
// row r is picture row height - 1 - r; each stored row takes
// BmpRowBytes(width) bytes from the start of its picture row when `rowBytes`
// provides them (so the frame buffer's margin fills the padding, as the
// program always did) and pads with zeros otherwise. A null `pixels` is
// refused like a picture of no size.
BmpWriteResult WriteBmpFile(const char* path, const Image24& image);

// Writes a decoded texture (rows bottom first, one word per pixel with blue
// in its low byte, then green and red) to `path` with WriteBmpRows, at 72
// dots per inch, the padding zeros.
BmpWriteResult WriteTextureBmpFile(const char* path, const Texture& texture);

// The "Save Image" command: asks for a file name (proposing `meshName`, which
// the program passes as `meshFileName`, with ".bmp"), appends ".bmp" when the
// chosen name has no extension, and writes the picture. `meshName` is not
// changed. Returns 1 when the whole file was written; 0 on cancel (silent) or
// failure, which is reported with the path as text and the caption
// "Error cannot create" or "Error cannot write".
int SaveImageFile(PlatformOwner owner, const Image24& image, const char* meshName);
