// The SSE2 batch normalisation: the packed square root and division round
// each lane exactly as the scalar instructions do, and the operations come
// in the reference's order, so the results are its bits.
#include "ribbon/unit_batch.h"

#if defined(__SSE2__)
#include <emmintrin.h>

void NormaliseBatchSse2(UnitBatch* batch) {
    const __m128 x = _mm_loadu_ps(batch->x), y = _mm_loadu_ps(batch->y), z = _mm_loadu_ps(batch->z);
    const __m128 squared = _mm_add_ps(_mm_add_ps(_mm_mul_ps(x, x), _mm_mul_ps(y, y)), _mm_mul_ps(z, z));
    const __m128 length = _mm_sqrt_ps(squared);
    const __m128 inverse = _mm_div_ps(_mm_set1_ps(1.0f), length);
    // True for a non-zero length and for NaN, as "length != 0" is.
    const __m128 scaled = _mm_cmpneq_ps(length, _mm_setzero_ps());
    const auto pick = [&](__m128 v) {
        return _mm_or_ps(_mm_and_ps(scaled, _mm_mul_ps(v, inverse)), _mm_andnot_ps(scaled, v));
    };
    _mm_storeu_ps(batch->x, pick(x));
    _mm_storeu_ps(batch->y, pick(y));
    _mm_storeu_ps(batch->z, pick(z));
}

#endif
