#pragma once

// The SIMD escape-count loop behind escapeCountsFast, compiled once per
// instruction set and chosen at run time for the processor it runs on.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace mandel::fastkernel {

// Real parts past the end of a row, so that whole vectors can be loaded at
// any column: a point with real part 4 fails its first test.
inline constexpr std::size_t kRowPadding = 64;
inline constexpr float kPaddingReal = 4.0f;

// One drawing's work, shared by all worker threads. Each thread takes rows
// from nextRow and writes the counts of the points of its rows; no two
// threads write the same element of out.
struct Job {
    const float* reals = nullptr;  // pointsPerRow real parts, then kRowPadding × kPaddingReal
    std::size_t pointsPerRow = 0;
    const float* imags = nullptr;  // imaginary parts of the rows
    std::size_t rows = 0;
    std::int32_t limit = 1;       // N, 1..32767
    std::int16_t* out = nullptr;  // rows × pointsPerRow counts, row-major
    std::atomic<std::size_t>* nextRow = nullptr;

    // The next row for the calling thread; false once every row is taken.
    bool takeRow(std::size_t& row) const {
        row = nextRow->fetch_add(1, std::memory_order_relaxed);
        return row < rows;
    }
};

using WorkerFunction = void (*)(const Job*);

// The worker loop (with or without the cycle check) for the best instruction
// set currently allowed (see fast_targets.h). Resolved on the calling thread,
// so that worker threads only call through the returned pointer.
WorkerFunction selectWorker(bool cycleCheck);

}  // namespace mandel::fastkernel
