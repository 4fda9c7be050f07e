// Upsampling: brings a component's row group (vSamp rows) to maxVSamp rows at
// the full output width, by one of six methods chosen per component.
#pragma once

#include <cstdint>

struct JpegContext;
struct JpegComponent;

enum UpsampleMethod {
    UpsampleFull,
    UpsampleH2V1Smooth,
    UpsampleH2V1,
    UpsampleH2V2Smooth,
    UpsampleH2V2,
    UpsampleIntegral,
};

struct ComponentUpsampler {
    UpsampleMethod method;
    uint8_t expandH;
    uint8_t expandV;
    uint8_t** rows;  // maxVSamp upsampled rows (or band rows for UpsampleFull)
};

// Chooses every component's method and allocates its rows; sets needsContext
// when a component is smoothed in both directions. 0 for an unsupported ratio.
int StartUpsampler(JpegContext& jc);
// Upsamples one row group; `in` reaches one row above and below it when the
// component is smoothed in both directions.
void UpsampleGroup(JpegContext& jc, const JpegComponent& c, uint8_t* const* in);
