// The BMP writer behind "Save Image": a 54-byte header and bottom-up rows.
#include "formats/bmp_writer.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "core/memory.h"

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
bool HasExtension(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '/' || *p == '\\') name = p + 1;
    }
    return std::strchr(name, '.') != nullptr;
}

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

BmpWriteResult WriteBmpFile(const char* path, const Image24& image) {
    const int64_t rowBytes = BmpRowBytes(image.width);
    const int64_t dataBytes = rowBytes * (image.height > 0 ? image.height : 0);
    // The header's sizes are unsigned 32-bit; a picture that cannot be
    // described is refused before anything is created.
    if (rowBytes == 0 || image.height <= 0 || !image.pixels ||
        dataBytes + static_cast<int64_t>(BmpHeaderSize) > UINT32_MAX)
        return BmpCannotWrite;

    std::FILE* file = std::fopen(path, "wb");
    if (!file) return BmpCannotCreate;

    unsigned char header[BmpHeaderSize] = {};
    Put16(header + 0, 0x4D42);
    Put32(header + 2, static_cast<uint32_t>(BmpHeaderSize + dataBytes));
    Put32(header + 10, BmpHeaderSize);
    Put32(header + 14, 40);
    Put32(header + 18, static_cast<uint32_t>(image.width));
    Put32(header + 22, static_cast<uint32_t>(image.height));
    Put16(header + 26, 1);
    Put16(header + 28, 24);
    Put32(header + 34, static_cast<uint32_t>(dataBytes));
    bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;

    // Rows whose stride covers the padding are written straight from the
    // picture; a tighter picture is padded with zeros through one row buffer.
    const bool direct = image.rowBytes >= rowBytes;
    unsigned char* padded = nullptr;
    if (ok && !direct) {
        padded = static_cast<unsigned char*>(AllocateBytes(static_cast<size_t>(rowBytes)));
        ok = padded != nullptr;
        if (ok) std::memset(padded, 0, static_cast<size_t>(rowBytes));
    }
    for (int32_t r = 0; ok && r < image.height; ++r) {
        const unsigned char* row = image.pixels + static_cast<int64_t>(image.height - 1 - r) * image.rowBytes;
        if (!direct) {
            std::memcpy(padded, row, static_cast<size_t>(image.width) * 3);
            row = padded;
        }
        ok = std::fwrite(row, 1, static_cast<size_t>(rowBytes), file) == static_cast<size_t>(rowBytes);
    }
    ReleaseBytes(padded);
    // The flush is checked on its own: one C runtime's fclose forgets that
    // its final flush failed, and a picture smaller than its buffer is
    // written by that flush alone (onto a full disk it read as saved).
    if (std::fflush(file) != 0 || std::ferror(file)) ok = false;
    if (std::fclose(file) != 0) ok = false;
    if (!ok) {
        // Only a file of our own making is removed, never a device the user
        // happened to name.
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error)) std::remove(path);
        return BmpCannotWrite;
    }
    return BmpWritten;
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
