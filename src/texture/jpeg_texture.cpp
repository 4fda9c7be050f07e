// The decode entry: a JPEG byte stream into a Texture. The decoder's working
// memory is a scratch pool freed after every decode; only the pixels remain.
#include <cstdint>
#include <cstring>

#include "core/cpu_features.h"
#include "core/memory.h"
#include "texture/jpeg/jpeg_decoder.h"
#include "texture/jpeg/jpeg_geometry.h"
#include "texture/jpeg/jpeg_markers.h"
#include "texture/jpeg/jpeg_rows.h"
#include "texture/texture_slots.h"

void PrepareJpegContext(JpegContext& jc, const JpegDecodeOptions* options) {
    jc.progressiveRejected = 0;
    jc.sinkStopped = 0;
    ResetScratchPool(jc);
    jc.idctConstants = options && options->idctConstants ? options->idctConstants : &ProgramIdctConstants;
    jc.kernels = ChooseJpegKernels(ActiveSimdLevel());
    if (options && options->inverseDct) jc.kernels.inverseDct = options->inverseDct;
    jc.fastEntropy = options && options->referenceEntropyDecoder ? 0 : 1;
}

namespace {

// The texture as a row sink: rows bottom-up, as a texture stores them.
int StartTexture(void* context, int32_t width, int32_t height) {
    Texture* target = static_cast<Texture*>(context);
    target->width = width;
    target->height = height;
    // A buffer past the signed 32-bit byte range is an allocation failure,
    // never a short allocation.
    const int64_t bytes = static_cast<int64_t>(width) * height * 4;
    if (bytes > INT32_MAX) return 0;
    target->pixels = static_cast<uint32_t*>(AllocateBytes(static_cast<size_t>(bytes)));
    return target->pixels != nullptr;
}

uint32_t* TextureRow(void* context, int32_t r) {
    const Texture* target = static_cast<const Texture*>(context);
    return target->pixels + static_cast<size_t>(target->height - 1 - r) * static_cast<size_t>(target->width);
}

int TextureRowDone(void*, int32_t) { return 1; }

}  // namespace

int DecodeJpegRows(JpegContext& jc, const JpegRowSink& sink) {
    ResetDecoder(jc);
    if (!ReadHeader(jc)) return 0;
    ChooseColorSpace(jc);
    ComputeOutputSize(jc);
    if (!sink.start(sink.context, jc.decoder.outputWidth, jc.decoder.outputHeight)) {
        jc.sinkStopped = 1;
        return 0;
    }
    return DecodeAllRows(jc, sink);
}

// Decodes the current byte source into `target`: sets its size and allocates
// and fills its pixels. On failure the pixels are null or a partly filled
// buffer that the caller frees.
JpegRowSink TextureRowSink(Texture* target) { return JpegRowSink{target, StartTexture, TextureRow, TextureRowDone}; }

int DecodeJpegTexture(JpegContext& jc, Texture* target) { return DecodeJpegRows(jc, TextureRowSink(target)); }

void ReleaseTexturePixels(Texture* texture) {
    if (texture->pixels) ReleaseBytes(texture->pixels);
    texture->pixels = nullptr;
}

int DecodeJpegMemory(const unsigned char* data, size_t size, Texture* out, const JpegDecodeOptions* options,
                     int* progressiveRejected) {
    JpegContext* jc = static_cast<JpegContext*>(AllocateBytes(sizeof(JpegContext)));
    *out = Texture{nullptr, 0, 0};
    if (progressiveRejected) *progressiveRejected = 0;
    if (!jc) return 0;
    std::memset(jc, 0, sizeof *jc);
    PrepareJpegContext(*jc, options);
    int ok = 0;
    if (size <= static_cast<size_t>(INT32_MAX)) {
        UseMemorySource(*jc, data, static_cast<int32_t>(size));
        ok = DecodeJpegTexture(*jc, out);
    }
    FreeScratchPool(*jc);
    if (progressiveRejected) *progressiveRejected = jc->progressiveRejected;
    ReleaseBytes(jc);
    if (!ok) ReleaseTexturePixels(out);
    return ok;
}
