// The SIMD escape-count loop, compiled once per instruction set by Highway's
// foreach_target and chosen at run time (HWY_DYNAMIC_DISPATCH).
//
// Each lane iterates one point with exactly mandel's operations, one
// single-precision rounding each, nothing fused (the engine is compiled with
// -ffp-contract=off; GCC would otherwise fuse Mul and Add into FMA, on x86
// and on Arm alike):
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
//
// The pieces, in the order a worker uses them: RunFeed hands out the runs;
// RunWorker::startRun loads one into a vector and screens it; a block of
// steps (calmBlock or testedBlock) advances every vector; the checkpoint
// finishes and replaces runs and makes the cycle test when
// CycleTestSchedule says so; shiftClock keeps the step clock in range.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "kernel/fast_kernel.cpp"
// Scalable vectors (Arm SVE and SVE2) are left out. Their types have no size
// known at compile time, so they can be neither array elements nor class
// members, which a worker's several vector states are; and a run of points is
// sized by a lane count known at compile time. Every Arm processor with SVE
// also has NEON, whose variant it runs instead.
#define HWY_DISABLED_TARGETS (HWY_SVE | HWY_SVE2 | HWY_SVE_256 | HWY_SVE2_128)
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <utility>

#include "kernel/fast_kernel.h"

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

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using D16 = hn::Rebind<std::int16_t, DI>;
using VF = hn::Vec<DF>;
using VI = hn::Vec<DI>;
using MI = hn::Mask<DI>;
constexpr DF df;
constexpr DI di;
constexpr D16 d16;

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
// and a vector's whole state is three registers. What a lane computes after
// its first failure does not matter.
struct Orbit {
    // Written out so that they are compiled for this instruction set: the
    // vector types' own constructors must be inlined into such code.
    HWY_INLINE Orbit() {}
    HWY_INLINE Orbit(VF x0, VF y0, VI escaped0) : x(x0), y(y0), escaped(escaped0) {}

    VF x;
    VF y;
    VI escaped;
};
using Orbits = Orbit[kVectors];

// Copies field by field: GCC keeps a local copy made so in registers, but
// copies whole structs through memory.
HWY_INLINE void CopyOrbit(const Orbit& from, Orbit& to) {
    to.x = from.x;
    to.y = from.y;
    to.escaped = from.escaped;
}
HWY_INLINE void CopyOrbits(const Orbits& from, Orbits& to) {
    ForEachVector([&](auto v) { CopyOrbit(from[v], to[v]); });
}

