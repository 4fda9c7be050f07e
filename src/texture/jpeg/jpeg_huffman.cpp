// Huffman entropy decoding of a sequential scan, following T.81 F.2.2: the
// decode tables, the bit reader and the MCU decoder.
#include "texture/jpeg/jpeg_huffman.h"

#include <cstring>

#include "texture/jpeg/jpeg_context.h"
#include "texture/jpeg/jpeg_scratch.h"
#include "texture/jpeg/jpeg_source.h"

namespace {

// Tops the bit buffer up to at least BitReaderFillTarget bits from the data. With a marker
// pending and fewer than `minimum` bits left, zero bits are supplied instead.
// Fails only when the data ends without a marker.
int FillBits(JpegContext& jc, BitReader& br, int minimum) {
    JpegDecoder& d = jc.decoder;
    if (d.unreadMarker == 0) {
        while (br.bitCount < BitReaderFillTarget) {
            if (br.remaining == 0) {
                if (!FillSource(jc)) return 0;
                br.next = jc.source.next;
                br.remaining = jc.source.remaining;
            }
            uint8_t byte = *br.next++;
            --br.remaining;
            if (byte == 0xFF) {
                do {
                    if (br.remaining == 0) {
                        if (!FillSource(jc)) return 0;
                        br.next = jc.source.next;
                        br.remaining = jc.source.remaining;
                    }
                    byte = *br.next++;
                    --br.remaining;
                } while (byte == 0xFF);
                if (byte != 0) {
                    d.unreadMarker = byte;  // the entropy-coded data ends here
                    break;
                }
                byte = 0xFF;  // 0xFF 0x00 stands for a data byte 0xFF
            }
            br.bitBuffer = (br.bitBuffer << 8) | byte;
            br.bitCount += 8;
        }
    }
    if (d.unreadMarker != 0 && br.bitCount < minimum) {
        jc.dataExhausted = 1;
        br.bitBuffer <<= (BitReaderFillTarget - br.bitCount);
        br.bitCount = BitReaderFillTarget;
    }
    return 1;
}

inline int32_t PeekBits(const BitReader& br, int n) {
    return static_cast<int32_t>((br.bitBuffer >> (br.bitCount - n)) & ((BitWord{1} << n) - 1));
}

inline int32_t TakeBits(BitReader& br, int n) {
    const int32_t v = PeekBits(br, n);
    br.bitCount -= n;
    return v;
}

// A symbol, or -1 when the data ends without a marker.
int DecodeSymbol(JpegContext& jc, BitReader& br, const HuffmanDecodeTable& table) {
    int length;
    if (br.bitCount < HuffmanLookaheadBits) {
        if (!FillBits(jc, br, 0)) return -1;
    }
    if (br.bitCount >= HuffmanLookaheadBits) {
        const int32_t prefix = PeekBits(br, HuffmanLookaheadBits);
        if (table.lookaheadLength[prefix] != 0) {
            br.bitCount -= table.lookaheadLength[prefix];
            return table.lookaheadSymbol[prefix];
        }
        length = HuffmanLookaheadBits + 1;
    } else {
        length = 1;
    }
    if (br.bitCount < length && !FillBits(jc, br, length)) return -1;
    int32_t code = TakeBits(br, length);
    while (code > table.maxCode[length]) {
        if (br.bitCount < 1 && !FillBits(jc, br, 1)) return -1;
        code = (code << 1) | TakeBits(br, 1);
        ++length;
    }
    if (length > 16) return 0;  // no such code: read as symbol 0
    return table.source->symbols[(code + table.valueOffset[length]) & 0xFF];
}

// Ensures s bits and takes them, extended to a signed value; -1 marks the end
// of the data without a marker (through `ok`).
inline int32_t ReceiveExtend(JpegContext& jc, BitReader& br, int s, int& ok) {
    if (br.bitCount < s && !FillBits(jc, br, s)) {
        ok = 0;
        return 0;
    }
    return Extend(TakeBits(br, s), s);
}

// The decode tables of t from its DHT table t.source; 0 for an over-full or
// (DC) invalid table.
int FillDecodeTable(HuffmanDecodeTable& t, int isDc) {
    const HuffmanTable* source = t.source;
    // Code lengths of the symbols in order (T.81 Figure C.1).
    uint8_t lengths[257];
    int total = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < source->counts[length]; ++i) {
            if (total >= 256) return 0;
            lengths[total++] = static_cast<uint8_t>(length);
        }
    }
    // Codes (Figure C.2): consecutive within a length; the next code must still
    // fit, which rejects over-full code sets and the all-ones code.
    int32_t codes[256];
    int32_t code = 0;
    int index = 0;
    for (int length = 1; length <= 16; ++length) {
        while (index < total && lengths[index] == length) codes[index++] = code++;
        if (code >= (1 << length)) return 0;
        code <<= 1;
    }

    index = 0;
    for (int length = 1; length <= 16; ++length) {
        if (source->counts[length] > 0) {
            t.valueOffset[length] = index - codes[index];
            index += source->counts[length];
            t.maxCode[length] = codes[index - 1];
        } else {
            t.valueOffset[length] = 0;
            t.maxCode[length] = -1;
        }
    }
    t.valueOffset[0] = 0;
    t.maxCode[0] = -1;
    t.maxCode[17] = 0xFFFFF;

    std::memset(t.lookaheadLength, 0, sizeof t.lookaheadLength);
    std::memset(t.lookaheadSymbol, 0, sizeof t.lookaheadSymbol);
    for (int i = 0; i < total && lengths[i] <= HuffmanLookaheadBits; ++i) {
        const int spare = HuffmanLookaheadBits - lengths[i];
        const int first = codes[i] << spare;
        for (int j = 0; j < (1 << spare); ++j) {
            t.lookaheadLength[first + j] = lengths[i];
            t.lookaheadSymbol[first + j] = source->symbols[i];
        }
    }

    BuildFastLookup(t, isDc, lengths, codes, total);

    if (isDc) {
        for (int i = 0; i < total; ++i) {
            if (source->symbols[i] > 15) return 0;  // a DC symbol is a bit count
        }
    }
    return 1;
}

}  // namespace

