// Back end and driver of the texture decoder: starts decompression, keeps each
// component's samples in band buffers refilled one band at a time, brings
// subsampled components to full resolution, converts rows to 0x00RRGGBB and
// writes them bottom-up. Memory is bounded by a few bands whatever the height.
#include <cstring>

#include "texture/jpeg/jpeg_decoder.h"

namespace {

inline int32_t Clamp255(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
// Arithmetic shift right of a signed value.
inline int32_t Shr(int32_t v, int n) { return v >= 0 ? v >> n : ~(~v >> n); }

// ---- Upsampling methods: one row group in, maxVSamp rows out ---------------

// Writes each input sample `times` times until at least `width` samples are out.
void Replicate(const uint8_t* in, uint8_t* out, int times, int width) {
    for (int o = 0; o < width; ++in) {
        for (int t = 0; t < times; ++t) out[o++] = *in;
    }
}

void SmoothH2V1(const uint8_t* in, uint8_t* out, int n) {
    out[0] = in[0];
    out[1] = static_cast<uint8_t>((3 * in[0] + in[1] + 2) >> 2);
    // The rounding alternates between 1 and 2 so that the errors do not
    // accumulate in one direction.
    for (int i = 1; i <= n - 2; ++i) {
        out[2 * i] = static_cast<uint8_t>((3 * in[i] + in[i - 1] + 1) >> 2);
        out[2 * i + 1] = static_cast<uint8_t>((3 * in[i] + in[i + 1] + 2) >> 2);
    }
    out[2 * n - 2] = static_cast<uint8_t>((3 * in[n - 1] + in[n - 2] + 1) >> 2);
    out[2 * n - 1] = in[n - 1];
}

// One output row of the 2x2 triangle filter: near is the row itself, far the
// row above or below; the rounding alternates between 8 and 7.
void SmoothH2V2Row(const uint8_t* near, const uint8_t* far, uint8_t* out, int n) {
    int32_t previous = 3 * near[0] + far[0];
    int32_t current = previous;
    int32_t next = n > 1 ? 3 * near[1] + far[1] : current;
    out[0] = static_cast<uint8_t>((4 * current + 8) >> 4);
    out[1] = static_cast<uint8_t>((3 * current + next + 7) >> 4);
    for (int i = 1; i <= n - 2; ++i) {
        previous = current;
        current = next;
        next = 3 * near[i + 1] + far[i + 1];
        out[2 * i] = static_cast<uint8_t>((3 * current + previous + 8) >> 4);
        out[2 * i + 1] = static_cast<uint8_t>((3 * current + next + 7) >> 4);
    }
    const int32_t last = 3 * near[n - 1] + far[n - 1];
    const int32_t beforeLast = 3 * near[n - 2] + far[n - 2];
    out[2 * n - 2] = static_cast<uint8_t>((3 * last + beforeLast + 8) >> 4);
    out[2 * n - 1] = static_cast<uint8_t>((4 * last + 7) >> 4);
}

void UpsampleGroup(JpegContext& jc, const JpegComponent& c, uint8_t* const* in) {
    const JpegDecoder& d = jc.decoder;
    ComponentUpsampler& u = jc.upsamplers[c.index];
    const int width = d.outputWidth;
    const int n = c.sampledWidth;
    switch (u.method) {
        case UpsampleFull:
            u.rows = const_cast<uint8_t**>(in);
            break;
        case UpsampleH2V1:
            for (int r = 0; r < d.maxVSamp; ++r) Replicate(in[r], u.rows[r], 2, width);
            break;
        case UpsampleH2V1Smooth:
            for (int r = 0; r < d.maxVSamp; ++r) SmoothH2V1(in[r], u.rows[r], n);
            break;
        case UpsampleH2V2:
            for (int j = 0; j < c.vSamp; ++j) {
                Replicate(in[j], u.rows[2 * j], 2, width);
                std::memcpy(u.rows[2 * j + 1], u.rows[2 * j], static_cast<size_t>(width));
            }
            break;
        case UpsampleH2V2Smooth:
            for (int j = 0; j < c.vSamp; ++j) {
                SmoothH2V2Row(in[j], in[j - 1], u.rows[2 * j], n);
                SmoothH2V2Row(in[j], in[j + 1], u.rows[2 * j + 1], n);
            }
            break;
        case UpsampleIntegral: {
            int j = 0;
            for (int o = 0; o < d.maxVSamp; o += u.expandV, ++j) {
                Replicate(in[j], u.rows[o], u.expandH, width);
                for (int e = 1; e < u.expandV; ++e) {
                    std::memcpy(u.rows[o + e], u.rows[o], static_cast<size_t>(width));
                }
            }
            break;
        }
    }
}

// ---- Colour conversion ------------------------------------------------------

// Clamp to 0..255 by table: index v + 256 for v in -256..1023, which covers
// every sum the conversions below can form.
struct RangeLimit {
    uint8_t table[1280];
    RangeLimit() {
        for (int i = 0; i < 1280; ++i) table[i] = static_cast<uint8_t>(Clamp255(i - 256));
    }
    uint32_t operator()(int32_t v) const { return table[v + 256]; }
};
const RangeLimit rangeLimit;

inline uint32_t Pack(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }

void ConvertRow(JpegContext& jc, int row, uint32_t* out) {
    const JpegDecoder& d = jc.decoder;
    const int width = d.outputWidth;
    const uint8_t* c0 = jc.upsamplers[0].rows[row];
    const int32_t* crToR = jc.crToR;
    const int32_t* cbToB = jc.cbToB;
    const int32_t* crToG = jc.crToG;
    const int32_t* cbToG = jc.cbToG;
    switch (d.colorSpace) {
        case JpegColorGrey:
            for (int x = 0; x < width; ++x) out[x] = c0[x] * 0x010101u;
            break;
        case JpegColorRgb: {
            const uint8_t* c1 = jc.upsamplers[1].rows[row];
            const uint8_t* c2 = jc.upsamplers[2].rows[row];
            for (int x = 0; x < width; ++x) out[x] = Pack(c0[x], c1[x], c2[x]);
            break;
        }
        case JpegColorYCbCr: {
            const uint8_t* cb = jc.upsamplers[1].rows[row];
            const uint8_t* cr = jc.upsamplers[2].rows[row];
            for (int x = 0; x < width; ++x) {
                const int32_t y = c0[x];
                out[x] = Pack(rangeLimit(y + crToR[cr[x]]), rangeLimit(y + Shr(cbToG[cb[x]] + crToG[cr[x]], 16)),
                              rangeLimit(y + cbToB[cb[x]]));
            }
            break;
        }
        case JpegColorYcck: {
            // As YCbCr, with the black sample added to the luminance.
            const uint8_t* cb = jc.upsamplers[1].rows[row];
            const uint8_t* cr = jc.upsamplers[2].rows[row];
            const uint8_t* k = jc.upsamplers[3].rows[row];
            for (int x = 0; x < width; ++x) {
                const int32_t y = c0[x] + k[x];
                out[x] = Pack(rangeLimit(y + crToR[cr[x]]), rangeLimit(y + Shr(cbToG[cb[x]] + crToG[cr[x]], 16)),
                              rangeLimit(y + cbToB[cb[x]]));
            }
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
        default:
            break;
    }
}

void UpsampleAndConvertRow(JpegContext& jc, uint8_t** const* componentRows, int32_t& rowGroupCounter,
                           uint32_t* out) {
    const JpegDecoder& d = jc.decoder;
    if (jc.nextRowOut >= d.maxVSamp) {
        for (int i = 0; i < d.componentCount; ++i) {
            const JpegComponent& c = d.components[i];
            UpsampleGroup(jc, c, componentRows[i] + rowGroupCounter * c.vSamp);
        }
        jc.nextRowOut = 0;
    }
    ConvertRow(jc, jc.nextRowOut, out);
    if (++jc.nextRowOut >= d.maxVSamp) ++rowGroupCounter;
}

// ---- Row-buffer managers ----------------------------------------------------

int ProduceRowSimple(JpegContext& jc, uint32_t* out) {
    if (!jc.bufferFull) {
        if (!DecodeBand(jc, jc.bandRows)) return 0;
        jc.bufferFull = 1;
    }
    UpsampleAndConvertRow(jc, jc.bandRows, jc.rowGroup, out);
    if (jc.rowGroup >= 8) {
        jc.bufferFull = 0;
        jc.rowGroup = 0;
    }
    return 1;
}

// Context variant: each band buffer holds 10 row groups of g = vSamp rows,
// P[0..10g), reached through two lists of 12g row pointers, indices -g..11g-1,
// so that the row groups either side of a band stay reachable while the next
// band is written over the rows no longer needed.
int AllocPointerLists(JpegContext& jc) {
    const JpegDecoder& d = jc.decoder;
    uint8_t*** lists = static_cast<uint8_t***>(
        ScratchAlloc(jc, 2 * static_cast<size_t>(d.componentCount) * sizeof(uint8_t**)));
    if (!lists) return 0;
    jc.pointerLists[0] = lists;
    jc.pointerLists[1] = lists + d.componentCount;
    for (int i = 0; i < d.componentCount; ++i) {
        const int g = d.components[i].vSamp;
        uint8_t** block = static_cast<uint8_t**>(ScratchAlloc(jc, 2 * 12 * static_cast<size_t>(g) * sizeof(uint8_t*)));
        if (!block) return 0;
        jc.pointerLists[0][i] = block + g;
        jc.pointerLists[1][i] = block + g + 12 * g;
    }
    return 1;
}

void BuildPointerLists(JpegContext& jc) {
    const JpegDecoder& d = jc.decoder;
    for (int c = 0; c < d.componentCount; ++c) {
        const int g = d.components[c].vSamp;
        uint8_t** p = jc.physicalRows[c];
        uint8_t** l0 = jc.pointerLists[0][c];
        uint8_t** l1 = jc.pointerLists[1][c];
        for (int i = 0; i < 10 * g; ++i) l0[i] = l1[i] = p[i];
        // List 1 swaps the last two row groups of the band with the two spare
        // ones, so the previous band's last groups survive the next band.
        for (int i = 0; i < 2 * g; ++i) {
            l1[6 * g + i] = p[8 * g + i];
            l1[8 * g + i] = p[6 * g + i];
        }
        for (int i = 0; i < g; ++i) l0[-g + i] = p[0];   // above the first band the first row repeats
    }
}

void WrapPointerLists(JpegContext& jc) {
    const JpegDecoder& d = jc.decoder;
    for (int c = 0; c < d.componentCount; ++c) {
        const int g = d.components[c].vSamp;
        uint8_t** l0 = jc.pointerLists[0][c];
        uint8_t** l1 = jc.pointerLists[1][c];
        for (int i = 0; i < g; ++i) {
            l0[-g + i] = l0[9 * g + i];
            l1[-g + i] = l1[9 * g + i];
            l0[10 * g + i] = l0[i];
            l1[10 * g + i] = l1[i];
        }
    }
}

void PadBottomPointers(JpegContext& jc) {
    const JpegDecoder& d = jc.decoder;
    for (int c = 0; c < d.componentCount; ++c) {
        const JpegComponent& comp = d.components[c];
        const int g = comp.vSamp;
        int rowsLeft = comp.sampledHeight % (8 * g);
        if (rowsLeft == 0) rowsLeft = 8 * g;
        if (c == 0) jc.rowGroupsAvailable = (rowsLeft - 1) / g + 1;
        uint8_t** list = jc.pointerLists[jc.whichList][c];
        // Below the last real row that row repeats.
        for (int i = 0; i < 2 * g; ++i) list[rowsLeft + i] = list[rowsLeft - 1];
    }
}

int ProduceRowContext(JpegContext& jc, uint32_t* out) {
    uint8_t** const* lists = jc.pointerLists[jc.whichList];
    if (!jc.bufferFull) {
        if (!DecodeBand(jc, lists)) return 0;
        jc.bufferFull = 1;
        ++jc.bandsRead;
    }
    if (jc.contextState == ContextPostponed) {
        UpsampleAndConvertRow(jc, lists, jc.rowGroup, out);
        if (jc.rowGroup >= jc.rowGroupsAvailable) jc.contextState = ContextPrepare;
        return 1;
    }
    if (jc.contextState == ContextPrepare) {
        jc.rowGroup = 0;
        jc.rowGroupsAvailable = 7;
        if (jc.bandsRead == jc.decoder.bandCount) PadBottomPointers(jc);
        jc.contextState = ContextProcess;
    }
    UpsampleAndConvertRow(jc, lists, jc.rowGroup, out);
    if (jc.rowGroup < jc.rowGroupsAvailable) return 1;
    // Row group 7 needs the next band's first row: it is converted as row
    // group 9 of the other list once that band has been decoded.
    if (jc.bandsRead == 1) WrapPointerLists(jc);
    jc.whichList ^= 1;
    jc.bufferFull = 0;
    jc.rowGroup = 9;
    jc.rowGroupsAvailable = 10;
    jc.contextState = ContextPostponed;
    return 1;
}

}  // namespace

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
        jc.crToR[i] = Shr(91881 * x + 32768, 16);
        jc.cbToB[i] = Shr(116130 * x + 32768, 16);
        jc.crToG[i] = -46802 * x;
        jc.cbToG[i] = -22554 * x + 32768;
    }
    return 1;
}

