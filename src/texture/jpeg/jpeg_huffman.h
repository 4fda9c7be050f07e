// Huffman entropy decoding of a sequential scan: decode tables, the bit
// reader with byte unstuffing, one MCU of coefficients at a time, the DC
// predictors and restart intervals. Damaged data is decoded on: once a marker
// interrupts the data, zero bits are supplied until the next restart.
#pragma once

#include <cstdint>

#include "texture/jpeg/jpeg_markers.h"

struct JpegContext;

// Codes of up to this many bits are found with one look-up.
constexpr int HuffmanLookaheadBits = 8;
// A refill tops the bit buffer up to at least this many bits, enough for the
// longest code (16 bits) once fewer than 9 bits are left.
constexpr int BitReaderFillTarget = 25;

struct HuffmanDecodeTable {
    int32_t maxCode[18];       // largest code of each length, -1 none; [17] stops the search
    int32_t valueOffset[17];   // symbol index = code + valueOffset[length]
    const HuffmanTable* source;
    int32_t lookaheadLength[1 << HuffmanLookaheadBits];  // code length for a prefix, 0 when longer
    uint8_t lookaheadSymbol[1 << HuffmanLookaheadBits];
};

// The bit reader's working state; DecodeMcu works on a copy and writes it
// back only when the whole MCU decoded.
struct BitReader {
    const uint8_t* next;
    int32_t remaining;
    uint32_t bitBuffer;   // unconsumed bits are the low bitCount bits, oldest highest
    int32_t bitCount;
    int32_t lastDc[JpegMaxScanComponents];
};

// Builds the decode table of DC (isDc) or AC table `tableIndex` into *slot,
// allocating it the first time; 0 for a missing, over-full or (DC) invalid table.
int BuildDecodeTable(JpegContext& jc, int isDc, int tableIndex, HuffmanDecodeTable** slot);
// Tables for every scan component and a fresh bit reader; 0 on a bad table.
int StartEntropyDecoder(JpegContext& jc);
// Decodes the next MCU into blocks[0..blocksPerMcu) (zeroed by the caller, 64
// natural-order coefficients each). 0 only when the data ends without a marker.
int DecodeMcu(JpegContext& jc, int32_t* const* blocks);
// Drops the buffered bits, reads the restart marker, resets the predictors.
int ProcessRestart(JpegContext& jc);