int BuildDecodeTable(JpegContext& jc, int isDc, int tableIndex, HuffmanDecodeTable** slot) {
    if (tableIndex < 0 || tableIndex > 3) return 0;
    const HuffmanTable* source = isDc ? jc.decoder.dcTables[tableIndex] : jc.decoder.acTables[tableIndex];
    if (!source) return 0;
    if (!*slot) {
        *slot = static_cast<HuffmanDecodeTable*>(ScratchAlloc(jc, sizeof(HuffmanDecodeTable)));
        if (!*slot) return 0;
        (*slot)->source = nullptr;
    }
    HuffmanDecodeTable& t = **slot;
    // Components often share a table, and a table stands until a DHT
    // redefines it (which forgets the built form): build it once.
    if (t.source == source) return 1;
    t.source = source;
    if (!FillDecodeTable(t, isDc)) {
        t.source = nullptr;
        return 0;
    }
    return 1;
}

void ForgetDecodeTable(JpegContext& jc, int isDc, int tableIndex) {
    HuffmanDecodeTable* t = isDc ? jc.dcDecodeTables[tableIndex & 3] : jc.acDecodeTables[tableIndex & 3];
    if (t) t->source = nullptr;
}

int StartEntropyDecoder(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    for (int s = 0; s < d.scanComponentCount; ++s) {
        const JpegComponent& c = *d.scanComponents[s];
        if (!BuildDecodeTable(jc, 1, c.dcTableIndex, &jc.dcDecodeTables[c.dcTableIndex & 3])) return 0;
        if (!BuildDecodeTable(jc, 0, c.acTableIndex, &jc.acDecodeTables[c.acTableIndex & 3])) return 0;
        jc.bits.lastDc[s] = 0;
    }
    for (int b = 0; b < d.blocksPerMcu; ++b) {
        const JpegComponent& c = *d.scanComponents[d.mcuBlockComponent[b]];
        jc.blockDcTable[b] = jc.dcDecodeTables[c.dcTableIndex];
        jc.blockAcTable[b] = jc.acDecodeTables[c.acTableIndex];
    }
    jc.bits.bitCount = 0;
    jc.bits.bitBuffer = 0;
    jc.dataExhausted = 0;
    jc.restartsToGo = d.restartInterval;
    return 1;
}

int ProcessRestart(JpegContext& jc) {
    jc.bits.bitCount = 0;
    if (!ReadRestartMarker(jc)) return 0;
    for (int s = 0; s < jc.decoder.scanComponentCount; ++s) jc.bits.lastDc[s] = 0;
    jc.restartsToGo = jc.decoder.restartInterval;
    // A later restart marker left pending means this interval is missing: it
    // decodes from zero bits and its MCUs come out flat.
    if (jc.decoder.unreadMarker == 0) jc.dataExhausted = 0;
    return 1;
}

namespace {

// The reference decoding of one MCU, refilling through the byte source.
int DecodeMcuReference(JpegContext& jc, BitReader& br, int32_t* const* blocks) {
    const JpegDecoder& d = jc.decoder;
    int ok = 1;
    for (int b = 0; b < d.blocksPerMcu; ++b) {
        int32_t* block = blocks[b];
        const int scanIndex = d.mcuBlockComponent[b];

        const int s = DecodeSymbol(jc, br, *jc.blockDcTable[b]);
        if (s < 0) return 0;
        int32_t diff = 0;
        if (s > 0) {
            diff = ReceiveExtend(jc, br, s, ok);
            if (!ok) return 0;
        }
        block[0] = PredictDc(br, scanIndex, diff);

        const HuffmanDecodeTable& ac = *jc.blockAcTable[b];
        for (int k = 1; k < 64; ++k) {
            const int symbol = DecodeSymbol(jc, br, ac);
            if (symbol < 0) return 0;
            const int size = symbol & 15;
            int32_t value = 0;
            if (size > 0) {
                value = ReceiveExtend(jc, br, size, ok);
                if (!ok) return 0;
            }
            k = PlaceAc(symbol, k, value, block);
        }
    }
    return 1;
}

}  // namespace

int DecodeMcu(JpegContext& jc, int32_t* const* blocks) {
    JpegDecoder& d = jc.decoder;
    if (d.restartInterval != 0 && jc.restartsToGo == 0) {
        if (!ProcessRestart(jc)) return 0;
    }
    if (!jc.dataExhausted) {
        BitReader br = jc.bits;
        br.next = jc.source.next;
        br.remaining = jc.source.remaining;
        // The fast decoder takes the MCU when its bytes are in the buffer and
        // end before any marker; anything else is left to the reference, which
        // starts again from the same state.
        if (d.unreadMarker != 0 || !jc.fastEntropy || !DecodeMcuFast(jc, br, blocks)) {
            if (d.unreadMarker == 0 && jc.fastEntropy) {
                std::memset(blocks[0], 0, static_cast<size_t>(d.blocksPerMcu) * 64 * sizeof(int32_t));
            }
            br = jc.bits;
            br.next = jc.source.next;
            br.remaining = jc.source.remaining;
            if (!DecodeMcuReference(jc, br, blocks)) return 0;
        }
        jc.bits = br;
        jc.source.next = br.next;
        jc.source.remaining = br.remaining;
    }
    --jc.restartsToGo;
    return 1;
}
