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
    ResetScratchPool(jc);
    jc.idctConstants = options && options->idctConstants ? options->idctConstants : &ProgramIdctConstants;
    jc.kernels = ChooseJpegKernels(ActiveSimdLevel());
    if (options && options->inverseDct) jc.kernels.inverseDct = options->inverseDct;
    jc.fastEntropy = options && options->referenceEntropyDecoder ? 0 : 1;
}

// Decodes the current byte source into `target`: sets its size and allocates
// and fills its pixels. On failure the pixels are null or a partly filled
// buffer that the caller frees.
int DecodeJpegTexture(JpegContext& jc, Texture* target) {
    ResetDecoder(jc);
    if (!ReadHeader(jc)) return 0;
    ChooseColorSpace(jc);
    ComputeOutputSize(jc);
    const JpegDecoder& d = jc.decoder;
    target->width = d.outputWidth;
    target->height = d.outputHeight;
    // A buffer past the signed 32-bit byte range is an allocation failure,
    // never a short allocation.
    const int64_t bytes = static_cast<int64_t>(d.outputWidth) * d.outputHeight * 4;
    if (bytes > INT32_MAX) return 0;
    target->pixels = static_cast<uint32_t*>(AllocateBytes(static_cast<size_t>(bytes)));
    if (!target->pixels) return 0;
    return DecodeAllRows(jc, target->pixels);
}

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
