// Image and scan geometry from the frame and scan headers, the colour
// interpretation, and the latching of quantisation tables.
#include "texture/jpeg/jpeg_geometry.h"

#include <cstring>

#include "texture/jpeg/jpeg_context.h"
#include "texture/jpeg/jpeg_scratch.h"

namespace {
inline int32_t CeilDiv(int32_t a, int32_t b) { return (a + b - 1) / b; }
}  // namespace

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
        case 1: d.colorSpace = JpegColorGrey; break;
        case 3:
            if (d.sawJfif) {
                d.colorSpace = JpegColorYCbCr;
            } else if (d.sawAdobe) {
                d.colorSpace = d.adobeTransform == 0 ? JpegColorRgb : JpegColorYCbCr;
            } else if (d.components[0].id == 82 && d.components[1].id == 71 && d.components[2].id == 66) {
                d.colorSpace = JpegColorRgb;  // identifiers 'R', 'G', 'B'
            } else {
                d.colorSpace = JpegColorYCbCr;
            }
            break;
        case 4: d.colorSpace = d.sawAdobe && d.adobeTransform != 0 ? JpegColorYcck : JpegColorCmyk; break;
        default: d.colorSpace = JpegColorUnknown; break;
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