// One step of every lane of a vector, with the test.
HWY_INLINE void Step(Orbit& o, VF a, VF b, VI now) {
    const VF xx = hn::Mul(o.x, o.x);
    const VF yy = hn::Mul(o.y, o.y);
    const MI fails = hn::RebindMask(di, hn::Gt(hn::Add(xx, yy), hn::Set(df, 4.0f)));
    o.escaped = hn::Max(o.escaped, hn::IfThenElseZero(fails, now));
    const VF t = hn::Sub(hn::Add(xx, a), yy);
    o.y = hn::Add(hn::Mul(hn::Add(o.x, o.x), o.y), b);
    o.x = t;
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
HWY_INLINE void FastStep(VF& x, VF& y, VI& seen, VF a, VF b) {
    const VF xx = hn::Mul(x, x);
    const VF yy = hn::Mul(y, y);
    seen = hn::Or(seen, hn::Or(hn::BitCast(di, xx), hn::BitCast(di, yy)));
    const VF t = hn::Sub(hn::Add(xx, a), yy);
    y = hn::Add(hn::Mul(hn::Add(x, x), y), b);
    x = t;
}

// Whether any lane of the vectors has reached 2 or more (or NaN) in `bits`.
HWY_INLINE bool AnyTwoOrMore(VI bits) { return !hn::AllFalse(di, hn::TestBit(bits, hn::Set(di, kTwoOrMoreBit))); }

// The points of one vector: up to kLanes consecutive points of a row. Lanes
// past the end of the row iterate padding, which escapes at once.
struct Run {
    const float* reals = nullptr;  // kLanes real parts (padded at the row end)
    std::int16_t* out = nullptr;   // where the counts go
    std::size_t points = 0;        // how many lanes are points of the row (0: no run)
    std::int32_t firstTestClock = 0;
    std::int32_t nextSave = 0;  // steps after which the cycle test saves next
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

// Which checkpoints make the cycle test: every kChecksPerCycleTest-th, less
// often while the tests keep finding nothing.
class CycleTestSchedule {
public:
    // Called at every checkpoint: whether this one makes the test.
    bool due() {
        if (--checksUntilTest_ != 0) return false;
        checksUntilTest_ = interval_;
        return true;
    }

    // After a test: whether it found a state that repeated.
    void record(bool repetitionFound) {
        if (repetitionFound) {
            interval_ = kChecksPerCycleTest;
            fruitlessTests_ = 0;
        } else if (++fruitlessTests_ == kFruitlessTestsBeforeBackingOff) {
            interval_ = std::min(2 * interval_, kMaxChecksPerCycleTest);
            fruitlessTests_ = 0;
        }
    }

private:
    std::uint32_t checksUntilTest_ = kChecksPerCycleTest;
    std::uint32_t interval_ = kChecksPerCycleTest;
    std::uint32_t fruitlessTests_ = 0;
};

// One thread's loop over its runs: kVectors vectors, each with a run, its
// orbit and (with the cycle check) the state saved for the cycle test.
// Vector v is always addressed with a constant v (see ForEachVector).
template <bool kCycleCheck>
class RunWorker {
public:
    explicit RunWorker(const Job& job) : feed_(job), limit_(job.limit) {}

    void iterateAll() {
        ForEachVector([&](auto v) { startRun(v); });
        while (runsActive_ != 0) {
            const bool tested = !calm_ || !calmBlock();
            if (tested) testedBlock();
            clock_ -= kStepsPerCheck;
            const bool anyFailed = checkpoint();
            // Try skipping the test when no lane has failed or is near escaping.
            if (tested && !anyFailed) {
                calm_ = !anyNearEscape();
            } else if (anyFailed) {
                calm_ = false;
            }
            if (clock_ < kClockStart - kClockShift) shiftClock();
        }
    }

private:
    // Vector v's points: their real parts, and the imaginary part of their row.
    HWY_INLINE VF reals(auto v) const { return hn::LoadU(df, runs_[v].reals); }
    HWY_INLINE VF imags(auto v) const { return hn::Load(df, imags_[v]); }

    // Loads runs into vector v until one remains unfinished after its first
    // kScreenSteps steps, or leaves the vector without a run when none is
    // left. The screen steps finish a run whose points all escape at once
    // (common at the edges of a view) without waiting for a checkpoint.
    // Called once per run; out of line, it keeps the main loop small enough
    // for the compiler to hold the orbits in registers during the blocks.
    HWY_NOINLINE void startRun(auto v) {
        while (loadRun(v)) {
            const MI failed = screenRun(v);
            if (kScreenSteps < limit_ && !hn::AllTrue(di, failed)) return;
            finishRun(v, failed);
        }
        clearVector(v);
    }

    // The next run into vector v, at the state before its first step; false
    // once every row is taken.
    HWY_INLINE bool loadRun(auto v) {
        Run& run = runs_[v];
        float imag = 0;
        if (!feed_.next(run, imag)) return false;
        ++runsActive_;
        run.firstTestClock = clock_ + kScreenSteps;
        run.nextSave = kFirstSave;
        const VF a = reals(v);
        const VF b = hn::Set(df, imag);
        hn::Store(b, df, imags_[v]);
        if constexpr (kCycleCheck) {
            hn::Store(hn::BitCast(di, a), di, savedX_[v]);
            hn::Store(hn::BitCast(di, b), di, savedY_[v]);
            cycled_[v] = hn::MaskFromVec(hn::Zero(di));  // no lane has repeated
        }
        orbits_[v] = Orbit(a, b, hn::Zero(di));
        return true;
    }

    // The first kScreenSteps steps of vector v's new run, on their own; the
    // lanes that failed a test.
    HWY_INLINE MI screenRun(auto v) {
        Orbit o;
        CopyOrbit(orbits_[v], o);
        const VF a = reals(v);
        const VF b = imags(v);
        VI now = hn::Set(di, runs_[v].firstTestClock);
        for (std::int32_t step = 0; step < kScreenSteps; ++step) {
            Step(o, a, b, now);
            now = hn::Sub(now, hn::Set(di, 1));
        }
        CopyOrbit(o, orbits_[v]);
        return hn::Gt(o.escaped, hn::Zero(di));
    }

    // Vector v without a run: it iterates zero, which never fails a test.
    HWY_INLINE void clearVector(auto v) {
        runs_[v] = Run{};
        runs_[v].reals = kNoPoints;
        hn::Store(hn::Zero(df), df, imags_[v]);
        orbits_[v] = Orbit(hn::Zero(df), hn::Zero(df), hn::Zero(di));
    }

    // Stores the counts of vector v's run. A lane whose test failed counts
    // the number of that test, at most the limit; any other lane the limit.
    HWY_INLINE void finishRun(auto v, MI failed) {
        const Run& run = runs_[v];
        const VI limit = hn::Set(di, limit_);
        const VI firstTest = hn::Add(hn::Set(di, run.firstTestClock), hn::Set(di, 1));
        const VI failedTest = hn::Min(hn::Sub(firstTest, orbits_[v].escaped), limit);
        const auto counts = hn::DemoteTo(d16, hn::IfThenElse(failed, failedTest, limit));
        if (run.points == kLanes) {
            hn::StoreU(counts, d16, run.out);
        } else {
            HWY_ALIGN std::int16_t buffer[kLanes];
            hn::Store(counts, d16, buffer);
            std::copy_n(buffer, run.points, run.out);
        }
        --runsActive_;
    }

    // kStepsPerCheck steps of every vector without the test (see FastStep),
    // on a copy of the orbits. Keeps them and returns true if no lane can
    // have failed a test; otherwise the orbits are left as they were.
    HWY_INLINE bool calmBlock() {
        // Copies that nothing else refers to, kept in registers; the counts
        // do not change here.
        VF x[kVectors];
        VF y[kVectors];
        ForEachVector([&](auto v) {
            x[v] = orbits_[v].x;
            y[v] = orbits_[v].y;
        });
        VI seen = hn::Zero(di);
        for (std::int32_t step = 0; step < kStepsPerCheck; ++step) {
            ForEachVector([&](auto v) { FastStep(x[v], y[v], seen, reals(v), imags(v)); });
        }
        if (AnyTwoOrMore(seen)) return false;
        ForEachVector([&](auto v) {
            orbits_[v].x = x[v];
            orbits_[v].y = y[v];
        });
        return true;
    }

    // kStepsPerCheck steps of every vector with the test.
    HWY_INLINE void testedBlock() {
        Orbits o;  // a copy nothing else refers to, kept in registers
        CopyOrbits(orbits_, o);
        VI now = hn::Set(di, clock_);
        for (std::int32_t step = 0; step < kStepsPerCheck; ++step) {
            ForEachVector([&](auto v) { Step(o[v], reals(v), imags(v), now); });
            now = hn::Sub(now, hn::Set(di, 1));
        }
        CopyOrbits(o, orbits_);
    }

    // A run is finished when each of its lanes has failed a test or repeated
    // a state, or when it has made `limit` tests; it is then replaced by the
    // next one. Returns whether a lane of a run that goes on has failed.
    HWY_INLINE bool checkpoint() {
        const bool cycleTest = kCycleCheck && cycleTests_.due();
        bool repetitionFound = false;
        bool anyFailed = false;
        ForEachVector([&](auto v) {
            if (runs_[v].points == 0) return;
            const MI failed = hn::Gt(orbits_[v].escaped, hn::Zero(di));
            MI finished = failed;
            if constexpr (kCycleCheck) {
                if (cycleTest) repetitionFound |= testForCycle(v, failed);
                finished = hn::Or(failed, cycled_[v]);
            }
            if (runs_[v].firstTestClock - clock_ >= limit_ || hn::AllTrue(di, finished)) {
                finishRun(v, failed);
                startRun(v);
            } else if (!hn::AllFalse(di, failed)) {
                anyFailed = true;
            }
        });
        if (cycleTest) cycleTests_.record(repetitionFound);
        return anyFailed;
    }

    // The cycle test of vector v. The map is deterministic: a state equal bit
    // for bit to an earlier one repeats every state after it, forever. All
    // states from the saved one up to the current one were tested and passed
    // (in a lane that has not failed), so no later test can fail: the count
    // is the limit, exactly what iterating on would give. Bits, not float
    // equality, so that -0 and +0, or NaNs, never pass for the same state.
    // (Lanes that failed iterate on meaningless values, which may well
    // repeat: they are left out.) Written without branches on the data,
    // which would be mispredicted. Returns whether a lane newly repeated.
    HWY_INLINE bool testForCycle(auto v, MI failed) {
        Run& run = runs_[v];
        const VI xBits = hn::BitCast(di, orbits_[v].x);
        const VI yBits = hn::BitCast(di, orbits_[v].y);
        const VI savedX = hn::Load(di, savedX_[v]);
        const VI savedY = hn::Load(di, savedY_[v]);
        const MI repeated = hn::And(hn::AndNot(failed, hn::Eq(xBits, savedX)), hn::Eq(yBits, savedY));
        const bool newlyRepeated = !hn::AllFalse(di, hn::AndNot(cycled_[v], repeated));
        cycled_[v] = hn::Or(cycled_[v], repeated);
        // Brent's schedule: save after 16, 32, 64, ... steps.
        const bool save = run.firstTestClock - clock_ >= run.nextSave;
        const MI saveNow = hn::MaskFromVec(hn::Set(di, save ? -1 : 0));
        hn::Store(hn::IfThenElse(saveNow, xBits, savedX), di, savedX_[v]);
        hn::Store(hn::IfThenElse(saveNow, yBits, savedY), di, savedY_[v]);
        run.nextSave <<= save ? 1 : 0;
        return newlyRepeated;
    }

    // Whether some lane's x² or y² is 2 or more, so that a block without the
    // test would probably have to be made again.
    HWY_INLINE bool anyNearEscape() const {
        VI squares = hn::Zero(di);
        ForEachVector([&](auto v) {
            const Orbit& o = orbits_[v];
            squares = hn::Or(squares, hn::Or(hn::BitCast(di, hn::Mul(o.x, o.x)), hn::BitCast(di, hn::Mul(o.y, o.y))));
        });
        return AnyTwoOrMore(squares);
    }

    // Moves the clock and every clock value kept back up by kClockShift
    // (escaped values of 0 mean "none" and stay).
    HWY_INLINE void shiftClock() {
        clock_ += kClockShift;
        const VI shift = hn::Set(di, kClockShift);
        ForEachVector([&](auto v) {
            runs_[v].firstTestClock += kClockShift;
            const VI escaped = orbits_[v].escaped;
            orbits_[v].escaped = hn::IfThenElseZero(hn::Gt(escaped, hn::Zero(di)), hn::Add(escaped, shift));
        });
    }

    RunFeed feed_;
    const std::int32_t limit_;          // N, 1..32767
    std::int32_t clock_ = kClockStart;  // the clock of the next step
    std::size_t runsActive_ = 0;
    bool calm_ = false;  // whether the next block may skip the test
    CycleTestSchedule cycleTests_;
    Run runs_[kVectors];
    HWY_ALIGN float imags_[kVectors][kLanes];  // the run's imaginary part, in every lane
    Orbits orbits_;
    // The cycle test: the saved state, as bits, and the lanes whose state
    // repeated (their count is the limit).
    HWY_ALIGN std::int32_t savedX_[kVectors][kLanes];
    HWY_ALIGN std::int32_t savedY_[kVectors][kLanes];
    MI cycled_[kVectors];
};

template <bool kCycleCheck>
void IterateRuns(const Job& job) {
    RunWorker<kCycleCheck> worker(job);
    worker.iterateAll();
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

#include "kernel/fast_targets.h"

namespace mandel {
namespace fastkernel {

HWY_EXPORT(IteratePlain);
HWY_EXPORT(IterateWithCycleCheck);
HWY_EXPORT(TargetNameOfThisVariant);

WorkerFunction selectWorker(bool cycleCheck) {
    // The first dynamic call settles the choice of target; afterwards the
    // dispatch tables give the chosen variant directly.
    (void)HWY_DYNAMIC_DISPATCH(TargetNameOfThisVariant)();
#ifdef HWY_DYNAMIC_POINTER
    return cycleCheck ? HWY_DYNAMIC_POINTER(IterateWithCycleCheck) : HWY_DYNAMIC_POINTER(IteratePlain);
#else
    // Older Highway has no HWY_DYNAMIC_POINTER: the address of the function
    // that HWY_DYNAMIC_DISPATCH would call.
    return cycleCheck ? &HWY_DYNAMIC_DISPATCH(IterateWithCycleCheck) : &HWY_DYNAMIC_DISPATCH(IteratePlain);
#endif
}

// Unqualified: with a single compiled target, HWY_DYNAMIC_DISPATCH names the
// function in that target's namespace directly.
static std::string activeTargetName() { return HWY_DYNAMIC_DISPATCH(TargetNameOfThisVariant)(); }

}  // namespace fastkernel

std::vector<SimdTarget> availableSimdTargets() {
    std::vector<SimdTarget> targets;
    for (const std::int64_t id : hwy::SupportedAndGeneratedTargets()) targets.push_back({id, hwy::TargetName(id)});
    return targets;
}

std::string activeSimdTarget() { return fastkernel::activeTargetName(); }

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
