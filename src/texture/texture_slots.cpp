// Loading the texture slots: the user's JPEG file through the open dialog and
// the built-in images from the embedded resources.
#include "texture/texture_slots.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/file_name.h"
#include "core/memory.h"
#include "texture/jpeg/jpeg_decoder.h"

const char* const ProgressiveJpegMessage = "Progressive Jpeg not supported";
const char* const JpegErrorMessage = "Error reading Jpeg file";
const char* const JpegErrorCaption = "error";

int LoadTextureResource(Texture* target, const char* name) {
    const unsigned char* data = nullptr;
    size_t size = 0;
    // A slot is loaded into once; anything it held is let go first so that a
    // failure leaves it empty rather than leaking.
    ReleaseTexturePixels(target);
    if (!FindEmbeddedResource(name, &data, &size)) return 0;
    Texture decoded;
    if (!DecodeJpegMemory(data, size, &decoded, nullptr, nullptr)) return 0;
    *target = decoded;
    return 1;
}

namespace {

// Asks for a JPEG file, names `title` after it and decodes it into `sink`.
// 0 when the user cancelled (nothing shown), or after a message box when the
// file could not be opened or decoded; a decode the sink itself stopped is
// left for the sink's owner to report when `sinkReports` is set.
int DecodeChosenFile(PlatformOwner owner, char* title, size_t titleSize, const JpegRowSink& sink, bool sinkReports) {
    // Buffers of the platform's full path length: an ordinary long path is
    // never refused or cut.
    char path[PlatformPathSize] = "";
    char fileTitle[PlatformPathSize] = "";
    FileDialogRequest request{};
    request.filterDescription = "JPG Files(*.JPG)";
    request.filterPattern = "*.JPG";
    if (!AskOpenFileName(owner, request, path, sizeof path, fileTitle, sizeof fileTitle)) return 0;

    // The name comes from the returned path, lowered in place.
    if (title && titleSize > 0) {
        std::snprintf(title, titleSize, "%s", FileNameOf(path));
        for (char* p = title; *p; ++p) {
            if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
        }
    }

    FILE* file = std::fopen(path, "rb");
    if (!file) {
        ShowMessageBox(owner, JpegErrorMessage, JpegErrorCaption, MessageOk);
        return 0;
    }
    JpegContext* jc = static_cast<JpegContext*>(AllocateBytes(sizeof(JpegContext)));
    uint8_t* buffer = static_cast<uint8_t*>(AllocateBytes(JpegFileBufferSize));
    int ok = 0;
    int progressive = 0;
    int sinkStopped = 0;
    if (jc && buffer) {
        std::memset(jc, 0, sizeof *jc);
        PrepareJpegContext(*jc, nullptr);
        UseFileSource(*jc, file, buffer, JpegFileBufferSize);
        ok = DecodeJpegRows(*jc, sink);
        FreeScratchPool(*jc);
        progressive = jc->progressiveRejected;
        sinkStopped = jc->sinkStopped;
    }
    std::fclose(file);
    ReleaseBytes(buffer);
    ReleaseBytes(jc);
    if (!ok && !(sinkReports && sinkStopped)) {
        ShowMessageBox(owner, progressive ? ProgressiveJpegMessage : JpegErrorMessage, JpegErrorCaption, MessageOk);
    }
    return ok;
}

}  // namespace

int LoadTextureFile(PlatformOwner owner, Texture* target, char* title, size_t titleSize) {
    Texture decoded{nullptr, 0, 0};
    if (!DecodeChosenFile(owner, title, titleSize, TextureRowSink(&decoded), false)) {
        ReleaseTexturePixels(&decoded);
        return 0;
    }
    ReleaseTexturePixels(target);
    *target = decoded;
    return 1;
}

int StreamTextureFile(PlatformOwner owner, const JpegRowSink& sink) {
    return DecodeChosenFile(owner, nullptr, 0, sink, true);
}
