#pragma once

// What a deep drawing is asked (threads, approximation, lanes, precision cap,
// memory budget, cancel and progress) and what it tells (its reference and
// its statistics).

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace mandel {

struct DeepReferenceInfo {
    std::int64_t length = 0;   // iterations the reference holds
    int precisionBits = 0;     // MPFR precision of the reference
    double buildMs = 0;        // time to compute it (and its tables)
    std::size_t bytes = 0;     // memory it holds
    std::string numberType;    // number type of the pixels' iteration ("double", "extended", ...)
    double blaBuildMs = 0;     // time to build the bilinear table (0 without one)
    std::size_t blaBytes = 0;  // memory the table holds
};

// While the reference orbit is computed (before any row), referenceTotal is
// the limit and referenceDone the iterations made; then both are 0 and the
// rows count.
struct DeepProgress {
    std::int64_t rowsDone = 0;
    std::int64_t rowsTotal = 0;
    std::int64_t referenceDone = 0;
    std::int64_t referenceTotal = 0;
};

inline constexpr int kAutomaticSettleBitsFactor = 16;
inline constexpr int kMinAutomaticSettleBits = 4096;
inline constexpr int kMinSettleBits = 64;
inline constexpr int kMaxSettleBits = 1 << 24;

struct DeepOptions {
    unsigned threads = 0;  // 0 = every core
    bool bla = true;       // skip iterations with the bilinear approximation, where it is exact enough
    bool lanes = true;     // steps in SIMD lanes (double, or rescaled doubles below its range; same counts)
    bool direct = true;    // shallow views iterate z directly in double first (same counts)
    // Views in double's range iterate as views below it do, one pixel at a
    // time in rescaled doubles (same counts): to measure the two number types
    // on the same view. It applies where the drawing makes its own reference.
    bool rescaled = false;
    // The highest MPFR precision a pixel's count is settled at; a pixel still
    // undecided there keeps its best count and is flagged as not certified.
    // 0: automatic (kAutomaticSettleBitsFactor times the view's pixel
    // precision, at least kMinAutomaticSettleBits).
    int maxBits = 0;
    // The most memory the drawing may take (see deep_memory.h); 0: half the
    // machine's physical memory. prepare() throws DeepMemoryError above it.
    std::uint64_t maxMemory = 0;
    // Set from any thread to stop: the computation returns within 50 ms.
    const std::atomic<bool>* cancel = nullptr;
    // Called on the computing thread(s), one at a time, at least every 50 ms
    // while the reference or rows are computed; returning false stops like
    // cancel.
    std::function<bool(const DeepProgress&)> progress;
};

struct DeepStats {
    std::int64_t iterationsMade = 0;       // perturbation steps taken
    std::int64_t iterationsSkipped = 0;    // iterations covered by approximation steps
    std::int64_t pixelsSettled = 0;        // pixels settled with more precision
    std::int64_t pixelsSettledInDouble = 0;  // of those, the ones the double loop finished after a rebase
    std::int64_t pixelsSettledAtFullPrecision = 0;  // of those, the ones double-double could not settle
    std::int64_t uncertifiedPixels = 0;    // pixels not settled within the precision cap
    std::int64_t pixelsKnown = 0;          // pixels counted without iterating (outside |c| ≤ 2, real axis)
    std::int64_t pixelsDirectDd = 0;       // pixels the direct double-double stage decided
    double settleMs = 0;                   // time spent on those
    std::int64_t laneSteps = 0;            // of the steps made, those made in SIMD lanes (one per lane)
    double laneMs = 0;                     // time the lanes' loop took, summed over threads
};

}  // namespace mandel
