// The texture decoder's records and stages: a baseline (sequential, Huffman,
// 8-bit) JPEG decoder that writes 0x00RRGGBB rows bottom-up into a Texture.
//
// All state of one decode lives in one JpegContext, created zeroed per decode.
// The stages, one file each:
//   jpeg_markers.cpp   scratch pool, byte source, marker and segment readers,
//                      image and scan geometry, restart markers
//   jpeg_huffman.cpp   decode tables, bit reader, one MCU of coefficients
//   jpeg_bands.cpp     bands of MCUs through the inverse DCT into sample rows
//   jpeg_idct*.cpp     the inverse DCT (portable reference and MMX)
//   jpeg_upsample.cpp  driver, row buffers, upsampling, colour conversion
//   ../jpeg_texture.cpp  the decode entry into a Texture
// Every operation returns 1 on success and 0 on failure unless it says
// otherwise; nothing in here shows a message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/texture.h"
#include "texture/jpeg/jpeg_idct.h"

struct JpegDecodeOptions;

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
constexpr int32_t JpegFileBufferSize = 4096;

// Zig-zag position k -> natural (row * 8 + column) position; entries 64..79 are
// 63 so that a run that overshoots the block still lands inside it.
extern const int32_t ZigzagToNatural[80];

struct JpegSource {
    const uint8_t* next;
    int32_t remaining;
    FILE* file;              // null for a memory source
    const uint8_t* buffer;   // read buffer (file) or the data (memory)
    uint8_t* fileBuffer;     // writable view of `buffer` for a file source
    int32_t bufferSize;
    uint8_t endOfImage[2];   // the synthetic 0xFF 0xD9 delivered past the end
};

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

struct HuffmanDecodeTable {
    int32_t maxCode[18];       // largest code of each length, -1 none; [17] stops the search
    int32_t valueOffset[17];   // symbol index = code + valueOffset[length]
    const HuffmanTable* source;
    int32_t lookaheadLength[256];  // code length for an 8-bit prefix, 0 when longer than 8
    uint8_t lookaheadSymbol[256];
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

// The bit reader's working state; DecodeMcu works on a copy and writes it
// back only when the whole MCU decoded.
struct BitReader {
    const uint8_t* next;
    int32_t remaining;
    uint32_t bitBuffer;   // unconsumed bits are the low bitCount bits, oldest highest
    int32_t bitCount;
    int32_t lastDc[JpegMaxScanComponents];
};

enum UpsampleMethod {
    UpsampleFull,
    UpsampleH2V1Smooth,
    UpsampleH2V1,
    UpsampleH2V2Smooth,
    UpsampleH2V2,
    UpsampleIntegral,
};

enum ContextState { ContextPrepare, ContextProcess, ContextPostponed };

struct ComponentUpsampler {
    UpsampleMethod method;
    uint8_t expandH;
    uint8_t expandV;
    uint8_t** rows;   // maxVSamp upsampled rows (or band rows for UpsampleFull)
};

struct JpegContext {
    // Scratch pool: singly linked heap blocks, newest first.
    void* scratchHead;
    int32_t progressiveRejected;

    JpegSource source;
    JpegDecoder decoder;

    // Marker reader.
    int32_t sawSoi;
    int32_t sawSof;
    int32_t endOfImage;
    int32_t readingHeaders;
    int32_t nextRestartNumber;

    // Entropy decoder.
    HuffmanDecodeTable* dcDecodeTables[4];
    HuffmanDecodeTable* acDecodeTables[4];
    HuffmanDecodeTable* blockDcTable[JpegMaxBlocksPerMcu];
    HuffmanDecodeTable* blockAcTable[JpegMaxBlocksPerMcu];
    BitReader bits;
    int32_t dataExhausted;
    int32_t restartsToGo;

    // Band decoder.
    int32_t mcuRowsPerBand;
    int32_t* coefficientBlocks[JpegMaxBlocksPerMcu];
    InverseDctFunction inverseDct;
    const IdctConstants* idctConstants;

    // Row output.
    uint8_t** bandRows[JpegMaxComponents];   // simple manager: the band buffers
    uint8_t** physicalRows[JpegMaxComponents];
    uint8_t*** pointerLists[2];              // context manager: [list][component]
    int32_t needsContext;
    ComponentUpsampler upsamplers[JpegMaxComponents];
    int32_t upsampledRowBytes;
    int32_t nextRowOut;
    int32_t crToR[256];
    int32_t cbToB[256];
    int32_t crToG[256];
    int32_t cbToG[256];
    int32_t bufferFull;
    int32_t rowGroup;
    int32_t whichList;
    ContextState contextState;
    int32_t rowGroupsAvailable;
    int32_t bandsRead;
};

// Scratch pool.
void* ScratchAlloc(JpegContext& jc, size_t size);
uint8_t** ScratchAllocRows(JpegContext& jc, size_t rowBytes, size_t rowCount);
void ResetScratchPool(JpegContext& jc);
void FreeScratchPool(JpegContext& jc);

// Byte source.
void UseMemorySource(JpegContext& jc, const uint8_t* data, int32_t size);
void UseFileSource(JpegContext& jc, FILE* file, uint8_t* buffer, int32_t bufferSize);
int FillSource(JpegContext& jc);
uint8_t ReadByte(JpegContext& jc);
int32_t ReadWord(JpegContext& jc);
int SkipBytes(JpegContext& jc, int32_t count);

// Marker reader.
void ResetDecoder(JpegContext& jc);
int ReadHeader(JpegContext& jc);
int ConsumeMarkers(JpegContext& jc);   // 0 error, 1 scan set up, 2 end of image
int ReadMarkers(JpegContext& jc);      // 0 error, 1 start of scan, 2 end of image
void NextMarker(JpegContext& jc);
int SetupImage(JpegContext& jc);
void ChooseColorSpace(JpegContext& jc);
void ComputeOutputSize(JpegContext& jc);
int SetupScan(JpegContext& jc);
int LatchQuantTables(JpegContext& jc);
int ReadRestartMarker(JpegContext& jc);

// Entropy decoder.
int BuildDecodeTable(JpegContext& jc, int isDc, int tableIndex, HuffmanDecodeTable** slot);
int StartEntropyDecoder(JpegContext& jc);
int DecodeMcu(JpegContext& jc, int32_t* const* blocks);
int ProcessRestart(JpegContext& jc);

// Band decoder.
void StartBand(JpegContext& jc);
int DecodeBand(JpegContext& jc, uint8_t** const* componentRows);   // 0, 3 more bands, 4 last

// Driver and back end.
int BuildColorTables(JpegContext& jc);
int StartUpsampler(JpegContext& jc);
int StartDecompression(JpegContext& jc);
int DecodeAllRows(JpegContext& jc, uint32_t* pixels);

// Decode entry (jpeg_texture.cpp). PrepareJpegContext clears the progressive
// flag and the scratch pool and picks the inverse DCT; DecodeJpegTexture
// decodes the current byte source into `target`, setting its size and
// allocating its pixels (left for the caller to free after a failure).
void PrepareJpegContext(JpegContext& jc, const JpegDecodeOptions* options);
int DecodeJpegTexture(JpegContext& jc, Texture* target);
