// The texture slots' load operations and the decode entry that turns a JPEG
// byte stream into a Texture (0x00RRGGBB pixels, rows bottom-up).
#pragma once

#include <cstddef>

#include "core/platform.h"
#include "core/texture.h"
#include "texture/jpeg/jpeg_idct.h"
#include "texture/jpeg/jpeg_rows.h"

// The two texts a user sees when a texture file does not load (caption "error").
extern const char* const ProgressiveJpegMessage;  // "Progressive Jpeg not supported"
extern const char* const JpegErrorMessage;        // "Error reading Jpeg file"
extern const char* const JpegErrorCaption;        // "error"

// Asks for a JPEG file and decodes it into `target`. Returns 1 when the target
// now holds the new image (its previous pixels freed) and `title` (titleSize
// bytes) holds the file's name without folder, in lower case. Returns 0 when
// the user cancelled (nothing shown), or after a message box when the file
// could not be opened or decoded; the target is then unchanged.
int LoadTextureFile(PlatformOwner owner, Texture* target, char* title, size_t titleSize);

// The same load with the decoded rows handed, top row first, to `sink`
// instead of a texture, so that a whole image is never held. The messages are
// LoadTextureFile's, except when the sink stopped the decode: its owner says
// why.
int StreamTextureFile(PlatformOwner owner, const JpegRowSink& sink);

// Decodes the embedded resource `name` ("wood", "metal", "pattern", any case)
// into `target`, replacing what it held. Silent: returns 0 with the slot empty
// (pixels null) when the resource is missing or does not decode.
int LoadTextureResource(Texture* target, const char* name);

// Frees a texture's pixels (if any) and sets the pointer to null.
void ReleaseTexturePixels(Texture* texture);

// How a decode runs; zeroed options mean the program's own choices.
struct JpegDecodeOptions {
    const IdctConstants* idctConstants;  // null: the program's constants
    InverseDctFunction inverseDct;       // null: ChooseInverseDct()
    int referenceEntropyDecoder;         // 1: every MCU through the reference bit reader
};

// Decodes a JPEG held in memory into a fresh texture. Returns 1 on success
// (`out->pixels` owned by the caller, free with ReleaseTexturePixels), 0 on
// failure with `out->pixels` null; `progressiveRejected` (may be null) tells
// whether the failure was a progressive frame. No message is shown.
int DecodeJpegMemory(const unsigned char* data, size_t size, Texture* out, const JpegDecodeOptions* options,
                     int* progressiveRejected);
