// A cancel is seen at once inside the longest loops: the reference orbit at
// a hundred thousand bits, and a pixel settled in MPFR at tens of thousands;
// the reference reports its progress while it runs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "deep/deep_drawing.h"
#include "deep/perturbation.h"
#include "deep/mpfr_pixel.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Generous for loaded machines and sanitizers; the loops poll every
// millisecond or two.
constexpr double kCancelMs = 1000;

TEST(DeepCancel, TheReferenceReportsProgressAndStopsWhenCancelled) {
    // Inside the cardioid at a side of 1e-30000: every iteration of the
    // reference is a product of 100,000-bit numbers.
    const mandel::DeepView view{{"-0.1", "0.1", "1e-30000", 1'000'000}, 16, 16};
    mandel::DeepDrawing drawing(view);
    std::atomic<bool> cancel{false};
    std::atomic<std::int64_t> lastDone{0};
    mandel::DeepOptions options;
    options.cancel = &cancel;
    options.progress = [&](const mandel::DeepProgress& p) {
        EXPECT_EQ(p.referenceTotal, 1'000'000);
        lastDone = p.referenceDone;
        return true;
    };
    Clock::time_point cancelledAt;
    std::thread canceller([&] {
        while (lastDone.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        cancelledAt = Clock::now();
        cancel = true;
    });
    EXPECT_FALSE(drawing.prepare(options));
    const double latency = msSince(cancelledAt);
    canceller.join();
    EXPECT_GT(lastDone.load(), 0);
    EXPECT_LT(lastDone.load(), 1'000'000);
    EXPECT_LT(latency, kCancelMs);
    RecordProperty("reference_cancel_ms", std::to_string(latency));
}

TEST(DeepCancel, ASettleAtTensOfThousandsOfBitsStopsWhenAsked) {
    // The Misiurewicz point i never escapes; at 40,000 bits its pixel would
    // take minutes to reach the limit. The loop asks every few iterations:
    // the third answer stops it.
    const mandel::DeepLocation where{"0", "1", "1e-12000", 100'000'000};
    const Clock::time_point start = Clock::now();
    int asked = 0;
    const auto stop = [&] { return ++asked == 3; };
    const mandel::MpfrPixel pixel = mandel::mpfrPixelCount(where, 16, 0, 0, 40'000, 40'000, stop);
    EXPECT_EQ(pixel.count, mandel::kCancelledCount);
    EXPECT_EQ(asked, 3);
    EXPECT_LT(pixel.iterations, 100);
    EXPECT_LT(msSince(start), kCancelMs);
}

}  // namespace
