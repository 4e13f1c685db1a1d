// Highway's choice of instruction sets, made here on x86-64 instead of in
// Highway's shared library: loading that library times its clock at start
// (about 4 ms of every process, more than a small drawing takes). The
// dispatch itself is Highway's, from its headers; only these three entry
// points are defined here (this file is built only on x86-64).

#include <hwy/targets.h>

#include <atomic>
#include <cstdint>

namespace hwy {

namespace {

// The instruction sets each of Highway's x86 targets compiles its code for
// (the features GCC enables in that target's functions). A target is usable
// where the processor has all of them; GCC's detection also asks the system
// whether it keeps the AVX and AVX-512 registers.
std::int64_t detectedTargets() {
    std::int64_t targets = HWY_SCALAR | HWY_EMU128;
    __builtin_cpu_init();
    const bool ssse3 = __builtin_cpu_supports("sse2") && __builtin_cpu_supports("ssse3");
    const bool sse4 = ssse3 && __builtin_cpu_supports("sse4.1") && __builtin_cpu_supports("sse4.2") &&
                      __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("aes");
    const bool avx2 = sse4 && __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") &&
                      __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") &&
                      __builtin_cpu_supports("fma") && __builtin_cpu_supports("f16c");
    const bool avx3 = avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
                      __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
    if (ssse3) targets |= HWY_SSSE3;
    if (sse4) targets |= HWY_SSE4;
    if (avx2) targets |= HWY_AVX2;
    if (avx3) targets |= HWY_AVX3;
    return targets;
}

// Targets a test has put in place of the detected ones (0: none).
std::atomic<std::int64_t> targetsForTest{0};

}  // namespace

HWY_DLLEXPORT std::int64_t SupportedTargets() {
    const std::int64_t forced = targetsForTest.load();
    if (forced != 0) return forced;
    static const std::int64_t detected = detectedTargets();
    return detected;
}

HWY_DLLEXPORT void SetSupportedTargetsForTest(std::int64_t targets) { targetsForTest.store(targets); }

HWY_DLLEXPORT ChosenTarget& GetChosenTarget() {
    static ChosenTarget chosen;
    return chosen;
}

}  // namespace hwy
