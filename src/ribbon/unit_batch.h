// Four vectors scaled to unit length at once: the ribbon builder's normals
// wait on square roots and divisions, which the vector unit takes four at a
// time with the same correctly rounded results.
#pragma once

#include "core/cpu_features.h"

// Lanes side by side; lanes past the ones in use hold anything.
struct UnitBatch {
    float x[4], y[4], z[4];
};

// Scales every lane as Normalise scales one vector, to the bit: length
// sqrt((x*x + y*y) + z*z), each component times 1 / length, a zero vector
// left as it is.
using NormaliseBatchFunction = void (*)(UnitBatch* batch);

void NormaliseBatchScalar(UnitBatch* batch);
// Only where the build has SSE2 (every x86 target of the program).
void NormaliseBatchSse2(UnitBatch* batch);

// The kernel for `level`: SSE2 from that level on, where the build has it.
NormaliseBatchFunction NormaliseBatchFor(SimdLevel level);
