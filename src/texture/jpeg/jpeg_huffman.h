// Huffman entropy decoding of a sequential scan: decode tables, the bit
// reader with byte unstuffing, one MCU of coefficients at a time, the DC
// predictors and restart intervals. Damaged data is decoded on: once a marker
// interrupts the data, zero bits are supplied until the next restart.
#pragma once

#include <cstddef>
#include <cstdint>

#include "texture/jpeg/jpeg_markers.h"

struct JpegContext;

// Codes of up to this many bits are found with one look-up.
constexpr int HuffmanLookaheadBits = 8;
// A refill tops the bit buffer up to at least this many bits, enough for the
// longest code (16 bits) once fewer than 9 bits are left.
constexpr int BitReaderFillTarget = 25;

// The bit buffer is one machine word: 64 bits on x86-64, 32 on i686. The
// reference refills to BitReaderFillTarget; the fast decoder fills it whole.
using BitWord = uintptr_t;
constexpr int BitWordBits = static_cast<int>(sizeof(BitWord) * 8);

// The fast decoder's look-up: a code of up to HuffmanFastBits bits and, when
// it fits in the same bits, the magnitude bits that follow it, in one step.
// An entry is one word. A DC table's: bits 0-3 the bits it consumes (0: a
// longer code), 4-7 the magnitude bits still to take after them, 8-15 the
// size, 16-31 the extended value when included. An AC table's is laid out for
// the common case, a whole coefficient, to take one test: bits 0-7 the bits
// it consumes (0: a longer code), 8-15 how far it moves the position (run + 1)
// when its value is included and 0 otherwise, 16-31 the extended value, or,
// when not included, bits 16-23 the symbol (run << 4 | size).
constexpr int HuffmanFastBits = 11;
using FastCode = uint32_t;

// EXTEND (T.81 F.2.2.1): s magnitude bits v as a signed value.
inline int32_t Extend(int32_t v, int s) { return v < (1 << s >> 1) ? v - (1 << s) + 1 : v; }

struct HuffmanDecodeTable {
    int32_t maxCode[18];                                 // largest code of each length, -1 none; [17] stops the search
    int32_t valueOffset[17];                             // symbol index = code + valueOffset[length]
    const HuffmanTable* source;                          // null until built, and once its DHT is redefined
    int32_t lookaheadLength[1 << HuffmanLookaheadBits];  // code length for a prefix, 0 when longer
    uint8_t lookaheadSymbol[1 << HuffmanLookaheadBits];
    FastCode fast[1 << HuffmanFastBits];
};

// The bit reader's working state; DecodeMcu works on a copy and writes it
// back only when the whole MCU decoded.
struct BitReader {
    const uint8_t* next;
    int32_t remaining;
    BitWord bitBuffer;  // unconsumed bits are the low bitCount bits, oldest highest
    int32_t bitCount;
    int32_t lastDc[JpegMaxScanComponents];
};

// Adds a DC difference to the component's predictor, wrapping at 32 bits
// rather than overflowing, and returns the new DC value.
inline int32_t PredictDc(BitReader& br, int scanIndex, int32_t diff) {
    br.lastDc[scanIndex] =
        static_cast<int32_t>(static_cast<uint32_t>(br.lastDc[scanIndex]) + static_cast<uint32_t>(diff));
    return br.lastDc[scanIndex];
}

// Places the AC coefficient decoded as `symbol` (run << 4 | size) with its
// value after position k; returns the position it ends at, 64 or more at the
// end of the block. A run past the last position lands in ZigzagToNatural's
// spare entries.
inline int PlaceAc(int symbol, int k, int32_t value, int32_t* block) {
    const int r = symbol >> 4;
    if ((symbol & 15) != 0) {
        k += r;
        block[ZigzagToNatural[k]] = value;
        return k;
    }
    return r == 15 ? k + 15 : 64;  // a run of 16 zeros, or the end of the block
}

// Builds the decode table of DC (isDc) or AC table `tableIndex` into *slot,
// allocating it the first time; 0 for a missing, over-full or (DC) invalid table.
// A table already built from the current DHT content is kept as it is.
int BuildDecodeTable(JpegContext& jc, int isDc, int tableIndex, HuffmanDecodeTable** slot);
// Marks the built form of a table stale, for a DHT that redefines it.
void ForgetDecodeTable(JpegContext& jc, int isDc, int tableIndex);
// Tables for every scan component and a fresh bit reader; 0 on a bad table.
int StartEntropyDecoder(JpegContext& jc);
// Decodes the next MCU into blocks[0..blocksPerMcu) (consecutive in memory and
// zeroed by the caller, 64 natural-order coefficients each). 0 only when the data ends without a marker.
int DecodeMcu(JpegContext& jc, int32_t* const* blocks);
// The fast decoder's tables of `t` from its codes in order (lengths[i],
// codes[i] and t.source->symbols[i] for i < total).
void BuildFastLookup(HuffmanDecodeTable& t, int isDc, const uint8_t* lengths, const int32_t* codes, int total);
// Decodes one MCU as DecodeMcu does, from the bytes at br.next without
// refilling; 0 when it needs bits past a marker, meets fill bytes or the end
// of the buffer (or a code the fast path does not take), leaving br and blocks
// to be discarded so the reference decoder redoes the MCU. A marker it stops
// before is left unread.
int DecodeMcuFast(const JpegContext& jc, BitReader& br, int32_t* const* blocks);
// Drops the buffered bits, reads the restart marker, resets the predictors.
int ProcessRestart(JpegContext& jc);
