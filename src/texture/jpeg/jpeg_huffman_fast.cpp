// The fast entropy decoder: one MCU from a word-wide bit buffer filled
// straight from the byte source's buffer, with a look-up that decodes most
// codes together with their magnitude bits. It gives exactly the reference's
// coefficients and leaves the stream where the reference would continue from;
// whatever it does not handle (an MCU that runs into a marker, fill bytes,
// the end of the buffer, codes longer than the look-up with too few bits at
// hand) it hands back.
#include "texture/jpeg/jpeg_huffman.h"

#include <cstring>

#include "texture/jpeg/jpeg_context.h"

namespace {

// n copies of `entry` at p, by doubling copies: a table is built for every
// decode, so even the smallest image pays for it.
void FillEntries(FastCode* p, int n, FastCode entry) {
    p[0] = entry;
    for (int done = 1; done < n; done *= 2) {
        std::memcpy(p + done, p, static_cast<size_t>(done < n - done ? done : n - done) * sizeof(FastCode));
    }
}

}  // namespace

void BuildFastLookup(HuffmanDecodeTable& t, int isDc, const uint8_t* lengths, const int32_t* codes, int total) {
    // Canonical codes, left-aligned, follow one another without gaps, so the
    // entries of the short codes are one run from the start and the rest of
    // the table (the longer codes) is zero.
    int filled = 0;
    for (int i = 0; i < total && lengths[i] <= HuffmanFastBits; ++i) {
        const int length = lengths[i];
        const uint32_t symbol = t.source->symbols[i];
        const int size = isDc ? static_cast<int>(symbol) : static_cast<int>(symbol & 15);
        const int spare = HuffmanFastBits - length;
        FastCode* entries = t.fast + (codes[i] << spare);
        if (!isDc) {
            if (size > 0 && size <= spare) {
                const int repeat = 1 << (spare - size);
                const uint32_t advance = (symbol >> 4) + 1;
                for (int bits = 0; bits < (1 << size); ++bits) {
                    const uint32_t value = static_cast<uint16_t>(Extend(bits, size));
                    FillEntries(entries + bits * repeat, repeat,
                                static_cast<uint32_t>(length + size) | advance << 8 | value << 16);
                }
            } else {
                FillEntries(entries, 1 << spare, static_cast<uint32_t>(length) | symbol << 16);
            }
        } else if (size > 0 && size <= spare) {
            // Each value of the `size` magnitude bits after the code covers a
            // run of entries that differ only in the bits after those.
            const int repeat = 1 << (spare - size);
            for (int bits = 0; bits < (1 << size); ++bits) {
                const uint32_t value = static_cast<uint16_t>(Extend(bits, size));
                FillEntries(entries + bits * repeat, repeat,
                            static_cast<uint32_t>(length + size) | symbol << 8 | value << 16);
            }
        } else {
            FillEntries(entries, 1 << spare,
                        static_cast<uint32_t>(length) | static_cast<uint32_t>(size & 15) << 4 | symbol << 8);
        }
        filled = static_cast<int>(entries - t.fast) + (1 << spare);
    }
    std::memset(t.fast + filled, 0, sizeof t.fast - static_cast<size_t>(filled) * sizeof(FastCode));
}

namespace {

// Before a code the buffer holds at least this many bits: a whole code and,
// with a 64-bit word, its magnitude bits too (16 + 15 <= 32).
constexpr int FastReserve = BitWordBits >= 64 ? 32 : 17;

struct FastBits {
    const uint8_t* next;
    int32_t remaining;
    BitWord buffer;
    int count;
    // Zero bits appended at a marker: the low `padding` bits of the buffer.
    // The MCU stands only if it ends before reaching them, which is how the
    // last MCU before each restart marker is decoded here and not redone.
    int padding;

