// The image and scan geometry derived from the frame and scan headers:
// sampling maxima, block counts, bands, the composition of an MCU, the colour
// interpretation and each scan component's own quantisation table.
#pragma once

struct JpegContext;

// At the first start-of-scan: checks the limits and the sampling factors and
// derives every component's size; 0 when the image cannot be decoded.
int SetupImage(JpegContext& jc);
// Sets `colorSpace` from the component count and the JFIF/Adobe segments.
void ChooseColorSpace(JpegContext& jc);
// The output size (the frame's own) and the components' sampled sizes.
void ComputeOutputSize(JpegContext& jc);
// The MCU composition of the scan; 0 for more than 10 blocks per MCU.
int SetupScan(JpegContext& jc);
// Copies each scan component's quantisation table; 0 when one is missing.
int LatchQuantTables(JpegContext& jc);
