// The SIMD escape-count loop, compiled once per instruction set by Highway's
// foreach_target and chosen at run time (HWY_DYNAMIC_DISPATCH).
//
// Each lane iterates one point with exactly mandel's operations, one
// single-precision rounding each, nothing fused (the build passes
// -ffp-contract=off; GCC would otherwise fuse Mul and Add into FMA):
//   xx = x·x, yy = y·y, escape if xx + yy > 4, t = (xx + a) − yy,
//   y = (x + x)·y + b, x = t.
// Each lane records the first step at which its test failed, so every count
// is exact. What is amortised is the rest: only every kStepsPerCheck steps
// does the loop look at the counts. While no lane is near escaping, whole
// blocks of steps are made without the test, and a block in which a lane
// may have failed is made again with it (see FastStep).
//
// A worker takes whole rows and iterates several vectors side by side; each
// vector holds a run of consecutive points of a row. As soon as every point
// of a vector has finished, the vector stores their counts (next to each
// other in the row) and loads the next run, independently of the others.
// Neighbouring points mostly need similar numbers of steps, so few steps are
// lost to lanes that wait for the slowest point of their run, and refilling
// costs a few vector operations per run instead of work per point.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "fast_kernel.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "fast_kernel.h"

HWY_BEFORE_NAMESPACE();
namespace mandel::fastkernel {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// Independent vectors iterated side by side: one step of one vector is a
// chain of three dependent operations (about 9 cycles), so several vectors
// keep the arithmetic units busy. A vector's state takes three registers;
// with three vectors nothing has to be kept in memory during the steps.
constexpr std::size_t kVectors = 3;
// Steps between two checkpoints, where each vector looks whether all its
// points have finished (and makes the cycle test). A run that has finished
// waits for half of this on average.
constexpr std::int32_t kStepsPerCheck = 12;
// Steps a new run makes on its own before it joins the others.
constexpr std::int32_t kScreenSteps = 4;
// A vector saves its state for the cycle test at the first cycle test after
// kFirstSave steps, then after each doubling (Brent's schedule).
constexpr std::int32_t kFirstSave = 16;
// Checkpoints per cycle test: the test costs a little, and a state that
// repeats does so for good, so testing every other checkpoint is enough.
// Where tests keep finding nothing (views with few points inside the set, or
// orbits that repeat only after the limit) the interval doubles, up to
// kMaxChecksPerCycleTest; a test that finds a repetition resets it.
constexpr std::uint32_t kChecksPerCycleTest = 2;
constexpr std::uint32_t kMaxChecksPerCycleTest = 16;
constexpr std::uint32_t kFruitlessTestsBeforeBackingOff = 8;

static_assert(!HWY_HAVE_SCALABLE, "runs of points assume vectors of a fixed size");
constexpr std::size_t kLanes = HWY_LANES(float);
static_assert(kLanes <= kRowPadding);

// What a vector without a run iterates: zero, which never escapes.
HWY_ALIGN constexpr float kNoPoints[kLanes] = {};

// The clock counts steps downwards. Every kClockShift steps it is moved back
// up, with every clock value kept, so that it stays far from overflowing in
// a drawing of any size. (The shift happens often, so every drawing of some
// size exercises it.)
constexpr std::int32_t kClockStart = std::int32_t{1} << 30;
constexpr std::int32_t kClockShift = std::int32_t{1} << 16;

// Calls f(std::integral_constant<std::size_t, v>) for v = 0 .. kVectors-1, so
// that every vector's state is addressed by a constant and stays in registers.
template <class F, std::size_t... V>
HWY_INLINE void ForEachVectorImpl(F&& f, std::index_sequence<V...>) {
    (f(std::integral_constant<std::size_t, V>{}), ...);
}
template <class F>
HWY_INLINE void ForEachVector(F&& f) {
    ForEachVectorImpl(f, std::make_index_sequence<kVectors>{});
}

// Counting. A step is made at one value of a clock that decreases by one per
// step. A lane records in `escaped` the largest clock value at which its test
// failed, that is its first failing step (0 while every test has passed). A
// run whose test 1 was at clock C makes test i at C − i + 1, so a failure
// recorded at E is test C − E + 1, and the run has made N tests once the
// clock reads C − N. Recording costs a compare, a select and a max per step,
// and a vector's whole state is three registers (x, y, escaped). What a lane
// computes after its first failure does not matter.
template <class DF>
HWY_INLINE void Step(DF, hn::Vec<DF>& x, hn::Vec<DF>& y, hn::Vec<hn::RebindToSigned<DF>>& escaped,
                     hn::Vec<DF> a, hn::Vec<DF> b, hn::Vec<hn::RebindToSigned<DF>> now, hn::Vec<DF> four) {
    const hn::RebindToSigned<DF> di;
    const auto xx = hn::Mul(x, x);
    const auto yy = hn::Mul(y, y);
    const auto fails = hn::RebindMask(di, hn::Gt(hn::Add(xx, yy), four));
    escaped = hn::Max(escaped, hn::IfThenElseZero(fails, now));
    const auto t = hn::Sub(hn::Add(xx, a), yy);
    y = hn::Add(hn::Mul(hn::Add(x, x), y), b);
    x = t;
}

// Bit 30 of a non-negative float (or of any NaN) is set exactly when it is
// 2 or more (or NaN).
constexpr std::int32_t kTwoOrMoreBit = std::int32_t{1} << 30;

// The step without the test, for a block of steps in which probably no lane
// fails: it only collects, in `seen`, the bits of every xx and yy. A failing
// test needs xx + yy > 4, hence xx > 2 or yy > 2 (if both are at most 2, so
// is their correctly rounded sum at most 4), which sets bit 30 of `seen`. So
// when bit 30 is clear in every lane afterwards, no lane failed a test in
// the block, and the states are those the tested steps would have given;
// otherwise the block is made again from its start with the test. The
// operations on x and y are the same as in Step.
template <class DF>
HWY_INLINE void FastStep(DF, hn::Vec<DF>& x, hn::Vec<DF>& y, hn::Vec<hn::RebindToSigned<DF>>& seen,
                         hn::Vec<DF> a, hn::Vec<DF> b) {
    const hn::RebindToSigned<DF> di;
    const auto xx = hn::Mul(x, x);
    const auto yy = hn::Mul(y, y);
    seen = hn::Or(seen, hn::Or(hn::BitCast(di, xx), hn::BitCast(di, yy)));
    const auto t = hn::Sub(hn::Add(xx, a), yy);
    y = hn::Add(hn::Mul(hn::Add(x, x), y), b);
    x = t;
}

// The points of one vector: up to kLanes consecutive points of a row. Lanes
// past the end of the row iterate padding, which escapes at once.
struct Run {
    const float* reals = nullptr;  // kLanes real parts (padded at the row end)
    std::int16_t* out = nullptr;   // where the counts go
    std::size_t points = 0;        // how many lanes are points of the row (0: no run)
    std::int32_t firstTestClock = 0;
    std::int32_t nextSave = 0;     // steps after which the cycle test saves next
};

// Hands out a thread's runs, row by row.
class RunFeed {
public:
    explicit RunFeed(const Job& job) : job_(job), column_(job.pointsPerRow) {}

