// The marker reader: the per-image records, the walk over the segments up to
// the first start-of-scan, and the reading of restart markers inside a scan.
// Data from the file never trips an assertion; every fault is a 0 result.
#pragma once

#include <cstdint>

struct JpegContext;

enum JpegColorSpace {
    JpegColorUnknown = 0,
    JpegColorGrey = 1,
    JpegColorRgb = 2,
    JpegColorYCbCr = 3,
    JpegColorCmyk = 4,
    JpegColorYcck = 5,
};

constexpr int JpegMaxComponents = 10;
constexpr int JpegMaxScanComponents = 4;
constexpr int JpegMaxBlocksPerMcu = 10;
constexpr int JpegMaxDimension = 65500;

// Zig-zag position k -> natural (row * 8 + column) position; entries 64..79 are
// 63 so that a run that overshoots the block still lands inside it.
extern const int32_t ZigzagToNatural[80];

struct JpegComponent {
    int32_t id;
    int32_t index;
    int32_t hSamp;
    int32_t vSamp;
    int32_t quantTableIndex;
    int32_t dcTableIndex;
    int32_t acTableIndex;
    int32_t widthInBlocks;
    int32_t heightInBlocks;
    int32_t sampledWidth;
    int32_t sampledHeight;
    int32_t mcuWidth;
    int32_t mcuHeight;
    int32_t mcuBlocks;
    int32_t mcuSampleWidth;
    int32_t lastColumnWidth;
    int32_t lastRowHeight;
    int32_t* quantTable;
};

// A DHT table as stored: code counts by length (entry 0 unused) and symbols.
struct HuffmanTable {
    uint8_t counts[17];
    uint8_t symbols[256];
};

struct JpegDecoder {
    int32_t imageWidth;
    int32_t imageHeight;
    int32_t componentCount;
    int32_t colorSpace;
    int32_t outputWidth;
    int32_t outputHeight;
    int32_t bandsDone;
    int32_t* quantTables[4];
    HuffmanTable* dcTables[4];
    HuffmanTable* acTables[4];
    int32_t precision;
    JpegComponent* components;
    int32_t progressive;
    int32_t arithmetic;
    int32_t restartInterval;
    int32_t sawJfif;
    int32_t sawAdobe;
    uint8_t adobeTransform;
    int32_t maxHSamp;
    int32_t maxVSamp;
    int32_t bandCount;
    int32_t scanComponentCount;
    JpegComponent* scanComponents[JpegMaxScanComponents];
    int32_t mcusPerRow;
    int32_t blocksPerMcu;
    int32_t mcuBlockComponent[JpegMaxBlocksPerMcu];
    int32_t unreadMarker;
};

// What a walk over the segments ended with.
enum MarkerResult {
    MarkerError = 0,
    MarkerStartOfScan = 1,
    MarkerEndOfImage = 2,
};

// Zeroes the image record and starts reading headers.
void ResetDecoder(JpegContext& jc);
// Reads the segments up to the first start-of-scan and sets up the image; 1
// only when a scan was reached and the image is one the decoder handles.
int ReadHeader(JpegContext& jc);
// MarkerStartOfScan once the image is set up, MarkerEndOfImage, MarkerError.
MarkerResult ConsumeMarkers(JpegContext& jc);
// The segment walk itself: MarkerStartOfScan when a scan header was read.
MarkerResult ReadMarkers(JpegContext& jc);
// Finds the next marker in the data and leaves its code in `unreadMarker`.
void NextMarker(JpegContext& jc);
// At the end of a restart interval: takes the expected restart marker, or
// resynchronises on a damaged stream. Always 1.
int ReadRestartMarker(JpegContext& jc);
