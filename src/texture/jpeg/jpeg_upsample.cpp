// Upsampling of subsampled components: replication, the 2:1 triangle filters
// with alternating rounding, and integral replication.
#include "texture/jpeg/jpeg_upsample.h"

#include <cstring>

#include "texture/jpeg/jpeg_context.h"
#include "texture/jpeg/jpeg_kernels.h"
#include "texture/jpeg/jpeg_scratch.h"

namespace {

// Writes each input sample `times` times until at least `width` samples are out.
void Replicate(const uint8_t* in, uint8_t* out, int times, int width) {
    for (int o = 0; o < width; ++in) {
        for (int t = 0; t < times; ++t) out[o++] = *in;
    }
}

}  // namespace

// The rounding alternates between 1 and 2 so that the errors do not
// accumulate in one direction.
void SmoothH2V1Inner(const uint8_t* in, uint8_t* out, int from, int to) {
    for (int i = from; i < to; ++i) {
        out[2 * i] = static_cast<uint8_t>((3 * in[i] + in[i - 1] + 1) >> 2);
        out[2 * i + 1] = static_cast<uint8_t>((3 * in[i] + in[i + 1] + 2) >> 2);
    }
}

void SmoothH2V1Edges(const uint8_t* in, uint8_t* out, int n) {
    out[0] = in[0];
    out[1] = static_cast<uint8_t>((3 * in[0] + in[1] + 2) >> 2);
    out[2 * n - 2] = static_cast<uint8_t>((3 * in[n - 1] + in[n - 2] + 1) >> 2);
    out[2 * n - 1] = in[n - 1];
}

void SmoothH2V1Scalar(const uint8_t* in, uint8_t* out, int n) {
    SmoothH2V1Edges(in, out, n);
    SmoothH2V1Inner(in, out, 1, n - 1);
}

// One output row of the 2x2 triangle filter: near is the row itself, far the
// row above or below, s = 3 * near + far; the rounding alternates between 8
// and 7.
void SmoothH2V2RowInner(const uint8_t* near, const uint8_t* far, uint8_t* out, int from, int to) {
    int32_t previous = 3 * near[from - 1] + far[from - 1];
    int32_t current = 3 * near[from] + far[from];
    for (int i = from; i < to; ++i) {
        const int32_t next = 3 * near[i + 1] + far[i + 1];
        out[2 * i] = static_cast<uint8_t>((3 * current + previous + 8) >> 4);
        out[2 * i + 1] = static_cast<uint8_t>((3 * current + next + 7) >> 4);
        previous = current;
        current = next;
    }
}

void SmoothH2V2RowEdges(const uint8_t* near, const uint8_t* far, uint8_t* out, int n) {
    const int32_t first = 3 * near[0] + far[0];
    const int32_t second = 3 * near[1] + far[1];
    const int32_t last = 3 * near[n - 1] + far[n - 1];
    const int32_t beforeLast = 3 * near[n - 2] + far[n - 2];
    out[0] = static_cast<uint8_t>((4 * first + 8) >> 4);
    out[1] = static_cast<uint8_t>((3 * first + second + 7) >> 4);
    out[2 * n - 2] = static_cast<uint8_t>((3 * last + beforeLast + 8) >> 4);
    out[2 * n - 1] = static_cast<uint8_t>((4 * last + 7) >> 4);
}

void SmoothH2V2RowScalar(const uint8_t* near, const uint8_t* far, uint8_t* out, int n) {
    SmoothH2V2RowEdges(near, far, out, n);
    SmoothH2V2RowInner(near, far, out, 1, n - 1);
}

void UpsampleGroup(JpegContext& jc, const JpegComponent& c, uint8_t* const* in) {
    const JpegDecoder& d = jc.decoder;
    ComponentUpsampler& u = jc.upsamplers[c.index];
    const int width = d.outputWidth;
    const int n = c.sampledWidth;
    switch (u.method) {
        case UpsampleFull: u.rows = const_cast<uint8_t**>(in); break;
        case UpsampleH2V1:
            for (int r = 0; r < d.maxVSamp; ++r) Replicate(in[r], u.rows[r], 2, width);
            break;
        case UpsampleH2V1Smooth:
            for (int r = 0; r < d.maxVSamp; ++r) jc.kernels.smoothH2V1(in[r], u.rows[r], n);
            break;
        case UpsampleH2V2:
            for (int j = 0; j < c.vSamp; ++j) {
                Replicate(in[j], u.rows[2 * j], 2, width);
                std::memcpy(u.rows[2 * j + 1], u.rows[2 * j], static_cast<size_t>(width));
            }
            break;
        case UpsampleH2V2Smooth:
            for (int j = 0; j < c.vSamp; ++j) {
                jc.kernels.smoothH2V2Row(in[j], in[j - 1], u.rows[2 * j], n);
                jc.kernels.smoothH2V2Row(in[j], in[j + 1], u.rows[2 * j + 1], n);
            }
            break;
        case UpsampleIntegral: {
            int j = 0;
            for (int o = 0; o < d.maxVSamp; o += u.expandV, ++j) {
                Replicate(in[j], u.rows[o], u.expandH, width);
                for (int e = 1; e < u.expandV; ++e) {
                    std::memcpy(u.rows[o + e], u.rows[o], static_cast<size_t>(width));
                }
            }
            break;
        }
    }
}

int StartUpsampler(JpegContext& jc) {
    const JpegDecoder& d = jc.decoder;
    const int H = d.maxHSamp, V = d.maxVSamp;
    jc.needsContext = 0;
    // Upsampled rows are outputWidth rounded up to a multiple of maxHSamp.
    jc.upsampledRowBytes = (d.outputWidth + H - 1) / H * H;
    for (int i = 0; i < d.componentCount; ++i) {
        const JpegComponent& c = d.components[i];
        ComponentUpsampler& u = jc.upsamplers[i];
        u = ComponentUpsampler{};
        const int h = c.hSamp, v = c.vSamp;
        if (h == H && v == V) {
            u.method = UpsampleFull;
        } else if (2 * h == H && v == V) {
            u.method = c.sampledWidth > 2 ? UpsampleH2V1Smooth : UpsampleH2V1;
        } else if (2 * h == H && 2 * v == V) {
            u.method = c.sampledWidth > 2 ? UpsampleH2V2Smooth : UpsampleH2V2;
            if (u.method == UpsampleH2V2Smooth) jc.needsContext = 1;
        } else if (H % h == 0 && V % v == 0) {
            u.method = UpsampleIntegral;
            u.expandH = static_cast<uint8_t>(H / h);
            u.expandV = static_cast<uint8_t>(V / v);
        } else {
            return 0;
        }
        if (u.method != UpsampleFull) {
            u.rows = ScratchAllocRows(jc, static_cast<size_t>(jc.upsampledRowBytes), static_cast<size_t>(V));
            if (!u.rows) return 0;
        }
    }
    return 1;
}
