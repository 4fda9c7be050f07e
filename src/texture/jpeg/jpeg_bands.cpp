// Band decoding: the MCUs that cover maxVSamp * 8 image rows are entropy
// decoded one at a time and each block is dequantised and transformed into the
// component's sample rows of the band.
#include "texture/jpeg/jpeg_bands.h"

#include <emmintrin.h>

#include "texture/jpeg/jpeg_context.h"
#include "texture/jpeg/jpeg_huffman.h"

namespace {

// Zeroes `count` consecutive coefficient blocks before each MCU, with 16-byte
// stores in line: a library memset call per MCU cost more, and the 32-bit
// program's runtime memset more still.
void ClearBlocks(int32_t* blocks, int count) {
    __m128i* p = reinterpret_cast<__m128i*>(blocks);
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < count * 16; i += 4) {  // 16 vectors a block
        _mm_storeu_si128(p + i, zero);
        _mm_storeu_si128(p + i + 1, zero);
        _mm_storeu_si128(p + i + 2, zero);
        _mm_storeu_si128(p + i + 3, zero);
    }
}

// A scan of one component codes one block per MCU (greyscale images): the
// MCU row is its row of blocks, left to right, with no per-MCU layout walk.
int DecodeBlockRow(JpegContext& jc, const JpegComponent& comp, uint8_t* const* rows) {
    const JpegDecoder& d = jc.decoder;
    int32_t* const block = jc.coefficientBlocks[0];
    for (int c = 0; c < d.mcusPerRow; ++c) {
        ClearBlocks(block, 1);
        if (!DecodeMcu(jc, jc.coefficientBlocks)) return 0;
        jc.kernels.inverseDct(comp.quantTable, block, rows, 8 * c, *jc.idctConstants);
    }
    return 1;
}

}  // namespace

void StartBand(JpegContext& jc) {
    const JpegDecoder& d = jc.decoder;
    if (d.scanComponentCount > 1) {
        jc.mcuRowsPerBand = 1;
    } else if (d.bandsDone < d.bandCount - 1) {
        jc.mcuRowsPerBand = d.scanComponents[0]->vSamp;
    } else {
        jc.mcuRowsPerBand = d.scanComponents[0]->lastRowHeight;
    }
}

BandResult DecodeBand(JpegContext& jc, uint8_t** const* componentRows) {
    JpegDecoder& d = jc.decoder;
    const bool lastBand = d.bandsDone == d.bandCount - 1;
    for (int y = 0; y < jc.mcuRowsPerBand; ++y) {
        if (d.scanComponentCount == 1) {
            const JpegComponent& comp = *d.scanComponents[0];
            if (!DecodeBlockRow(jc, comp, componentRows[comp.index] + 8 * y)) return BandError;
            continue;
        }
        for (int c = 0; c < d.mcusPerRow; ++c) {
            // The blocks lie one after another: one clear for the whole MCU.
            ClearBlocks(jc.coefficientBlocks[0], d.blocksPerMcu);
            if (!DecodeMcu(jc, jc.coefficientBlocks)) return BandError;

            int b = 0;
            for (int s = 0; s < d.scanComponentCount; ++s) {
                const JpegComponent& comp = *d.scanComponents[s];
                const int usefulWidth = c == d.mcusPerRow - 1 ? comp.lastColumnWidth : comp.mcuWidth;
                uint8_t* const* rows = componentRows[comp.index] + 8 * y;
                const int firstColumn = c * comp.mcuSampleWidth;
                for (int yi = 0; yi < comp.mcuHeight; ++yi) {
                    // Blocks right of the image or below its last block row are
                    // decoded but not transformed.
                    if (!lastBand || y + yi < comp.lastRowHeight) {
                        for (int xi = 0; xi < usefulWidth; ++xi) {
                            jc.kernels.inverseDct(comp.quantTable, jc.coefficientBlocks[b + xi], rows,
                                                  firstColumn + 8 * xi, *jc.idctConstants);
                        }
                    }
                    b += comp.mcuWidth;
                    rows += 8;
                }
            }
        }
    }
    ++d.bandsDone;
    if (d.bandsDone < d.bandCount) {
        StartBand(jc);
        return BandMoreFollow;
    }
    return BandLast;
}
