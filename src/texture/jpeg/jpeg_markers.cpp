// Front of the texture decoder: the segment readers, the marker reader that
// walks the segments up to the first start-of-scan, and the restart-marker
// reader used by the entropy decoder.
#include "texture/jpeg/jpeg_markers.h"

#include <cstring>

#include "texture/jpeg/jpeg_context.h"
#include "texture/jpeg/jpeg_geometry.h"
#include "texture/jpeg/jpeg_scratch.h"

// clang-format off
const int32_t ZigzagToNatural[80] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
    // Guard entries for runs past the end of the block.
    63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63,
};
// clang-format on

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
    ReadByte(jc);  // Ss, Se and Ah/Al: a sequential scan has no use for them
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
        ForgetDecodeTable(jc, (classAndIndex & 0x10) == 0, index);
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
    return ConsumeMarkers(jc) == MarkerStartOfScan;
}

MarkerResult ConsumeMarkers(JpegContext& jc) {
    if (jc.endOfImage) return MarkerEndOfImage;
    switch (ReadMarkers(jc)) {
        case MarkerStartOfScan:
            if (!jc.readingHeaders) return MarkerError;  // only one scan is ever set up
            if (!SetupImage(jc)) return MarkerError;
            jc.readingHeaders = 0;
            return MarkerStartOfScan;
        case MarkerEndOfImage:
            jc.endOfImage = 1;
            if (jc.readingHeaders && jc.sawSof) return MarkerError;  // a frame without a scan
            return MarkerEndOfImage;
        default: return MarkerError;
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

MarkerResult ReadMarkers(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    for (;;) {
        if (d.unreadMarker == 0) {
            if (!jc.sawSoi) {
                const uint8_t first = ReadByte(jc);
                const uint8_t second = ReadByte(jc);
                if (first != 0xFF || second != 0xD8) return MarkerError;
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
            return MarkerEndOfImage;
        } else if (marker == 0xDA) {
            if (!ReadSos(jc)) return MarkerError;
            d.unreadMarker = 0;
            return MarkerStartOfScan;
        } else if (marker == 0xDB) {
            ok = ReadDqt(jc);
        } else if (marker == 0xDD) {
            ok = ReadDri(jc);
        } else if (marker == 0xE0 || marker == 0xEE) {
            ok = ReadAppSegment(jc, marker);
        } else {
            ok = 0;  // lossless, differential, hierarchical, JPGn and unknown codes
        }
        if (!ok) return MarkerError;
        d.unreadMarker = 0;
    }
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
                NextMarker(jc);  // not a valid marker code: look further
                continue;
            }
            if (marker < 0xD0 || marker > 0xD7) break;  // some other marker: leave it
            const int32_t number = marker - 0xD0;
            if (number == ((expected + 1) & 7) || number == ((expected + 2) & 7)) break;
            if (number == ((expected + 7) & 7) || number == ((expected + 6) & 7)) {
                NextMarker(jc);  // an old marker: skip it
                continue;
            }
            d.unreadMarker = 0;  // any other restart marker is taken as this one
            break;
        }
    }
    jc.nextRestartNumber = (jc.nextRestartNumber + 1) & 7;
    return 1;
}
