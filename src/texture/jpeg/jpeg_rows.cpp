// The decoder's driver: starts decompression, keeps each component's samples
// in band buffers refilled one band at a time and produces the output rows,
// bottom-up, through the upsampler and the colour conversion.
#include "texture/jpeg/jpeg_rows.h"

#include <cstring>

#include "texture/jpeg/jpeg_bands.h"
#include "texture/jpeg/jpeg_color.h"
#include "texture/jpeg/jpeg_context.h"
#include "texture/jpeg/jpeg_geometry.h"
#include "texture/jpeg/jpeg_huffman.h"
#include "texture/jpeg/jpeg_scratch.h"
#include "texture/jpeg/jpeg_upsample.h"

namespace {

void UpsampleAndConvertRow(JpegContext& jc, uint8_t** const* componentRows, int32_t& rowGroupCounter, uint32_t* out) {
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
        if (DecodeBand(jc, jc.bandRows) == BandError) return 0;
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
    uint8_t*** lists =
        static_cast<uint8_t***>(ScratchAlloc(jc, 2 * static_cast<size_t>(d.componentCount) * sizeof(uint8_t**)));
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
        for (int i = 0; i < g; ++i) l0[-g + i] = p[0];  // above the first band the first row repeats
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
        if (DecodeBand(jc, lists) == BandError) return 0;
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

int StartDecompression(JpegContext& jc) {
    JpegDecoder& d = jc.decoder;
    if (!StartUpsampler(jc)) return 0;
    if (d.arithmetic) return 0;  // first, so a progressive arithmetic frame gets the general message
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
        uint8_t** rows =
            ScratchAllocRows(jc, 8 * static_cast<size_t>(c.widthInBlocks), static_cast<size_t>(c.vSamp) * groups);
        if (!rows) return 0;
        jc.bandRows[i] = rows;
        jc.physicalRows[i] = rows;
    }
    if (!SetupScan(jc) || !LatchQuantTables(jc) || !StartEntropyDecoder(jc)) return 0;
    d.bandsDone = 0;
    StartBand(jc);
    return 1;
}

int DecodeAllRows(JpegContext& jc, const JpegRowSink& sink) {
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
        uint32_t* out = sink.row(sink.context, r);
        const int ok = jc.needsContext ? ProduceRowContext(jc, out) : ProduceRowSimple(jc, out);
        if (!ok) return 0;
        if (!sink.done(sink.context, r)) {
            jc.sinkStopped = 1;
            return 0;
        }
    }
    return 1;
}