int StartUpsampler(JpegContext& jc) {
    const JpegDecoder& d = jc.decoder;
    const int H = d.maxHSamp, V = d.maxVSamp;
    jc.needsContext = 0;
    // Upsampled rows are outputWidth rounded up to a multiple of maxHSamp.
    jc.upsampledRowBytes = (d.outputWidth + H - 1) / H * H;
    for (int i = 0; i < d.componentCount; ++i) {
        const JpegComponent& c = d.components[i];
        ComponentUpsampler& u = jc.upsamplers[i];
        u = ComponentUpsampler{};
        const int h = c.hSamp, v = c.vSamp;
        if (h == H && v == V) {
            u.method = UpsampleFull;
        } else if (2 * h == H && v == V) {
            u.method = c.sampledWidth > 2 ? UpsampleH2V1Smooth : UpsampleH2V1;
        } else if (2 * h == H && 2 * v == V) {
            u.method = c.sampledWidth > 2 ? UpsampleH2V2Smooth : UpsampleH2V2;
            if (u.method == UpsampleH2V2Smooth) jc.needsContext = 1;
        } else if (H % h == 0 && V % v == 0) {
            u.method = UpsampleIntegral;
            u.expandH = static_cast<uint8_t>(H / h);
            u.expandV = static_cast<uint8_t>(V / v);
        } else {
            return 0;
        }
        if (u.method != UpsampleFull) {
            u.rows = ScratchAllocRows(jc, static_cast<size_t>(jc.upsampledRowBytes), static_cast<size_t>(V));
            if (!u.rows) return 0;
        }
    }
    return 1;
}

