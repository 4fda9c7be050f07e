#include "core/cpu_features.h"

#include <cstdlib>
#include <cstring>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define QUILLMERE_X86 1
#endif

namespace {

bool levelChosen = false;
SimdLevel activeLevel = SimdScalar;

#if QUILLMERE_X86
// XCR0 bits 1 and 2: the operating system saves the SSE and AVX registers.
bool OsSavesYmm() {
    unsigned lo = 0, hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (lo & 6u) == 6u;
}
#endif

SimdLevel LevelFromName(const char* name, SimdLevel fallback) {
    for (int level = SimdScalar; level <= SimdAvx2; ++level) {
        if (std::strcmp(name, SimdLevelName(static_cast<SimdLevel>(level))) == 0) {
            return static_cast<SimdLevel>(level);
        }
    }
    return fallback;
}

SimdLevel Lower(SimdLevel a, SimdLevel b) { return a < b ? a : b; }

}  // namespace

SimdLevel DetectedSimdLevel() {
#if QUILLMERE_X86
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return SimdScalar;
    if (!(edx & bit_MMX)) return SimdScalar;
    if (!(edx & bit_SSE2)) return SimdMmx;
    const bool osxsave = (ecx & bit_OSXSAVE) != 0;
    const bool avx = (ecx & bit_AVX) != 0;
    if (!osxsave || !avx || !OsSavesYmm()) return SimdSse2;
    if (__get_cpuid_max(0, nullptr) < 7) return SimdSse2;
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    return (ebx & bit_AVX2) ? SimdAvx2 : SimdSse2;
#else
    return SimdScalar;
#endif
}

SimdLevel ActiveSimdLevel() {
    if (levelChosen) return activeLevel;
    levelChosen = true;
    SimdLevel level = DetectedSimdLevel();
    const char* scalar = std::getenv("QUILLMERE_SCALAR");
    if (scalar && std::strcmp(scalar, "1") == 0) level = SimdScalar;
    const char* cap = std::getenv("QUILLMERE_SIMD");
    if (cap) level = Lower(level, LevelFromName(cap, level));
    activeLevel = level;
    return activeLevel;
}

SimdLevel SetActiveSimdLevel(SimdLevel level) {
    // The processor is asked once: CPUID leaves a virtual machine, which
    // made a test switching levels per input pay for it every time.
    static const SimdLevel detected = DetectedSimdLevel();
    const SimdLevel before = ActiveSimdLevel();
    activeLevel = Lower(level, detected);
    return before;
}

const char* SimdLevelName(SimdLevel level) {
    switch (level) {
        case SimdMmx: return "mmx";
        case SimdSse2: return "sse2";
        case SimdAvx2: return "avx2";
        case SimdScalar: break;
    }
    return "scalar";
}
