// Front of the texture decoder: the scratch pool, the byte source, the marker
// reader that walks the segments up to the first start-of-scan, the image and
// scan geometry, and the restart-marker reader used by the entropy decoder.
#include <cstring>

#include "core/memory.h"
#include "texture/jpeg/jpeg_decoder.h"

const int32_t ZigzagToNatural[80] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
    // Guard entries for runs past the end of the block.
    63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63,
};

// ---- Scratch pool ----------------------------------------------------------

namespace {
constexpr size_t ScratchHeader = 8;   // holds the link to the previous block
inline int32_t CeilDiv(int32_t a, int32_t b) { return (a + b - 1) / b; }
}  // namespace

void* ScratchAlloc(JpegContext& jc, size_t size) {
    if (size > SIZE_MAX - ScratchHeader - 7) return nullptr;
    size = (size + 7) & ~static_cast<size_t>(7);
    void* block = AllocateBytes(size + ScratchHeader);
    if (!block) return nullptr;
    std::memcpy(block, &jc.scratchHead, sizeof(void*));
    jc.scratchHead = block;
    return static_cast<uint8_t*>(block) + ScratchHeader;
}

uint8_t** ScratchAllocRows(JpegContext& jc, size_t rowBytes, size_t rowCount) {
    if (rowCount != 0 && rowBytes > SIZE_MAX / rowCount) return nullptr;
    uint8_t** rows = static_cast<uint8_t**>(ScratchAlloc(jc, rowCount * sizeof(uint8_t*)));
    if (!rows) return nullptr;
    uint8_t* block = static_cast<uint8_t*>(ScratchAlloc(jc, rowBytes * rowCount));
    if (!block) return nullptr;
    for (size_t i = 0; i < rowCount; ++i) rows[i] = block + i * rowBytes;
    return rows;
}

void ResetScratchPool(JpegContext& jc) { jc.scratchHead = nullptr; }

void FreeScratchPool(JpegContext& jc) {
    void* block = jc.scratchHead;
    jc.scratchHead = nullptr;
    while (block) {
        void* previous;
        std::memcpy(&previous, block, sizeof(void*));
        ReleaseBytes(block);
        block = previous;
    }
}

// ---- Byte source -----------------------------------------------------------

void UseMemorySource(JpegContext& jc, const uint8_t* data, int32_t size) {
    jc.source = JpegSource{};
    jc.source.buffer = data;
    jc.source.next = data;
    jc.source.remaining = size;
    jc.source.bufferSize = size;
}

void UseFileSource(JpegContext& jc, FILE* file, uint8_t* buffer, int32_t bufferSize) {
    jc.source = JpegSource{};
    jc.source.file = file;
    jc.source.buffer = buffer;
    jc.source.fileBuffer = buffer;
    jc.source.bufferSize = bufferSize;
}

int FillSource(JpegContext& jc) {
    JpegSource& s = jc.source;
    if (s.file) {
        const size_t count = std::fread(s.fileBuffer, 1, static_cast<size_t>(s.bufferSize), s.file);
        if (count > 0) {
            s.next = s.buffer;
            s.remaining = static_cast<int32_t>(count);
            return 1;
        }
    }
    // No more data: deliver an end-of-image marker from the source's own storage,
    // so every marker search ends and the caller's data is never written.
    s.endOfImage[0] = 0xFF;
    s.endOfImage[1] = 0xD9;
    s.next = s.endOfImage;
    s.remaining = 2;
    return 0;
}

uint8_t ReadByte(JpegContext& jc) {
    if (jc.source.remaining == 0) FillSource(jc);
    --jc.source.remaining;
    return *jc.source.next++;
}

int32_t ReadWord(JpegContext& jc) {
    const int32_t high = ReadByte(jc);
    return high * 256 + ReadByte(jc);
}

int SkipBytes(JpegContext& jc, int32_t count) {
    if (count <= 0) return 1;
    while (count > jc.source.remaining) {
        count -= jc.source.remaining;
        jc.source.remaining = 0;
        if (!FillSource(jc)) return 0;
    }
    jc.source.next += count;
    jc.source.remaining -= count;
    return 1;
}