    // The next run, or false once every row is taken.
    bool next(Run& run, float& imag) {
        if (column_ >= job_.pointsPerRow) {
            if (!job_.takeRow(row_)) return false;
            column_ = 0;
        }
        run.reals = job_.reals + column_;
        run.out = job_.out + row_ * job_.pointsPerRow + column_;
        run.points = std::min(kLanes, job_.pointsPerRow - column_);
        imag = job_.imags[row_];
        column_ += kLanes;
        return true;
    }

private:
    const Job& job_;
    std::size_t row_ = 0;
    std::size_t column_;
};

template <bool kCycleCheck>
void IterateRuns(const Job& job) {
    const hn::ScalableTag<float> df;
    const hn::RebindToSigned<decltype(df)> di;
    const hn::Rebind<std::int16_t, decltype(di)> d16;
    using VF = hn::Vec<decltype(df)>;
    using VI = hn::Vec<decltype(di)>;
    using MI = hn::Mask<decltype(di)>;
    const std::int32_t limit = job.limit;

    RunFeed feed(job);
    std::int32_t clock = kClockStart;  // the clock of the next step
    std::size_t runsActive = 0;

    Run runs[kVectors];
    HWY_ALIGN float imags[kVectors][kLanes];         // the run's imaginary part, in every lane
    HWY_ALIGN std::int32_t savedX[kVectors][kLanes];  // cycle test: the saved state, as bits
    HWY_ALIGN std::int32_t savedY[kVectors][kLanes];
    // The iteration state, in registers.
    VF x[kVectors];
    VF y[kVectors];
    VI escaped[kVectors];
    MI cycled[kVectors];  // lanes whose state repeated: their count is the limit

    const VI zero = hn::Zero(di);
    const VI one = hn::Set(di, 1);
    const VI limitV = hn::Set(di, limit);

    // Stores the counts of vector v's run. A lane whose test failed counts
    // the number of that test, at most the limit; any other lane the limit.
    auto finishRun = [&](auto v, MI failed) {
        Run& run = runs[v];
        const VI first = hn::Set(di, run.firstTestClock);
        const VI failedTest = hn::Min(hn::Sub(hn::Add(first, one), escaped[v]), limitV);
        const auto counts = hn::DemoteTo(d16, hn::IfThenElse(failed, failedTest, limitV));
        if (run.points == kLanes) {
            hn::StoreU(counts, d16, run.out);
        } else {
            HWY_ALIGN std::int16_t buffer[kLanes];
            hn::Store(counts, d16, buffer);
            std::copy_n(buffer, run.points, run.out);
        }
        --runsActive;
    };

    // Loads the next run into vector v, or leaves it without one. A new run
    // first makes kScreenSteps steps on its own, so that a run whose points
    // all escape at once (common at the edges of a view) is done without
    // waiting for the next checkpoint, and the next one is loaded.
    const VF four = hn::Set(df, 4.0f);
    auto startRun = [&](auto v) {
        for (;;) {
            Run& run = runs[v];
            float imag = 0;
            if (!feed.next(run, imag)) {
                run = Run{};
                run.reals = kNoPoints;
                hn::Store(hn::Zero(df), df, imags[v]);
                x[v] = y[v] = hn::Zero(df);
                escaped[v] = zero;
                return;
            }
            ++runsActive;
            run.firstTestClock = clock + kScreenSteps;
            run.nextSave = kFirstSave;
            const VF a = hn::LoadU(df, run.reals);
            const VF b = hn::Set(df, imag);
            hn::Store(b, df, imags[v]);
            if constexpr (kCycleCheck) {
                hn::Store(hn::BitCast(di, a), di, savedX[v]);
                hn::Store(hn::BitCast(di, b), di, savedY[v]);
                cycled[v] = hn::Lt(one, zero);
            }
            VF sx = a;
            VF sy = b;
            VI se = zero;
            VI now = hn::Set(di, run.firstTestClock);
            for (std::int32_t step = 0; step < kScreenSteps; ++step) {
                Step(df, sx, sy, se, a, b, now, four);
                now = hn::Sub(now, one);
            }
            x[v] = sx;
            y[v] = sy;
            escaped[v] = se;
            const MI failed = hn::Gt(se, zero);
            if (kScreenSteps < limit && !hn::AllTrue(di, failed)) return;
            finishRun(v, failed);
        }
    };

    ForEachVector([&](auto v) { startRun(v); });

    // Whether the next block may skip the per-step test (see FastStep).
    bool calm = false;
    std::uint32_t checksUntilCycleTest = kChecksPerCycleTest;
    std::uint32_t cycleTestInterval = kChecksPerCycleTest;
    std::uint32_t fruitlessCycleTests = 0;
    const VI bit30 = hn::Set(di, kTwoOrMoreBit);
    while (runsActive != 0) {
        bool exact = true;
        if (calm) {
            VF cx[kVectors];
            VF cy[kVectors];
            VI seen = zero;
            ForEachVector([&](auto v) {
                cx[v] = x[v];
                cy[v] = y[v];
            });
            for (std::int32_t step = 0; step < kStepsPerCheck; ++step) {
                ForEachVector([&](auto v) {
                    FastStep(df, cx[v], cy[v], seen, hn::LoadU(df, runs[v].reals), hn::Load(df, imags[v]));
                });
            }
            if (hn::AllFalse(di, hn::TestBit(seen, bit30))) {
                // No lane can have failed a test in these steps.
                ForEachVector([&](auto v) {
                    x[v] = cx[v];
                    y[v] = cy[v];
                });
                exact = false;
            }
            // Otherwise the steps are made again, with the test.
        }
        if (exact) {
            VI now = hn::Set(di, clock);
            // Local copies that nothing else refers to, so that the compiler
            // keeps them in registers through the steps.
            VF cx[kVectors];
            VF cy[kVectors];
            VI ce[kVectors];
            ForEachVector([&](auto v) {
                cx[v] = x[v];
                cy[v] = y[v];
                ce[v] = escaped[v];
            });
            for (std::int32_t step = 0; step < kStepsPerCheck; ++step) {
                ForEachVector([&](auto v) {
                    Step(df, cx[v], cy[v], ce[v], hn::LoadU(df, runs[v].reals), hn::Load(df, imags[v]), now,
                         four);
                });
                now = hn::Sub(now, one);
            }
            ForEachVector([&](auto v) {
                x[v] = cx[v];
                y[v] = cy[v];
                escaped[v] = ce[v];
            });
        }
        clock -= kStepsPerCheck;

        // Checkpoint: a run is finished when each of its lanes has failed a
        // test or repeated a state, or when it has made `limit` tests.
        bool cycleTest = false;
        bool repetitionFound = false;
        if (kCycleCheck && --checksUntilCycleTest == 0) {
            cycleTest = true;
            checksUntilCycleTest = cycleTestInterval;
        }
        bool anyFailed = false;
        ForEachVector([&](auto v) {
            Run& run = runs[v];
            if (run.points == 0) return;
            const std::int32_t steps = run.firstTestClock - clock;
            const MI failed = hn::Gt(escaped[v], zero);
            MI finished = failed;
            if constexpr (kCycleCheck) {
                if (cycleTest) {
                    // The cycle test. The map is deterministic: a state equal
                    // bit for bit to an earlier one repeats every state after
                    // it, forever. All states from the saved one up to the
                    // current one were tested and passed (in a lane that has
                    // not failed), so no later test can fail: the count is
                    // the limit, exactly what iterating on would give. Bits,
                    // not float equality, so that -0 and +0, or NaNs, never
                    // pass for the same state. (Lanes that failed iterate on
                    // meaningless values, which may well repeat: they are left
                    // out.) Written without branches on the data, which would
                    // be mispredicted.
                    const VI xBits = hn::BitCast(di, x[v]);
                    const VI yBits = hn::BitCast(di, y[v]);
                    const VI sx = hn::Load(di, savedX[v]);
                    const VI sy = hn::Load(di, savedY[v]);
                    const MI repeated = hn::And(hn::AndNot(failed, hn::Eq(xBits, sx)), hn::Eq(yBits, sy));
                    repetitionFound |= !hn::AllFalse(di, hn::AndNot(cycled[v], repeated));
                    cycled[v] = hn::Or(cycled[v], repeated);
                    // Brent's schedule: save after 16, 32, 64, ... steps.
                    const bool save = steps >= run.nextSave;
                    const MI saveNow = hn::MaskFromVec(hn::Set(di, save ? -1 : 0));
                    hn::Store(hn::IfThenElse(saveNow, xBits, sx), di, savedX[v]);
                    hn::Store(hn::IfThenElse(saveNow, yBits, sy), di, savedY[v]);
                    run.nextSave <<= save ? 1 : 0;
                }
                finished = hn::Or(failed, cycled[v]);
            }
            if (steps >= limit || hn::AllTrue(di, finished)) {
                finishRun(v, failed);
                startRun(v);
            } else if (!hn::AllFalse(di, failed)) {
                anyFailed = true;
            }
        });
        if (cycleTest) {
            if (repetitionFound) {
                cycleTestInterval = kChecksPerCycleTest;
                fruitlessCycleTests = 0;
            } else if (++fruitlessCycleTests == kFruitlessTestsBeforeBackingOff) {
                cycleTestInterval = std::min(2 * cycleTestInterval, kMaxChecksPerCycleTest);
                fruitlessCycleTests = 0;
            }
        }
        // Try skipping the test when no lane has failed or is near escaping.
        if (exact && !anyFailed) {
            VI squares = zero;
            ForEachVector([&](auto v) {
                squares = hn::Or(squares, hn::Or(hn::BitCast(di, hn::Mul(x[v], x[v])),
                                                 hn::BitCast(di, hn::Mul(y[v], y[v]))));
            });
            calm = hn::AllFalse(di, hn::TestBit(squares, bit30));
        } else if (anyFailed) {
            calm = false;
        }

        if (clock < kClockStart - kClockShift) {
            // Move the clock and every clock value kept (escaped values of 0
            // mean "none" and stay).
            clock += kClockShift;
            const VI shift = hn::Set(di, kClockShift);
            ForEachVector([&](auto v) {
                runs[v].firstTestClock += kClockShift;
                escaped[v] = hn::IfThenElse(hn::Gt(escaped[v], zero), hn::Add(escaped[v], shift), zero);
            });
        }
    }
}

void IteratePlain(const Job* job) { IterateRuns<false>(*job); }
void IterateWithCycleCheck(const Job* job) { IterateRuns<true>(*job); }
const char* TargetNameOfThisVariant() { return hwy::TargetName(HWY_TARGET); }

}  // namespace HWY_NAMESPACE
}  // namespace mandel::fastkernel
HWY_AFTER_NAMESPACE();

