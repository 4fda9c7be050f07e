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

namespace {

// Where one block of an MCU goes: its coefficients, its component's table,
// the band rows of its block row and its column within the MCU, and the
// component's samples per MCU.
struct BlockPlacement {
    const int32_t* coefficients;
    const int32_t* quant;
    uint8_t* const* rows;
    int32_t column;
    int32_t step;
};

// The placements of the blocks that are transformed, for an MCU of the row
// (`last`: the row's last MCU, whose blocks right of the image are not); the
// blocks below the image's last block row are left out in the last band.
// Returns their count.
int PlaceBlocks(const JpegContext& jc, uint8_t** const* componentRows, bool last, BlockPlacement* out) {
    const JpegDecoder& d = jc.decoder;
    const bool lastBand = d.bandsDone == d.bandCount - 1;
    int n = 0, b = 0;
    for (int s = 0; s < d.scanComponentCount; ++s) {
        const JpegComponent& comp = *d.scanComponents[s];
        const int usefulWidth = last ? comp.lastColumnWidth : comp.mcuWidth;
        uint8_t* const* rows = componentRows[comp.index];
        for (int yi = 0; yi < comp.mcuHeight; ++yi, b += comp.mcuWidth, rows += 8) {
            if (lastBand && yi >= comp.lastRowHeight) continue;
            for (int xi = 0; xi < usefulWidth; ++xi) {
                out[n++] =
                    BlockPlacement{jc.coefficientBlocks[b + xi], comp.quantTable, rows, 8 * xi, comp.mcuSampleWidth};
            }
        }
    }
    return n;
}

}  // namespace

BandResult DecodeBand(JpegContext& jc, uint8_t** const* componentRows) {
    JpegDecoder& d = jc.decoder;
    if (d.scanComponentCount == 1) {
        const JpegComponent& comp = *d.scanComponents[0];
        for (int y = 0; y < jc.mcuRowsPerBand; ++y) {
            if (!DecodeBlockRow(jc, comp, componentRows[comp.index] + 8 * y)) return BandError;
        }
    } else {
        // A band of an interleaved scan is one MCU row: where each block goes
        // is worked out once for the row, not again for every MCU.
        BlockPlacement inner[JpegMaxBlocksPerMcu], last[JpegMaxBlocksPerMcu];
        const int innerCount = PlaceBlocks(jc, componentRows, false, inner);
        const int lastCount = PlaceBlocks(jc, componentRows, true, last);
        const InverseDctFunction inverseDct = jc.kernels.inverseDct;
        const IdctConstants& constants = *jc.idctConstants;
        int32_t* const* blocks = jc.coefficientBlocks;
        const int blocksPerMcu = d.blocksPerMcu;
        for (int c = 0; c < d.mcusPerRow; ++c) {
            // The blocks lie one after another: one clear for the whole MCU.
            ClearBlocks(blocks[0], blocksPerMcu);
            if (!DecodeMcu(jc, blocks)) return BandError;
            const bool isLast = c == d.mcusPerRow - 1;
            const BlockPlacement* p = isLast ? last : inner;
            const int count = isLast ? lastCount : innerCount;
            for (int i = 0; i < count; ++i) {
                inverseDct(p[i].quant, p[i].coefficients, p[i].rows, c * p[i].step + p[i].column, constants);
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
