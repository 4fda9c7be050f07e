// Band decoding: the MCUs that cover maxVSamp * 8 image rows are entropy
// decoded one at a time and each block is dequantised and transformed into
// the component's sample rows of the band.
#pragma once

#include <cstdint>

struct JpegContext;

enum BandResult {
    BandError = 0,       // the data ended without a marker
    BandMoreFollow = 3,  // the band is done and more follow
    BandLast = 4,        // the last band is done
};

// Sets the MCU rows of the next band.
void StartBand(JpegContext& jc);
// Decodes the next band into componentRows[component index][0 .. 8 * vSamp).
BandResult DecodeBand(JpegContext& jc, uint8_t** const* componentRows);
