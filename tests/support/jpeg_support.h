// Helpers for the texture decoder's tests: decoding files, PNM output in the
// oracle's byte layout, MD5, the external encoder/decoder programs, a
// photo-like test image, and a small builder of baseline JPEG streams made of
// flat blocks for hand-made edge cases.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/texture.h"
#include "texture/texture_slots.h"

using Bytes = std::vector<uint8_t>;

// The accurate integer IDCT constants of the reference decoder the oracle
// uses; they differ from the program's at four places.
extern const IdctConstants ReferenceIdctConstants;

// A decoded image, top row first, three bytes per pixel (R, G, B).
struct Decoded {
    int ok = 0;
    int progressive = 0;
    int width = 0;
    int height = 0;
    Bytes rgb;
};

Decoded DecodeBytes(const Bytes& data, const IdctConstants* constants = nullptr, InverseDctFunction idct = nullptr);
Decoded DecodeFile(const std::string& path, const IdctConstants* constants = nullptr);
// The decode by the reference paths only: scalar kernels, reference bit reader.
Decoded DecodeReference(const Bytes& data);
// Every JPEG file under `root`, in a stable order (empty when it is absent).
std::vector<std::string> JpegFilesUnder(const std::string& root);

// The image as the reference decoder's PNM output: P5 when `grey`, else P6.
Bytes ToPnm(const Decoded& image, bool grey);
// Pixels of a PNM file (P5 expanded to RGB), or ok = 0.
Decoded ReadPnm(const Bytes& pnm);

std::string Md5Hex(const Bytes& data);
Bytes ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& data);

// Runs a shell command; its exit status.
int RunCommand(const std::string& command);
// Whether cjpeg and djpeg can be run here (never in a Windows build).
bool HaveJpegTools();

// A deterministic photo-like RGB image (gradients, edges, texture, noise) as
// binary PPM.
Bytes MakePhotoPpm(int width, int height, uint32_t seed);

// Builder of baseline JPEG streams whose blocks are all flat: every block has
// only a DC coefficient, chosen so that the block decodes to one exact sample
// value (quantisation 1). Components are interleaved in one scan.
struct FlatJpegComponent {
    int id;
    int h;
    int v;
};
struct FlatJpeg {
    int width = 8;
    int height = 8;
    std::vector<FlatJpegComponent> components{{1, 1, 1}};
    // sample(component index, block column, block row) -> 0..255
    int (*sample)(int component, int bx, int by) = nullptr;
    int restartInterval = 0;
    bool jfif = false;
    int adobeTransform = -1;  // -1: no Adobe segment
    uint8_t frameMarker = 0xC0;
    bool endOfImage = true;
};
// The whole stream, and the offset where the entropy-coded data starts.
Bytes BuildFlatJpeg(const FlatJpeg& layout, size_t* scanDataOffset = nullptr);