    // Appends whole bytes while they fit, and zero bytes once a marker is
    // next (which stays unread). 0 at fill bytes, or when fewer than two bytes
    // are left (the byte after a 0xFF must be there).
    bool Fill() {
        if (remaining >= static_cast<int32_t>(sizeof(BitWord)) && FillWord()) return true;
        while (count <= BitWordBits - 8) {
            if (remaining < 2) return false;
            const uint8_t byte = next[0];
            if (byte == 0xFF) {
                if (next[1] == 0xFF) return false;  // fill bytes: the reference skips them
                if (next[1] != 0) {
                    buffer <<= 8;
                    count += 8;
                    padding += 8;
                    continue;
                }
                next += 2;
                remaining -= 2;
            } else {
                ++next;
                --remaining;
            }
            buffer = (buffer << 8) | byte;
            count += 8;
        }
        return true;
    }
    // The common case in one step: the next word of data holds no 0xFF, so
    // as many of its bytes as fit are appended at once.
    [[gnu::always_inline]] bool FillWord() {
        BitWord word;
        std::memcpy(&word, next, sizeof word);
        const BitWord inverted = ~word;
        const BitWord ones = ~BitWord{0} / 255;                                // 0x01 in every byte
        if (((inverted - ones) & ~inverted & (ones << 7)) != 0) return false;  // some byte is 0xFF
        word = BigEndian(word);
        const int take = (BitWordBits - count) >> 3;
        buffer = take == static_cast<int>(sizeof(BitWord))
                     ? word
                     : (buffer << (8 * take)) | (word >> (BitWordBits - 8 * take));
        count += 8 * take;
        next += take;
        remaining -= take;
        return true;
    }
    static BitWord BigEndian(BitWord w) {
        if constexpr (sizeof(BitWord) == 8) {
            return static_cast<BitWord>(__builtin_bswap64(static_cast<uint64_t>(w)));
        } else {
            return static_cast<BitWord>(__builtin_bswap32(static_cast<uint32_t>(w)));
        }
    }
    int32_t Peek(int n) const { return static_cast<int32_t>((buffer >> (count - n)) & ((BitWord{1} << n) - 1)); }
    int32_t Take(int n) {
        const int32_t v = Peek(n);
        count -= n;
        return v;
    }
};

// Refills; a null `next` says the fill met fill bytes or the end of the
// buffer. The state goes in word by word and comes back by value, so that the
// hot loop's copy never has its address taken and stays in registers (a
// record passed by value would make the 32-bit caller realign its stack,
// which costs it a register).
[[gnu::noinline]] FastBits RefilledSlowly(const uint8_t* next, int32_t remaining, BitWord buffer, int count,
                                          int padding) {
    FastBits fb{next, remaining, buffer, count, padding};
    if (!fb.Fill()) fb.next = nullptr;
    return fb;
}

// The common refill, a word free of 0xFF bytes, in line and in place: a
// copy of the whole state there goes through memory and stalls the loop.
// The rest out of line; false when it met fill bytes or the end.
inline bool Refill(FastBits& fb) {
    if (fb.remaining >= static_cast<int32_t>(sizeof(BitWord)) && fb.FillWord()) return true;
    fb = RefilledSlowly(fb.next, fb.remaining, fb.buffer, fb.count, fb.padding);
    return fb.next != nullptr;
}

// A code longer than the look-up, found bit by bit as the reference finds it
// in the low `count` bits of `buffer` (at least 17): its length << 8 | symbol.
[[gnu::noinline]] int LongCode(BitWord buffer, int count, const HuffmanDecodeTable& table) {
    FastBits fb{nullptr, 0, buffer, count, 0};
    int length = HuffmanLookaheadBits + 1;
    int32_t code = fb.Take(length);
    while (code > table.maxCode[length]) {
        code = (code << 1) | fb.Take(1);
        ++length;
    }
    // No such code reads as symbol 0.
    const int symbol = length > 16 ? 0 : table.source->symbols[(code + table.valueOffset[length]) & 0xFF];
    return length << 8 | symbol;
}

// One DC difference: its size (-1 to hand back) and, for a non-zero size,
// the extended value. The common case is all here, small enough to inline.
inline int DecodeDc(FastBits& fb, const HuffmanDecodeTable& table, int32_t& value) {
    if (fb.count < FastReserve) {
        if (!Refill(fb) || fb.count < FastReserve) return -1;
    }
    const FastCode f = table.fast[fb.Peek(HuffmanFastBits)];
    int symbol, size;
    if (__builtin_expect((f & 15) != 0, 1)) {
        fb.count -= static_cast<int>(f & 15);
        symbol = static_cast<int>((f >> 8) & 255);
        size = static_cast<int>((f >> 4) & 15);
        value = static_cast<int16_t>(static_cast<uint16_t>(f >> 16));
    } else {
        if (fb.count < 17) return -1;
        const int code = LongCode(fb.buffer, fb.count, table);
        fb.count -= code >> 8;
        symbol = code & 255;
        size = symbol;
        value = 0;
    }
    if (size != 0) {
        if (fb.count < size) {
            if (!Refill(fb) || fb.count < size) return -1;
        }
        value = Extend(fb.Take(size), size);
    }
    return symbol;
}

// One block's AC coefficients; 0 to hand back. `k` is the position after
// the last one placed. A whole coefficient from the look-up is placed with
// no test of its symbol; the end of the block, runs of sixteen zeros, values
// whose bits are not in the look-up and longer codes go the long way.
int DecodeAcFast(FastBits& fb, const HuffmanDecodeTable& ac, int32_t* block) {
    const FastCode* const fast = ac.fast;
    int k = 1;
    for (;;) {
        if (fb.count < FastReserve) {
            if (!Refill(fb) || fb.count < FastReserve) return 0;
        }
        const FastCode f = fast[fb.Peek(HuffmanFastBits)];
        if (__builtin_expect((f & 0xFF00) != 0, 1)) {
            fb.count -= static_cast<int>(f & 0xFF);
            k += static_cast<int>((f >> 8) & 0xFF);
            block[ZigzagToNatural[k - 1]] = static_cast<int16_t>(static_cast<uint16_t>(f >> 16));
            if (k >= 64) return 1;
            continue;
        }
        int symbol;
        if ((f & 0xFF) != 0) {
            fb.count -= static_cast<int>(f & 0xFF);
            symbol = static_cast<int>((f >> 16) & 255);
        } else {
            if (fb.count < 17) return 0;
            const int code = LongCode(fb.buffer, fb.count, ac);
            fb.count -= code >> 8;
            symbol = code & 255;
        }
        if (symbol == 0) return 1;  // the end of the block
        const int size = symbol & 15;
        int32_t value = 0;
        if (size != 0) {
            if (fb.count < size) {
                if (!Refill(fb) || fb.count < size) return 0;
            }
            value = Extend(fb.Take(size), size);
        }
        k = PlaceAc(symbol, k, value, block) + 1;
        if (k >= 64) return 1;
    }
}

}  // namespace

int DecodeMcuFast(const JpegContext& jc, BitReader& br, int32_t* const* blocks) {
    const JpegDecoder& d = jc.decoder;
    FastBits fb{br.next, br.remaining, br.bitBuffer, br.bitCount, 0};
    for (int b = 0; b < d.blocksPerMcu; ++b) {
        int32_t diff;
        if (DecodeDc(fb, *jc.blockDcTable[b], diff) < 0) return 0;
        blocks[b][0] = PredictDc(br, d.mcuBlockComponent[b], diff);
        if (!DecodeAcFast(fb, *jc.blockAcTable[b], blocks[b])) return 0;
    }
    if (fb.padding > fb.count) return 0;  // it took bits past the marker
    br.next = fb.next;
    br.remaining = fb.remaining;
    br.bitBuffer = fb.padding < BitWordBits ? fb.buffer >> fb.padding : 0;
    br.bitCount = fb.count - fb.padding;
    return 1;
}
