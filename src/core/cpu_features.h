// Which instruction-set level the program's kernels may use, decided once
// per process. Every faster kernel gives exactly the portable reference's
// results, so the level changes speed, never output.
#pragma once

enum SimdLevel {
    SimdScalar = 0,  // the portable reference
    SimdMmx = 1,
    SimdSse2 = 2,
    SimdAvx2 = 3,  // also needs the operating system to save the YMM state
};

// The highest level this processor and operating system support, read from
// CPUID (and XGETBV for AVX2). SimdScalar on other architectures.
SimdLevel DetectedSimdLevel();

// The level the kernels use: the detected one, SimdScalar when the
// environment variable QUILLMERE_SCALAR is "1", or at most the level named by
// QUILLMERE_SIMD ("scalar", "mmx", "sse2", "avx2"). Read once; later calls
// return the same value unless a test overrides it.
SimdLevel ActiveSimdLevel();

// Tests: makes ActiveSimdLevel return min(level, DetectedSimdLevel()) and
// returns what it was before.
SimdLevel SetActiveSimdLevel(SimdLevel level);

// "scalar", "mmx", "sse2" or "avx2".
const char* SimdLevelName(SimdLevel level);
