// The BMP writer behind "Save Image": a 54-byte header and bottom-up rows.
#include "formats/bmp_writer.h"

#include <cstdio>
#include <cstring>

#include "core/file_name.h"
#include "core/memory.h"
#include "formats/written_file.h"

namespace {

void Put16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void Put32(unsigned char* p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

// True when the text after the last folder separator holds a '.'.
bool HasExtension(const char* path) { return std::strchr(FileNameOf(path), '.') != nullptr; }

}  // namespace

int64_t BmpRowBytes(int32_t width) {
    if (width <= 0) return 0;
    const int64_t bytes = (static_cast<int64_t>(width) * 3 + 3) & ~int64_t(3);
    return bytes > INT32_MAX ? 0 : bytes;
}

void ProposeImageFileName(const char* meshName, char* proposal, size_t size) {
    if (size == 0) return;
    size_t length = std::strlen(meshName);
    for (size_t i = length; i > 1; --i) {
        if (meshName[i - 1] == '.') {
            length = i - 1;
            break;
        }
    }
    std::snprintf(proposal, size, "%.*s.bmp", static_cast<int>(length), meshName);
}

namespace {

void FillHeader(unsigned char* header, int32_t width, int32_t height, uint32_t dataBytes, uint32_t pixelsPerMetre) {
    std::memset(header, 0, BmpHeaderSize);
    Put16(header + 0, 0x4D42);
    Put32(header + 2, static_cast<uint32_t>(BmpHeaderSize) + dataBytes);
    Put32(header + 10, BmpHeaderSize);
    Put32(header + 14, 40);
    Put32(header + 18, static_cast<uint32_t>(width));
    Put32(header + 22, static_cast<uint32_t>(height));
    Put16(header + 26, 1);
    Put16(header + 28, 24);
    Put32(header + 34, dataBytes);
    Put32(header + 38, pixelsPerMetre);
    Put32(header + 42, pixelsPerMetre);
}

bool WriteRows(std::FILE* file, int32_t width, int32_t height, uint32_t pixelsPerMetre, BmpRowSource source,
               const void* picture) {
    const size_t rowBytes = static_cast<size_t>(BmpRowBytes(width));
    unsigned char header[BmpHeaderSize];
    FillHeader(header, width, height, static_cast<uint32_t>(rowBytes * static_cast<uint32_t>(height)), pixelsPerMetre);
    if (std::fwrite(header, 1, sizeof header, file) != sizeof header) return false;
    unsigned char* row = static_cast<unsigned char*>(AllocateBytes(rowBytes));
    bool ok = row != nullptr;
    for (int32_t r = 0; ok && r < height; ++r) {
        source(picture, r, row);
        ok = std::fwrite(row, 1, rowBytes, file) == rowBytes;
    }
    ReleaseBytes(row);
    return ok;
}

// Rows of an Image24, top row first in memory.
void ImageRow(const void* picture, int32_t storedRow, unsigned char* row) {
    const Image24& image = *static_cast<const Image24*>(picture);
    const size_t rowBytes = static_cast<size_t>(BmpRowBytes(image.width));
    const unsigned char* from = image.pixels + static_cast<int64_t>(image.height - 1 - storedRow) * image.rowBytes;
    if (image.rowBytes >= static_cast<int64_t>(rowBytes)) {
        std::memcpy(row, from, rowBytes);
        return;
    }
    const size_t pixelBytes = static_cast<size_t>(image.width) * 3;
    std::memcpy(row, from, pixelBytes);
    std::memset(row + pixelBytes, 0, rowBytes - pixelBytes);
}

// Rows of a decoded texture, bottom row first in memory.
void TextureRow(const void* picture, int32_t storedRow, unsigned char* row) {
    const Texture& texture = *static_cast<const Texture*>(picture);
    const size_t width = static_cast<size_t>(texture.width);
    const uint32_t* from = texture.pixels + static_cast<size_t>(storedRow) * width;
    for (size_t x = 0; x < width; ++x, row += 3) {
        row[0] = static_cast<unsigned char>(from[x]);
        row[1] = static_cast<unsigned char>(from[x] >> 8);
        row[2] = static_cast<unsigned char>(from[x] >> 16);
    }
    for (size_t pad = width * 3; pad < static_cast<size_t>(BmpRowBytes(texture.width)); ++pad) *row++ = 0;
}

constexpr uint32_t PixelsPerMetreAt72Dpi = 2835;

}  // namespace

BmpWriteResult WriteBmpRows(const char* path, int32_t width, int32_t height, uint32_t pixelsPerMetre,
                            BmpRowSource source, const void* picture) {
    const int64_t rowBytes = BmpRowBytes(width);
    // The header's sizes are unsigned 32-bit; a picture that cannot be
    // described is refused before anything is created.
    if (rowBytes == 0 || height <= 0 || rowBytes * height + static_cast<int64_t>(BmpHeaderSize) > UINT32_MAX)
        return BmpCannotWrite;

    std::FILE* file = std::fopen(path, "wb");
    if (!file) return BmpCannotCreate;
    bool ok = WriteRows(file, width, height, pixelsPerMetre, source, picture);
    if (!CloseWrittenFile(file)) ok = false;
    if (!ok) {
        RemoveWrittenFile(path);
        return BmpCannotWrite;
    }
    return BmpWritten;
}

BmpWriteResult WriteBmpFile(const char* path, const Image24& image) {
    if (!image.pixels) return BmpCannotWrite;
    return WriteBmpRows(path, image.width, image.height, 0, ImageRow, &image);
}

BmpWriteResult WriteTextureBmpFile(const char* path, const Texture& texture) {
    if (!texture.pixels) return BmpCannotWrite;
    return WriteBmpRows(path, texture.width, texture.height, PixelsPerMetreAt72Dpi, TextureRow, &texture);
}

int SaveImageFile(PlatformOwner owner, const Image24& image, const char* meshName) {
    char path[PlatformPathSize];
    ProposeImageFileName(meshName, path, sizeof path);
    const FileDialogRequest request{"Windows Bitmap (*.bmp)", "*.bmp", "save image", "bmp", 1};
    if (!AskSaveFileName(owner, request, path, sizeof path, nullptr, 0)) return 0;
    if (!HasExtension(path)) {
        const size_t length = std::strlen(path);
        if (length + 4 >= sizeof path) {
            ShowMessageBox(owner, path, "Error cannot create", MessageIconError);
            return 0;
        }
        std::memcpy(path + length, ".bmp", 5);
    }
    switch (WriteBmpFile(path, image)) {
        case BmpWritten: return 1;
        case BmpCannotCreate: ShowMessageBox(owner, path, "Error cannot create", MessageIconError); return 0;
        case BmpCannotWrite: break;
    }
    ShowMessageBox(owner, path, "Error cannot write", MessageIconError);
    return 0;
}