#if HWY_ONCE

#include <string>
#include <vector>

#include "fast_targets.h"

namespace mandel {
namespace fastkernel {

HWY_EXPORT(IteratePlain);
HWY_EXPORT(IterateWithCycleCheck);
HWY_EXPORT(TargetNameOfThisVariant);

WorkerFunction selectWorker(bool cycleCheck) {
    // The first dynamic call settles the choice of target; afterwards the
    // dispatch tables give the chosen variant directly.
    (void)HWY_DYNAMIC_DISPATCH(TargetNameOfThisVariant)();
    return cycleCheck ? &HWY_DYNAMIC_DISPATCH(IterateWithCycleCheck)
                      : &HWY_DYNAMIC_DISPATCH(IteratePlain);
}

}  // namespace fastkernel

std::vector<SimdTarget> availableSimdTargets() {
    std::vector<SimdTarget> targets;
    for (const std::int64_t id : hwy::SupportedAndGeneratedTargets())
        targets.push_back({id, hwy::TargetName(id)});
    return targets;
}

std::string activeSimdTarget() { return HWY_DYNAMIC_DISPATCH(fastkernel::TargetNameOfThisVariant)(); }

ForcedSimdTarget::ForcedSimdTarget(const SimdTarget& target) {
    hwy::SetSupportedTargetsForTest(target.id);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
}

ForcedSimdTarget::~ForcedSimdTarget() {
    hwy::SetSupportedTargetsForTest(0);
    hwy::GetChosenTarget().Update(hwy::SupportedTargets());
}

}  // namespace mandel

#endif  // HWY_ONCE