// ---- Segment readers -------------------------------------------------------

namespace {

int ReadSoi(JpegContext& jc) {
    if (jc.sawSoi) return 0;
    JpegDecoder& d = jc.decoder;
    d.restartInterval = 0;
    d.colorSpace = JpegColorUnknown;
    d.sawJfif = 0;
    d.sawAdobe = 0;
    d.adobeTransform = 0;
    jc.sawSoi = 1;
    return 1;
}

int ReadSof(JpegContext& jc, int progressive, int arithmetic) {
    JpegDecoder& d = jc.decoder;
    d.progressive = progressive;
    d.arithmetic = arithmetic;
    const int32_t length = ReadWord(jc);
    d.precision = ReadByte(jc);
    d.imageHeight = ReadWord(jc);
    d.imageWidth = ReadWord(jc);
    d.componentCount = ReadByte(jc);
    if (jc.sawSof) return 0;
    if (d.imageHeight == 0 || d.imageWidth == 0 || d.componentCount == 0) return 0;
    if (length - 8 != 3 * d.componentCount) return 0;
    if (!d.components) {
        d.components = static_cast<JpegComponent*>(
            ScratchAlloc(jc, static_cast<size_t>(d.componentCount) * sizeof(JpegComponent)));
        if (!d.components) return 0;
    }
    for (int i = 0; i < d.componentCount; ++i) {
        JpegComponent& c = d.components[i];
        c = JpegComponent{};
        c.index = i;
        c.id = ReadByte(jc);
        const int32_t sampling = ReadByte(jc);
        c.hSamp = sampling >> 4;
        c.vSamp = sampling & 15;
        c.quantTableIndex = ReadByte(jc);
    }
    jc.sawSof = 1;
    return 1;
}

int ReadSos(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    if (!jc.sawSof) return 0;
    const int32_t length = ReadWord(jc);
    const int32_t count = ReadByte(jc);
    if (length != 2 * count + 6 || count < 1 || count > JpegMaxScanComponents) return 0;
    d.scanComponentCount = count;
    for (int i = 0; i < count; ++i) {
        const int32_t selector = ReadByte(jc);
        const int32_t tables = ReadByte(jc);
        JpegComponent* found = nullptr;
        for (int c = 0; c < d.componentCount && !found; ++c) {
            if (d.components[c].id == selector) found = &d.components[c];
        }
        if (!found) return 0;
        // A scan that names a component twice would leave another one out.
        for (int j = 0; j < i; ++j) {
            if (d.scanComponents[j] == found) return 0;
        }
        d.scanComponents[i] = found;
        found->dcTableIndex = tables >> 4;
        found->acTableIndex = tables & 15;
    }
    ReadByte(jc);   // Ss, Se and Ah/Al: a sequential scan has no use for them
    ReadByte(jc);
    ReadByte(jc);
    jc.nextRestartNumber = 0;
    return 1;
}

int ReadDht(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    int32_t remaining = ReadWord(jc) - 2;
    while (remaining > 16) {
        const int32_t classAndIndex = ReadByte(jc);
        uint8_t counts[17];
        counts[0] = 0;
        int32_t total = 0;
        for (int i = 1; i <= 16; ++i) {
            counts[i] = ReadByte(jc);
            total += counts[i];
        }
        remaining -= 17;
        if (total > 256 || total > remaining) return 0;
        uint8_t symbols[256] = {};
        for (int i = 0; i < total; ++i) symbols[i] = ReadByte(jc);
        remaining -= total;

        HuffmanTable** slot;
        int32_t index;
        if (classAndIndex & 0x10) {
            index = classAndIndex - 0x10;
            if (index < 0 || index > 3) return 0;
            slot = &d.acTables[index];
        } else {
            index = classAndIndex;
            if (index > 3) return 0;
            slot = &d.dcTables[index];
        }
        if (!*slot) {
            *slot = static_cast<HuffmanTable*>(ScratchAlloc(jc, sizeof(HuffmanTable)));
            if (!*slot) return 0;
        }
        std::memcpy((*slot)->counts, counts, sizeof counts);
        std::memcpy((*slot)->symbols, symbols, sizeof symbols);
    }
    return remaining == 0;
}

int ReadDqt(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    int32_t remaining = ReadWord(jc) - 2;
    while (remaining > 0) {
        const int32_t precisionAndIndex = ReadByte(jc);
        const int32_t index = precisionAndIndex & 15;
        const bool wide = (precisionAndIndex >> 4) != 0;
        if (index >= 4) return 0;
        if (!d.quantTables[index]) {
            d.quantTables[index] = static_cast<int32_t*>(ScratchAlloc(jc, 64 * sizeof(int32_t)));
            if (!d.quantTables[index]) return 0;
        }
        for (int k = 0; k < 64; ++k) {
            d.quantTables[index][ZigzagToNatural[k]] = wide ? ReadWord(jc) : ReadByte(jc);
        }
        remaining -= wide ? 129 : 65;
    }
    return remaining == 0;
}

int ReadDri(JpegContext& jc) {
    if (ReadWord(jc) != 4) return 0;
    jc.decoder.restartInterval = ReadWord(jc);
    return 1;
}

int ReadAppSegment(JpegContext& jc, int32_t marker) {
    JpegDecoder& d = jc.decoder;
    const int32_t count = ReadWord(jc) - 2;
    uint8_t head[14];
    int32_t read = 0;
    for (; read < count && read < 14; ++read) head[read] = ReadByte(jc);
    if (marker == 0xE0) {
        if (read >= 14 && std::memcmp(head, "JFIF", 5) == 0) d.sawJfif = 1;
    } else if (marker == 0xEE) {
        if (read >= 12 && std::memcmp(head, "Adobe", 5) == 0) {
            d.sawAdobe = 1;
            d.adobeTransform = head[11];
        }
    }
    return SkipBytes(jc, count - read);
}

int SkipSegment(JpegContext& jc) { return SkipBytes(jc, ReadWord(jc) - 2); }

}  // namespace

