// The portable reference of the batch normalisation, and the choice of
// kernel.
#include "ribbon/unit_batch.h"

#include "core/math3d.h"

void NormaliseBatchScalar(UnitBatch* batch) {
    for (int i = 0; i < 4; ++i) {
        Vec3 v{batch->x[i], batch->y[i], batch->z[i]};
        Normalise(&v);
        batch->x[i] = v.x;
        batch->y[i] = v.y;
        batch->z[i] = v.z;
    }
}

NormaliseBatchFunction NormaliseBatchFor(SimdLevel level) {
#if defined(__SSE2__)
    if (level >= SimdSse2) return NormaliseBatchSse2;
#else
    (void)level;
#endif
    return NormaliseBatchScalar;
}
