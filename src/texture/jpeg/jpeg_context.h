// All state of one decode in one record, created zeroed per decode; each
// stage's part of it is laid out by that stage's header.
#pragma once

#include <cstdint>

#include "texture/jpeg/jpeg_color.h"
#include "texture/jpeg/jpeg_huffman.h"
#include "texture/jpeg/jpeg_idct.h"
#include "texture/jpeg/jpeg_kernels.h"
#include "texture/jpeg/jpeg_markers.h"
#include "texture/jpeg/jpeg_rows.h"
#include "texture/jpeg/jpeg_source.h"
#include "texture/jpeg/jpeg_upsample.h"

struct JpegContext {
    // Scratch pool: singly linked heap blocks, newest first.
    void* scratchHead;
    int32_t progressiveRejected;

    JpegSource source;
    JpegDecoder decoder;

    // Marker reader.
    int32_t sawSoi;
    int32_t sawSof;
    int32_t endOfImage;
    int32_t readingHeaders;
    int32_t nextRestartNumber;

    // Entropy decoder.
    HuffmanDecodeTable* dcDecodeTables[4];
    HuffmanDecodeTable* acDecodeTables[4];
    HuffmanDecodeTable* blockDcTable[JpegMaxBlocksPerMcu];
    HuffmanDecodeTable* blockAcTable[JpegMaxBlocksPerMcu];
    BitReader bits;
    int32_t dataExhausted;
    int32_t restartsToGo;
    int32_t fastEntropy;  // 0: every MCU through the reference decoder

    // Band decoder.
    int32_t mcuRowsPerBand;
    int32_t* coefficientBlocks[JpegMaxBlocksPerMcu];
    JpegKernels kernels;  // kernels.inverseDct is the transform this decode uses
    const IdctConstants* idctConstants;

    // Row output.
    uint8_t** bandRows[JpegMaxComponents];  // simple manager: the band buffers
    uint8_t** physicalRows[JpegMaxComponents];
    uint8_t*** pointerLists[2];  // context manager: [list][component]
    int32_t needsContext;
    ComponentUpsampler upsamplers[JpegMaxComponents];
    int32_t upsampledRowBytes;
    int32_t nextRowOut;
    ColorTables color;
    int32_t bufferFull;
    int32_t rowGroup;
    int32_t whichList;
    ContextState contextState;
    int32_t rowGroupsAvailable;
    int32_t bandsRead;
    int32_t sinkStopped;  // the row sink ended the decode
};