// ---- Marker reader ---------------------------------------------------------

void ResetDecoder(JpegContext& jc) {
    jc.decoder = JpegDecoder{};
    jc.endOfImage = 0;
    jc.readingHeaders = 1;
}

int ReadHeader(JpegContext& jc) {
    jc.decoder.components = nullptr;
    jc.decoder.unreadMarker = 0;
    jc.sawSoi = 0;
    jc.sawSof = 0;
    jc.endOfImage = 0;
    jc.readingHeaders = 1;
    return ConsumeMarkers(jc) == 1;
}

int ConsumeMarkers(JpegContext& jc) {
    if (jc.endOfImage) return 2;
    switch (ReadMarkers(jc)) {
        case 1:
            if (!jc.readingHeaders) return 0;   // only one scan is ever set up
            if (!SetupImage(jc)) return 0;
            jc.readingHeaders = 0;
            return 1;
        case 2:
            jc.endOfImage = 1;
            if (jc.readingHeaders && jc.sawSof) return 0;   // a frame without a scan
            return 2;
        default:
            return 0;
    }
}

void NextMarker(JpegContext& jc) {
    for (;;) {
        uint8_t c = ReadByte(jc);
        while (c != 0xFF) c = ReadByte(jc);
        do {
            c = ReadByte(jc);
        } while (c == 0xFF);
        if (c != 0) {
            jc.decoder.unreadMarker = c;
            return;
        }
        // 0xFF 0x00 is a stuffed data byte: keep searching.
    }
}