int StartDecompression(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    if (!StartUpsampler(jc)) return 0;
    if (d.arithmetic) return 0;   // first, so a progressive arithmetic frame gets the general message
    if (d.progressive) {
        jc.progressiveRejected = 1;
        return 0;
    }
    for (int i = 0; i < 4; ++i) jc.dcDecodeTables[i] = jc.acDecodeTables[i] = nullptr;
    int32_t* blocks = static_cast<int32_t*>(ScratchAlloc(jc, JpegMaxBlocksPerMcu * 64 * sizeof(int32_t)));
    if (!blocks) return 0;
    for (int i = 0; i < JpegMaxBlocksPerMcu; ++i) jc.coefficientBlocks[i] = blocks + 64 * i;

    int groups = 8;
    if (jc.needsContext) {
        if (!AllocPointerLists(jc)) return 0;
        groups = 10;
    }
    for (int i = 0; i < d.componentCount; ++i) {
        const JpegComponent& c = d.components[i];
        uint8_t** rows = ScratchAllocRows(jc, 8 * static_cast<size_t>(c.widthInBlocks),
                                          static_cast<size_t>(c.vSamp) * groups);
        if (!rows) return 0;
        jc.bandRows[i] = rows;
        jc.physicalRows[i] = rows;
    }
    if (!SetupScan(jc) || !LatchQuantTables(jc) || !StartEntropyDecoder(jc)) return 0;
    d.bandsDone = 0;
    StartBand(jc);
    return 1;
}

int DecodeAllRows(JpegContext& jc, uint32_t* pixels) {
    JpegDecoder& d = jc.decoder;
    if (!BuildColorTables(jc)) return 0;
    if (!StartDecompression(jc)) return 0;
    jc.nextRowOut = d.maxVSamp;
    if (jc.needsContext) {
        BuildPointerLists(jc);
        jc.whichList = 0;
        jc.contextState = ContextPrepare;
        jc.bandsRead = 0;
    }
    jc.bufferFull = 0;
    jc.rowGroup = 0;
    for (int32_t r = 0; r < d.outputHeight; ++r) {
        uint32_t* out = pixels + static_cast<size_t>(d.outputHeight - 1 - r) * static_cast<size_t>(d.outputWidth);
        const int ok = jc.needsContext ? ProduceRowContext(jc, out) : ProduceRowSimple(jc, out);
        if (!ok) return 0;
    }
    return 1;
}
