// The four-triangle set-up in AVX2's three-operand encodings: the same
// operations lane for lane, without the register copies that SSE2's
// two-operand forms need. Run only at the AVX2 level.
#include "render/setup_lanes.h"

void raster::SetupFourTrianglesAvx2(const FrameBuffer& fb, const ScreenVertex* const corners[3][4], SetupLanes* out) {
    SetupFourTriangles(fb, corners, out);
}