int ReadMarkers(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    for (;;) {
        if (d.unreadMarker == 0) {
            if (!jc.sawSoi) {
                const uint8_t first = ReadByte(jc);
                const uint8_t second = ReadByte(jc);
                if (first != 0xFF || second != 0xD8) return 0;
                d.unreadMarker = 0xD8;
            } else {
                NextMarker(jc);
            }
        }
        const int32_t marker = d.unreadMarker;
        int ok;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            ok = 1;
        } else if (marker == 0xC0 || marker == 0xC1) {
            ok = ReadSof(jc, 0, 0);
        } else if (marker == 0xC2) {
            ok = ReadSof(jc, 1, 0);
        } else if (marker == 0xC9) {
            ok = ReadSof(jc, 0, 1);
        } else if (marker == 0xCA) {
            ok = ReadSof(jc, 1, 1);
        } else if (marker == 0xC4) {
            ok = ReadDht(jc);
        } else if (marker == 0xCC || marker == 0xDC || marker == 0xFE ||
                   (marker >= 0xE1 && marker <= 0xEF && marker != 0xEE)) {
            ok = SkipSegment(jc);
        } else if (marker == 0xD8) {
            ok = ReadSoi(jc);
        } else if (marker == 0xD9) {
            d.unreadMarker = 0;
            return 2;
        } else if (marker == 0xDA) {
            if (!ReadSos(jc)) return 0;
            d.unreadMarker = 0;
            return 1;
        } else if (marker == 0xDB) {
            ok = ReadDqt(jc);
        } else if (marker == 0xDD) {
            ok = ReadDri(jc);
        } else if (marker == 0xE0 || marker == 0xEE) {
            ok = ReadAppSegment(jc, marker);
        } else {
            ok = 0;   // lossless, differential, hierarchical, JPGn and unknown codes
        }
        if (!ok) return 0;
        d.unreadMarker = 0;
    }
}

// ---- Geometry --------------------------------------------------------------

int SetupImage(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    if (d.imageHeight > JpegMaxDimension || d.imageWidth > JpegMaxDimension) return 0;
    if (d.precision != 8 || d.componentCount > JpegMaxComponents) return 0;
    d.maxHSamp = 1;
    d.maxVSamp = 1;
    for (int i = 0; i < d.componentCount; ++i) {
        const JpegComponent& c = d.components[i];
        if (c.hSamp < 1 || c.hSamp > 4 || c.vSamp < 1 || c.vSamp > 4) return 0;
        if (c.hSamp > d.maxHSamp) d.maxHSamp = c.hSamp;
        if (c.vSamp > d.maxVSamp) d.maxVSamp = c.vSamp;
    }
    for (int i = 0; i < d.componentCount; ++i) {
        JpegComponent& c = d.components[i];
        c.widthInBlocks = CeilDiv(d.imageWidth * c.hSamp, d.maxHSamp * 8);
        c.heightInBlocks = CeilDiv(d.imageHeight * c.vSamp, d.maxVSamp * 8);
        c.sampledWidth = CeilDiv(d.imageWidth * c.hSamp, d.maxHSamp);
        c.sampledHeight = CeilDiv(d.imageHeight * c.vSamp, d.maxVSamp);
        c.quantTable = nullptr;
    }
    d.bandCount = CeilDiv(d.imageHeight, d.maxVSamp * 8);
    // The first scan must carry every component: images coded as several
    // non-interleaved scans are not decoded.
    return d.scanComponentCount >= d.componentCount;
}

void ChooseColorSpace(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    switch (d.componentCount) {
        case 1:
            d.colorSpace = JpegColorGrey;
            break;
        case 3:
            if (d.sawJfif) {
                d.colorSpace = JpegColorYCbCr;
            } else if (d.sawAdobe) {
                d.colorSpace = d.adobeTransform == 0 ? JpegColorRgb : JpegColorYCbCr;
            } else if (d.components[0].id == 82 && d.components[1].id == 71 &&
                       d.components[2].id == 66) {
                d.colorSpace = JpegColorRgb;   // identifiers 'R', 'G', 'B'
            } else {
                d.colorSpace = JpegColorYCbCr;
            }
            break;
        case 4:
            d.colorSpace = d.sawAdobe && d.adobeTransform != 0 ? JpegColorYcck : JpegColorCmyk;
            break;
        default:
            d.colorSpace = JpegColorUnknown;
            break;
    }
}

