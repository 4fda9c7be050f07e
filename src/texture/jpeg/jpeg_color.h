// Colour conversion: one row of upsampled component samples into 0x00RRGGBB
// pixels, by the image's colour interpretation.
#pragma once

#include <cstdint>

struct JpegContext;

// JFIF YCbCr -> RGB terms by sample value, in 16-bit fixed point.
struct ColorTables {
    int32_t crToR[256];
    int32_t cbToB[256];
    int32_t crToG[256];
    int32_t cbToG[256];
};

// Checks the component count against the colour space and builds the tables.
int BuildColorTables(JpegContext& jc);
// Converts upsampled row `row` of every component into `out` (outputWidth pixels).
void ConvertRow(JpegContext& jc, int row, uint32_t* out);
