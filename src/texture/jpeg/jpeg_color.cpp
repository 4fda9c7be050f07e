// Colour conversion of upsampled rows into 0x00RRGGBB pixels: grey, RGB,
// JFIF YCbCr through fixed-point tables, CMYK and YCCK.
#include "texture/jpeg/jpeg_color.h"

#include "core/int_math.h"
#include "texture/jpeg/jpeg_context.h"
#include "texture/jpeg/jpeg_kernels.h"

namespace {

inline int32_t Clamp255(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// Clamp to 0..255 by table: index v + 256 for v in -256..1023, which covers
// every sum the conversions below can form.
struct RangeLimit {
    uint8_t table[1280];
    RangeLimit() {
        for (int i = 0; i < 1280; ++i) table[i] = static_cast<uint8_t>(Clamp255(i - 256));
    }
    // Indexed by a pointer-sized value, so that a sum formed in that width
    // needs no widening before the look-up.
    uint32_t operator()(intptr_t v) const { return table[v + 256]; }
};
const RangeLimit rangeLimit;

inline uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }

// One YCbCr pixel; the luminance may exceed 255 (YCCK adds its black to it).
inline uint32_t YccPixel(intptr_t luma, int cb, int cr, const ColorTables& t) {
    const intptr_t green = ArithmeticShiftRight(t.cbToG[cb] + t.crToG[cr], 16);
    return Pack(rangeLimit(luma + t.crToR[cr]), rangeLimit(luma + green), rangeLimit(luma + t.cbToB[cb]));
}

}  // namespace

void YccRowScalar(const uint8_t* y, const uint8_t* cb, const uint8_t* cr, uint32_t* out, int width,
                  const ColorTables& t) {
    for (int x = 0; x < width; ++x) out[x] = YccPixel(y[x], cb[x], cr[x], t);
}

void GreyRowScalar(const uint8_t* y, uint32_t* out, int width) {
    for (int x = 0; x < width; ++x) out[x] = y[x] * 0x010101u;
}

void ConvertRow(JpegContext& jc, int row, uint32_t* out) {
    const JpegDecoder& d = jc.decoder;
    const int width = d.outputWidth;
    const uint8_t* c0 = jc.upsamplers[0].rows[row];
    switch (d.colorSpace) {
        case JpegColorGrey: jc.kernels.greyToPixels(c0, out, width); break;
        case JpegColorRgb: {
            const uint8_t* c1 = jc.upsamplers[1].rows[row];
            const uint8_t* c2 = jc.upsamplers[2].rows[row];
            for (int x = 0; x < width; ++x) out[x] = Pack(c0[x], c1[x], c2[x]);
            break;
        }
        case JpegColorYCbCr:
            jc.kernels.yccToPixels(c0, jc.upsamplers[1].rows[row], jc.upsamplers[2].rows[row], out, width, jc.color);
            break;
        case JpegColorYcck: {
            // As YCbCr, with the black sample added to the luminance.
            const uint8_t* cb = jc.upsamplers[1].rows[row];
            const uint8_t* cr = jc.upsamplers[2].rows[row];
            const uint8_t* k = jc.upsamplers[3].rows[row];
            for (int x = 0; x < width; ++x) out[x] = YccPixel(c0[x] + k[x], cb[x], cr[x], jc.color);
            break;
        }
        case JpegColorCmyk: {
            // Each ink and the black are taken from white.
            const uint8_t* c1 = jc.upsamplers[1].rows[row];
            const uint8_t* c2 = jc.upsamplers[2].rows[row];
            const uint8_t* c3 = jc.upsamplers[3].rows[row];
            for (int x = 0; x < width; ++x) {
                out[x] = Pack(rangeLimit(255 - (c0[x] + c3[x])), rangeLimit(255 - (c1[x] + c3[x])),
                              rangeLimit(255 - (c2[x] + c3[x])));
            }
            break;
        }
        default: break;
    }
}

int BuildColorTables(JpegContext& jc) {
    const JpegDecoder& d = jc.decoder;
    int needed;
    switch (d.colorSpace) {
        case JpegColorGrey: needed = 1; break;
        case JpegColorRgb:
        case JpegColorYCbCr: needed = 3; break;
        case JpegColorCmyk:
        case JpegColorYcck: needed = 4; break;
        default: return 0;
    }
    if (d.componentCount != needed) return 0;
    // JFIF YCbCr -> RGB in 16-bit fixed point: 1.402, 1.772, 0.71414, 0.34414.
    // The rounding half of the green sum rides in cbToG so it is added once.
    for (int i = 0; i < 256; ++i) {
        const int32_t x = i - 128;
        jc.color.crToR[i] = ArithmeticShiftRight(91881 * x + 32768, 16);
        jc.color.cbToB[i] = ArithmeticShiftRight(116130 * x + 32768, 16);
        jc.color.crToG[i] = -46802 * x;
        jc.color.cbToG[i] = -22554 * x + 32768;
    }
    return 1;
}