void ComputeOutputSize(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    d.outputWidth = d.imageWidth;
    d.outputHeight = d.imageHeight;
    for (int i = 0; i < d.componentCount; ++i) {
        JpegComponent& c = d.components[i];
        c.sampledWidth = CeilDiv(d.imageWidth * c.hSamp, d.maxHSamp);
        c.sampledHeight = CeilDiv(d.imageHeight * c.vSamp, d.maxVSamp);
    }
}

int SetupScan(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    if (d.scanComponentCount == 1) {
        JpegComponent& c = *d.scanComponents[0];
        d.mcusPerRow = c.widthInBlocks;
        c.mcuWidth = c.mcuHeight = c.mcuBlocks = 1;
        c.mcuSampleWidth = 8;
        c.lastColumnWidth = 1;
        c.lastRowHeight = c.heightInBlocks % c.vSamp;
        if (c.lastRowHeight == 0) c.lastRowHeight = c.vSamp;
        d.blocksPerMcu = 1;
        d.mcuBlockComponent[0] = 0;
        return 1;
    }
    if (d.scanComponentCount < 1 || d.scanComponentCount > JpegMaxScanComponents) return 0;
    d.mcusPerRow = CeilDiv(d.imageWidth, d.maxHSamp * 8);
    d.blocksPerMcu = 0;
    for (int s = 0; s < d.scanComponentCount; ++s) {
        JpegComponent& c = *d.scanComponents[s];
        c.mcuWidth = c.hSamp;
        c.mcuHeight = c.vSamp;
        c.mcuBlocks = c.hSamp * c.vSamp;
        c.mcuSampleWidth = 8 * c.hSamp;
        c.lastColumnWidth = c.widthInBlocks % c.hSamp;
        if (c.lastColumnWidth == 0) c.lastColumnWidth = c.hSamp;
        c.lastRowHeight = c.heightInBlocks % c.vSamp;
        if (c.lastRowHeight == 0) c.lastRowHeight = c.vSamp;
        if (d.blocksPerMcu + c.mcuBlocks > JpegMaxBlocksPerMcu) return 0;
        for (int b = 0; b < c.mcuBlocks; ++b) d.mcuBlockComponent[d.blocksPerMcu++] = s;
    }
    return 1;
}

int LatchQuantTables(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    for (int s = 0; s < d.scanComponentCount; ++s) {
        JpegComponent& c = *d.scanComponents[s];
        if (c.quantTable) continue;
        if (c.quantTableIndex < 0 || c.quantTableIndex > 3) return 0;
        const int32_t* table = d.quantTables[c.quantTableIndex];
        if (!table) return 0;
        c.quantTable = static_cast<int32_t*>(ScratchAlloc(jc, 64 * sizeof(int32_t)));
        if (!c.quantTable) return 0;
        std::memcpy(c.quantTable, table, 64 * sizeof(int32_t));
    }
    return 1;
}

int ReadRestartMarker(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    if (d.unreadMarker == 0) NextMarker(jc);
    const int32_t expected = jc.nextRestartNumber;
    if (d.unreadMarker == 0xD0 + expected) {
        d.unreadMarker = 0;
    } else {
        // Resynchronise: find where the damaged data picks up again.
        for (;;) {
            const int32_t marker = d.unreadMarker;
            if (marker < 0xC0) {
                NextMarker(jc);   // not a valid marker code: look further
                continue;
            }
            if (marker < 0xD0 || marker > 0xD7) break;   // some other marker: leave it
            const int32_t number = marker - 0xD0;
            if (number == ((expected + 1) & 7) || number == ((expected + 2) & 7)) break;
            if (number == ((expected + 7) & 7) || number == ((expected + 6) & 7)) {
                NextMarker(jc);   // an old marker: skip it
                continue;
            }
            d.unreadMarker = 0;   // any other restart marker is taken as this one
            break;
        }
    }
    jc.nextRestartNumber = (jc.nextRestartNumber + 1) & 7;
    return 1;
}
