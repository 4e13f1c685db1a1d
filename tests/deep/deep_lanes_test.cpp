// The SIMD lanes against the scalar perturbation step, on every instruction
// set this processor runs: each lane's state after its plain steps must be
// the scalar loop's bit for bit (a fused multiply-add anywhere, or one
// operation out of order, changes the bits), and whole drawings must give
// the same counts, the same iterations (plain and approximated) and the same
// continuous counts with the lanes and without them, with and without the
// approximation table (whose steps the lanes take in place).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "deep/bla_table.h"
#include "deep/deep_drawing.h"
#include "deep/dd_lanes.h"
#include "deep/deep_geometry.h"
#include "deep/direct_double_double.h"
#include "deep/direct_iteration.h"
#include "deep/direct_lanes.h"
#include "deep/double_double_perturbation.h"
#include "deep/perturbation.h"
#include "deep/perturbation_lanes.h"
#include "deep/rescaled_lanes.h"
#include "deep/rescaled_perturbation.h"
#include "deep/row_worker.h"
#include "deep_test_locations.h"
#include "kernel/fast_targets.h"

namespace {

using mandel::DeepView;
using mandel::PerturbState;

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A view's geometry (in the extended range where asked), reference, pixel
// offsets and table, as a drawing makes them, and a row job over them.
struct Prepared {
    mandel::DeepGeometry geometry;
    std::unique_ptr<mandel::DeepReference> reference;
    mandel::PixelOffsets offsets;
    std::unique_ptr<mandel::BlaTable> bla;
    mandel::RowJob job;
};

std::unique_ptr<Prepared> prepare(const DeepView& view, bool extended) {
    auto p = std::make_unique<Prepared>();
    p->geometry = mandel::deepGeometry(view);
    if (extended) p->geometry.useExtendedRange();
    const mandel::DeepGeometry& g = p->geometry;
    p->reference = std::make_unique<mandel::DeepReference>(*g.centreRe, *g.centreIm, view.location.limit, extended,
                                                           g.spacing * mandel::ExtReal(0x1p-60), nullptr);
    p->offsets = mandel::pixelOffsets(view, g, g.centreRe->get(), g.centreIm->get());
    // As a drawing makes it (the double table's coefficients from the low parts).
    p->bla = std::make_unique<mandel::BlaTable>(
        p->reference->orbit(), g.spacing * mandel::ExtReal(4.0 * view.width), extended,
        mandel::kBlaTolerance, nullptr, mandel::kDoubleFirstLevel,
        extended ? nullptr : &p->reference->orbitLow());
    p->job.view = &view;
    p->job.geometry = &p->geometry;
    p->job.reference = p->reference.get();
    p->job.offsets = &p->offsets;
    return p;
}

// Pixels of the view's bottom row in the lanes, against perturbStep one step
// at a time, for 200 steps or until a lane stops for perturbStep; with
// `table`, both take the approximation table's steps.
void expectLanesFollowTheScalarStep(const DeepView& view, bool table = false) {
    const std::unique_ptr<Prepared> prepared = prepare(view, false);
    const mandel::RowJob& job = prepared->job;
    const mandel::DeepReference& reference = *prepared->reference;
    const mandel::BlaTable& bla = *prepared->bla;
    const std::size_t lanes = mandel::deepLaneCount();
    mandel::LaneJob laneJob{reference.lanePoints().data(), static_cast<std::int64_t>(reference.lanePoints().size()) - 1,
                            view.location.limit};
    if (table) laneJob.table = bla.doubles();
    mandel::LaneBatch batch;
    std::vector<mandel::PixelOffset<double>> dcs;
    std::vector<PerturbState<double>> scalar;
    for (std::size_t lane = 0; lane < lanes; ++lane) {
        dcs.push_back(mandel::doubleOffset(mandel::pixelOffset(job, static_cast<int>(3 * lane), view.height - 1)));
        scalar.push_back({dcs[lane].re, dcs[lane].im, dcs[lane].err, 1, 1});
    }
    for (std::size_t lane = 0; lane < lanes; ++lane) {
        batch.dzr[lane] = batch.dcr[lane] = dcs[lane].re;
        batch.dzi[lane] = batch.dci[lane] = dcs[lane].im;
        batch.e[lane] = batch.dcErr[lane] = dcs[lane].err;
        batch.dcAbs[lane] = dcs[lane].abs;
        batch.cBound[lane] = mandel::roundUp(dcs[lane].abs + dcs[lane].err);
        batch.tableOn[lane] = table && batch.cBound[lane] <= bla.doubles()->cMax;
        batch.fromOffset[lane] = mandel::offsetShare(batch.cBound[lane], bla.doubles()->cMax);
        batch.m[lane] = batch.i[lane] = 1;
    }
    const std::int64_t steps = mandel::advanceLanes(laneJob, batch, 200);
    EXPECT_GT(steps, 20) << mandel::activeSimdTarget();
    if (table) {
        EXPECT_GT(batch.approximationSteps, 0) << mandel::activeSimdTarget();
    }
    std::int64_t made = 0, skipped = 0;
    for (std::size_t lane = 0; lane < lanes; ++lane) {
        const mandel::BlaUse<double> use{table ? bla.doubles() : nullptr, &skipped};
        const mandel::PerturbRun<double> run(reference.orbit(), dcs[lane], view.location.limit, use);
        for (std::int64_t s = 0; s < steps; ++s) ASSERT_EQ(mandel::perturbStep(run, scalar[lane], made), 0);
        EXPECT_TRUE(sameBits(batch.dzr[lane], scalar[lane].dzr)) << mandel::activeSimdTarget() << " lane " << lane;
        EXPECT_TRUE(sameBits(batch.dzi[lane], scalar[lane].dzi)) << mandel::activeSimdTarget() << " lane " << lane;
        EXPECT_TRUE(sameBits(batch.e[lane], scalar[lane].e)) << mandel::activeSimdTarget() << " lane " << lane;
        EXPECT_EQ(batch.m[lane], scalar[lane].m);
        EXPECT_EQ(batch.i[lane], scalar[lane].i);
    }
}

// The same for the rescaled lanes: pixels of a view drawn in rescaled
// doubles, against rescaledIteration (its plain and approximation steps and
// its rescale) one iteration at a time, for 200 iterations or until a lane
// stops for the scalar loop, from the state after the first iteration.
void expectRescaledLanesFollowTheScalarLoop(const DeepView& view, bool table = true) {
    const std::unique_ptr<Prepared> prepared = prepare(view, true);
    const mandel::RowJob& job = prepared->job;
    const mandel::DeepReference& reference = *prepared->reference;
    const mandel::BlaLevels<mandel::ExtReal>* steps = table ? prepared->bla->extendedRange() : nullptr;
    const mandel::RescaledLaneJob laneJob{reference.lanePoints().data(),
                                          static_cast<std::int64_t>(reference.orbit().size()) - 1, view.location.limit,
                                          steps};
    mandel::RescaledLaneBatch batch;
    std::vector<mandel::PixelOffset<mandel::ExtReal>> dcs;
    std::vector<mandel::RescaledPixel> scalar;
    std::int64_t skipped = 0;
    const mandel::BlaUse<mandel::ExtReal> use{steps, &skipped};
    std::int64_t made = 0;
    for (std::size_t lane = 0; lane < mandel::deepLaneCount(); ++lane) {
        dcs.push_back(mandel::pixelOffset(job, static_cast<int>(3 * lane), view.height - 1));
        scalar.push_back(mandel::rescaledPixel(dcs[lane], {dcs[lane].re, dcs[lane].im, dcs[lane].err, 1, 1}));
        mandel::RescaledPixel& p = scalar[lane];
        // The first iteration in the scalar loop: beside i its approximation
        // step does not fit a double and takes the extended range.
        const mandel::PerturbRun<mandel::ExtReal> run(reference.orbit(), dcs[lane], view.location.limit, use);
        ASSERT_EQ(mandel::rescaledIteration(run, reference.lanePoints().data(), p, made, nullptr), 0);
        batch.state.set(lane, p);
        batch.offsetExponent[lane] = p.offsetExponent;
    }
    std::vector<std::unique_ptr<mandel::PerturbRun<mandel::ExtReal>>> runs;
    for (std::size_t lane = 0; lane < dcs.size(); ++lane) {
        runs.push_back(std::make_unique<mandel::PerturbRun<mandel::ExtReal>>(reference.orbit(), dcs[lane],
                                                                             view.location.limit, use));
        batch.runs[lane] = runs.back().get();
        batch.tableOn[lane] = runs.back()->table != nullptr;
    }
    const std::int64_t laneSteps = mandel::advanceRescaledLanes(laneJob, batch, 200);
    EXPECT_GT(laneSteps, 20) << mandel::activeSimdTarget();
    if (table) {
        EXPECT_GT(batch.approximationSteps, 0) << mandel::activeSimdTarget();
    }
    for (std::size_t lane = 0; lane < dcs.size(); ++lane) {
        const mandel::PerturbRun<mandel::ExtReal> run(reference.orbit(), dcs[lane], view.location.limit, use);
        mandel::RescaledPixel lanes = batch.state.pixel(lane, batch.offsetExponent[lane]);
        if (batch.rescaleDue[lane] != 0) mandel::rescaleIfDue(lanes, dcs[lane]);
        // As many iterations as the lane made (one fewer where it stopped
        // before a step the scalar loop must make).
        while (scalar[lane].s.i < lanes.s.i)
            ASSERT_EQ(mandel::rescaledIteration(run, reference.lanePoints().data(), scalar[lane], made, nullptr), 0);
        const std::string where = std::string(mandel::activeSimdTarget()) + " lane " + std::to_string(lane);
        EXPECT_TRUE(sameBits(lanes.s.wr, scalar[lane].s.wr)) << where;
        EXPECT_TRUE(sameBits(lanes.s.wi, scalar[lane].s.wi)) << where;
        EXPECT_TRUE(sameBits(lanes.s.e, scalar[lane].s.e)) << where;
        EXPECT_TRUE(sameBits(lanes.d.err, scalar[lane].d.err)) << where;
        EXPECT_EQ(lanes.s.k, scalar[lane].s.k) << where;
        EXPECT_EQ(lanes.s.i, scalar[lane].s.i) << where;
    }
}

struct Drawn {
    std::vector<std::int32_t> counts;
    std::vector<float> excess;
    mandel::DeepStats stats;
};

Drawn draw(const DeepView& view, bool lanes, unsigned threads, bool bla, bool direct, bool rescaled = false) {
    mandel::DeepDrawing drawing(view);
    mandel::DeepOptions options;
    options.bla = bla;
    options.direct = direct;
    options.lanes = lanes;
    options.rescaled = rescaled;
    options.threads = threads;
    Drawn out;
    out.counts.resize(static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height));
    out.excess.resize(out.counts.size());
    EXPECT_TRUE(drawing.computeRows(0, view.height, out.counts, options, {}, {out.excess}));
    out.stats = drawing.stats();
    return out;
}

TEST(DeepLanes, EveryInstructionSetFollowsTheScalarStepBitForBit) {
    using namespace mandel::test;
    const DeepView minibrot{{kMinibrot1e29.realMin, kMinibrot1e29.imagMin, "1e-29", 3000}, 64, 64};
    const DeepView seahorse{{"-0.7485", "0.0645", "1e-3", 2000}, 64, 48};
    for (const mandel::SimdTarget& target : mandel::availableSimdTargets()) {
        const mandel::ForcedSimdTarget forced(target);
        expectLanesFollowTheScalarStep(minibrot);
        expectLanesFollowTheScalarStep(minibrot, true);
        expectLanesFollowTheScalarStep(seahorse);
    }
}

TEST(DeepLanes, RescaledLanesFollowTheScalarLoopBitForBit) {
    using namespace mandel::test;
    const DeepView minibrot{{kMinibrot1e29.realMin, kMinibrot1e29.imagMin, "1e-29", 3000}, 64, 64};
    const DeepView deep{{kMinibrot1e300.realMin, kMinibrot1e300.imagMin, "1e-300", 8000}, 64, 64};
    // Beside i at 1e-315 the unit is a subnormal double, at 1e-650 below double's range.
    const auto besideI = [](int digits, std::int64_t limit) {
        const std::string exponent = std::to_string(digits);
        return DeepView{{"-5e-" + std::to_string(digits + 1), "0." + std::string(static_cast<std::size_t>(digits), '9') + "5",
                         "1e-" + exponent, limit},
                        64,
                        64};
    };
    for (const mandel::SimdTarget& target : mandel::availableSimdTargets()) {
        const mandel::ForcedSimdTarget forced(target);
        expectRescaledLanesFollowTheScalarLoop(minibrot);
        expectRescaledLanesFollowTheScalarLoop(deep);
        expectRescaledLanesFollowTheScalarLoop(besideI(315, 1000));
        expectRescaledLanesFollowTheScalarLoop(besideI(650, 2000));
        // Without the table the lanes make plain steps in those units too,
        // whose bounds' tiny terms are taken without subnormal arithmetic.
        expectRescaledLanesFollowTheScalarLoop(deep, false);
        expectRescaledLanesFollowTheScalarLoop(besideI(315, 1000), false);
        expectRescaledLanesFollowTheScalarLoop(besideI(650, 2000), false);
    }
}

// The direct double lanes against directStep for up to 400 steps, lane k
// starting at iteration 1 + k·stagger: z and the bound bit for bit, and where
// the limit comes first, the lanes stop at the step where the lane furthest
// along reaches it, and that lane asks for attention.
static void expectDirectLanesFollowTheScalarStep(std::int64_t limit, std::int64_t stagger) {
    const std::size_t lanes = mandel::directLaneCount();
    mandel::DirectBatch batch;
    std::vector<mandel::DirectPoint> points;
    std::vector<mandel::DirectState> scalar;
    for (std::size_t lane = 0; lane < lanes; ++lane) {
        mandel::DirectPoint c;
        c.cr = lane == 0 ? -1.0 : -0.7495 + 0.0001 * static_cast<double>(lane);
        c.ci = lane == 0 ? 0.0 : 0.0125 + 0.00003 * static_cast<double>(lane);
        c.cAbs = std::fabs(c.cr) + std::fabs(c.ci);
        c.cErr = 0x1p-60;
        c.fixed = mandel::directFixedBound(c.cErr, c.cAbs);
        points.push_back(c);
        scalar.push_back(mandel::directStart(c));
        scalar.back().i = 1 + static_cast<std::int64_t>(lane) * stagger;
        batch.zr[lane] = batch.cr[lane] = c.cr;
        batch.zi[lane] = batch.ci[lane] = c.ci;
        batch.e[lane] = c.cErr;
        batch.fixed[lane] = c.fixed;
        batch.i[lane] = scalar.back().i;
    }
    const std::int64_t furthest = scalar.back().i;
    const std::int64_t expected = std::min<std::int64_t>(400, limit - furthest);
    const std::int64_t steps = mandel::advanceDirectLanes(batch, limit, 400);
    const std::string target = mandel::activeSimdTarget();
    ASSERT_EQ(steps, expected) << target;
    EXPECT_EQ(batch.attention, expected < 400 ? std::uint64_t{1} << (lanes - 1) : 0) << target;
    for (std::size_t lane = 0; lane < lanes; ++lane) {
        for (std::int64_t s = 0; s < steps; ++s) {
            double squares, zAbs;
            ASSERT_EQ(mandel::directTest(scalar[lane], limit, squares, zAbs), 0);
            mandel::directStep(points[lane], squares, zAbs, scalar[lane]);
        }
        const std::string where = target + " lane " + std::to_string(lane);
        EXPECT_TRUE(sameBits(batch.zr[lane], scalar[lane].zr)) << where;
        EXPECT_TRUE(sameBits(batch.zi[lane], scalar[lane].zi)) << where;
        EXPECT_TRUE(sameBits(batch.e[lane], scalar[lane].e)) << where;
        EXPECT_EQ(batch.i[lane], scalar[lane].i) << where;
    }
}

// Also for a lane whose orbit passes through 0 (c = −1: the squares underflow).
TEST(DeepLanes, DirectDoubleLanesFollowTheScalarStepBitForBit) {
    for (const mandel::SimdTarget& target : mandel::availableSimdTargets()) {
        const mandel::ForcedSimdTarget forced(target);
        expectDirectLanesFollowTheScalarStep(100000, 0);
        expectDirectLanesFollowTheScalarStep(300, 10);
    }
}

// Points inside the set near its boundary (long orbits that neither escape
// nor settle at once), with low parts, in the double-double lanes against
// directDdStep: both halves of z and the bound bit for bit.
TEST(DeepLanes, DirectDoubleDoubleLanesFollowTheScalarStepBitForBit) {
    for (const mandel::SimdTarget& target : mandel::availableSimdTargets()) {
        const mandel::ForcedSimdTarget forced(target);
        const std::size_t lanes = mandel::directLaneCount();
        mandel::DirectDdBatch batch;
        std::vector<mandel::DirectDdPoint> points;
        std::vector<mandel::DirectDdState> scalar;
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            mandel::DirectDdPoint c;
            c.cr = {-0.7495 + 0.0001 * static_cast<double>(lane), 0x1p-60 / 3};
            c.ci = {0.0125 + 0.00003 * static_cast<double>(lane), -0x1p-61 / 7};
            c.cAbs = mandel::magnitudeUp(c.cr, c.ci);
            c.cErr = 0x1p-100;
            points.push_back(c);
            scalar.push_back(mandel::directDdStart(c));
            batch.zrHi[lane] = batch.crHi[lane] = c.cr.hi;
            batch.zrLo[lane] = batch.crLo[lane] = c.cr.lo;
            batch.ziHi[lane] = batch.ciHi[lane] = c.ci.hi;
            batch.ziLo[lane] = batch.ciLo[lane] = c.ci.lo;
            batch.e[lane] = batch.cErr[lane] = c.cErr;
            batch.cAbs[lane] = c.cAbs;
            batch.i[lane] = 1;
        }
        const std::int64_t steps = mandel::advanceDirectDdLanes(batch, 100000, 400);
        EXPECT_EQ(steps, 400) << mandel::activeSimdTarget();
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            for (std::int64_t s = 0; s < steps; ++s) {
                double zAbs;
                ASSERT_EQ(mandel::directDdTest(scalar[lane], 100000, zAbs), 0);
                mandel::directDdStep(points[lane], zAbs, scalar[lane]);
            }
            const std::string where = std::string(mandel::activeSimdTarget()) + " lane " + std::to_string(lane);
            EXPECT_TRUE(sameBits(batch.zrHi[lane], scalar[lane].zr.hi)) << where;
            EXPECT_TRUE(sameBits(batch.zrLo[lane], scalar[lane].zr.lo)) << where;
            EXPECT_TRUE(sameBits(batch.ziHi[lane], scalar[lane].zi.hi)) << where;
            EXPECT_TRUE(sameBits(batch.ziLo[lane], scalar[lane].zi.lo)) << where;
            EXPECT_TRUE(sameBits(batch.e[lane], scalar[lane].e)) << where;
            EXPECT_EQ(batch.i[lane], scalar[lane].i) << where;
        }
    }
}

// Pixels of a deep view in the double-double lanes against doubleDoubleStep,
// round after round as the settling runs them: the lanes' plain and
// approximation steps bit for bit, and they stop exactly where
// doubleDoubleStep does something else (a rebase, an escape test that is not
// "stays"), which the scalar step then takes before the lanes go on.
void expectDdLanesFollowTheScalarStep(const DeepView& view, bool table) {
    const mandel::DeepGeometry geometry = mandel::deepGeometry(view);
    const mandel::DeepReference reference(*geometry.centreRe, *geometry.centreIm, view.location.limit, false,
                                          geometry.spacing * mandel::ExtReal(0x1p-60), nullptr);
    const mandel::PixelOffsets offsets =
        mandel::pixelOffsets(view, geometry, geometry.centreRe->get(), geometry.centreIm->get());
    const auto& orbit = reference.orbit();
    const auto& low = reference.orbitLow();
    bool cancelled = false;
    const mandel::DdBlaLevels levels =
        mandel::buildDdBlaLevels(orbit, low, geometry.spacing * mandel::ExtReal(4.0 * view.width), nullptr, cancelled,
                                 mandel::kDdBlaLooseTolerance);
    const mandel::DdBlaLevels* const tablePointer = table ? &levels : nullptr;
    const mandel::DdLaneJob job{orbit.data(), low.data(), static_cast<std::int64_t>(orbit.size()) - 1,
                                view.location.limit, tablePointer};
    const std::size_t lanes = mandel::deepLaneCount();
    mandel::DdLaneBatch batch;
    std::vector<mandel::DoubleDoubleOffset> dcs(lanes);
    std::vector<mandel::DoubleDoubleState> scalar(lanes);
    int nextPixel = 0;
    const auto keep = [&](std::size_t lane) {
        const mandel::DoubleDoubleState& st = scalar[lane];
        batch.dzrHi[lane] = st.dzr.hi, batch.dzrLo[lane] = st.dzr.lo;
        batch.dziHi[lane] = st.dzi.hi, batch.dziLo[lane] = st.dzi.lo;
        batch.e[lane] = st.e, batch.m[lane] = st.m, batch.i[lane] = st.i;
    };
    const auto load = [&](std::size_t lane) {
        const int x = nextPixel % view.width, y = (7 * nextPixel) % view.height;
        ++nextPixel;
        dcs[lane] = mandel::doubleDoubleOffset(offsets.columns[static_cast<std::size_t>(x)],
                                               offsets.rows[static_cast<std::size_t>(y)], 0);
        scalar[lane] = mandel::startState(dcs[lane]);
        keep(lane);
        batch.dcrHi[lane] = dcs[lane].re.hi, batch.dcrLo[lane] = dcs[lane].re.lo;
        batch.dciHi[lane] = dcs[lane].im.hi, batch.dciLo[lane] = dcs[lane].im.lo;
        batch.dcErr[lane] = dcs[lane].err, batch.dcAbs[lane] = dcs[lane].abs;
        batch.tableOn[lane] = table;
        batch.offsets[lane] = &dcs[lane];
    };
    const auto step = [&](std::size_t lane) {
        return mandel::doubleDoubleStep(orbit, low, dcs[lane], view.location.limit, scalar[lane], true, tablePointer);
    };
    for (std::size_t lane = 0; lane < lanes; ++lane) load(lane);
    const std::string target = mandel::activeSimdTarget();
    std::int64_t plainSteps = 0, approximationSteps = 0, stops = 0;
    for (int round = 0; round < 60; ++round) {
        const std::int64_t steps = mandel::advanceDdLanes(job, batch, 300);
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            const std::string where = target + (table ? " table" : " plain") + " lane " + std::to_string(lane);
            mandel::DoubleDoubleState& st = scalar[lane];
            for (std::int64_t s = 0; s < steps; ++s) {
                const std::int64_t before = st.i;
                ASSERT_EQ(step(lane), 0) << where;
                ++(st.i == before + 1 ? plainSteps : approximationSteps);
            }
            ASSERT_TRUE(sameBits(batch.dzrHi[lane], st.dzr.hi) && sameBits(batch.dzrLo[lane], st.dzr.lo)) << where;
            ASSERT_TRUE(sameBits(batch.dziHi[lane], st.dzi.hi) && sameBits(batch.dziLo[lane], st.dzi.lo)) << where;
            ASSERT_TRUE(sameBits(batch.e[lane], st.e)) << where;
            ASSERT_EQ(batch.m[lane], st.m) << where;
            if (batch.attention[lane] == 0) continue;
            // The scalar step takes what stopped the lanes; a pixel that
            // ends gives its lane to the next.
            ++stops;
            const std::int64_t before = st.i;
            const std::int64_t result = step(lane);
            EXPECT_FALSE(result == 0 && st.i == before + 1) << where << ": the lanes stopped before a plain step";
            if (result > 0 || result == mandel::kUndecidedCount) {
                load(lane);
            } else {
                keep(lane);
            }
        }
    }
    EXPECT_GT(plainSteps, 2000) << target;
    if (table) {
        EXPECT_GT(approximationSteps, 20) << target;
    }
    EXPECT_GT(stops, 10) << target;
}

TEST(DeepLanes, DoubleDoubleLanesFollowTheScalarStepBitForBit) {
    using namespace mandel::test;
    const DeepView minibrot{{kMinibrot1e29.realMin, kMinibrot1e29.imagMin, "1e-29", 3000}, 64, 64};
    for (const mandel::SimdTarget& target : mandel::availableSimdTargets()) {
        const mandel::ForcedSimdTarget forced(target);
        expectDdLanesFollowTheScalarStep(minibrot, false);
        expectDdLanesFollowTheScalarStep(minibrot, true);
    }
}

TEST(DeepLanes, DrawingsAreTheScalarDrawingsOnEveryInstructionSet) {
    using namespace mandel::test;
    // Widths that no lane count divides; the early-escape view's pixels all
    // outlive its reference and rebase. The shallow views also with the
    // direct double stage, whose lanes must be its scalar loop too.
    // Views below 1e-290, and shallow ones drawn in rescaled doubles by
    // choice, in the rescaled lanes (units below and above 2^-1000).
    struct Case {
        DeepView view;
        bool rescaled = false;
    };
    const std::vector<Case> cases = {
        {{{kMinibrot1e29.realMin, kMinibrot1e29.imagMin, "1e-29", 3000}, 37, 23}},
        {{{kEarlyEscape1e3.realMin, kEarlyEscape1e3.imagMin, "1e-3", 1000}, 29, 31}},
        {{{"-0.7485", "0.0645", "1e-3", 2000}, 41, 17}},
        {{{kMinibrot1e29.realMin, kMinibrot1e29.imagMin, "1e-29", 3000}, 19, 17}, true},
        {{{"-0.7485", "0.0645", "1e-3", 2000}, 21, 17}, true},
        {{{kMinibrot1e300.realMin, kMinibrot1e300.imagMin, "1e-300", 8000}, 17, 19}},
        {{{kEarlyEscape1e300.realMin, kEarlyEscape1e300.imagMin, "1e-300", 8000}, 19, 17}},
        // Pixels left to the settling lanes below 1e-290 (scaled offsets).
        {{{kMinibrot1e300.realMin, kMinibrot1e300.imagMin, "1e-300", 30000}, 24, 24}},
    };
    for (const auto& [view, rescaled] : cases) {
        const bool extended = rescaled || view.location.side == "1e-300";
        for (const bool bla : {false, true}) {
            for (const bool direct : {false, true}) {
                if (extended && direct) continue;  // no direct stage there
                const Drawn scalar = draw(view, false, 1, bla, direct, rescaled);
                // The seahorse view's direct stage leaves pixels to the
                // double-double lanes; without it, its perturbation leaves
                // pixels to the settling lanes.
                if (view.location.limit == 2000 || view.location.limit == 30000) {
                    EXPECT_GT(direct ? scalar.stats.pixelsDirectDd : scalar.stats.pixelsSettled, 0);
                }
                if (bla && view.location.limit == 3000) {
                    EXPECT_GT(scalar.stats.iterationsSkipped, 0);
                }
                for (const mandel::SimdTarget& target : mandel::availableSimdTargets()) {
                    const mandel::ForcedSimdTarget forced(target);
                    for (unsigned threads : {1u, 2u}) {
                        const Drawn lanes = draw(view, true, threads, bla, direct, rescaled);
                        const std::string where = std::string(target.name) + " " + std::to_string(threads) + " " +
                                                  (bla ? "table" : "plain") + (direct ? " direct" : "") +
                                                  " " + view.location.side + (rescaled ? " rescaled" : "");
                        EXPECT_EQ(lanes.counts, scalar.counts) << where;
                        EXPECT_EQ(0, std::memcmp(lanes.excess.data(), scalar.excess.data(),
                                                 lanes.excess.size() * sizeof(float)))
                            << where;
                        EXPECT_EQ(lanes.stats.iterationsMade, scalar.stats.iterationsMade) << where;
                        EXPECT_EQ(lanes.stats.iterationsSkipped, scalar.stats.iterationsSkipped) << where;
                        EXPECT_EQ(lanes.stats.pixelsSettled, scalar.stats.pixelsSettled) << where;
                        if (!direct) {
                            EXPECT_GT(lanes.stats.laneSteps, lanes.stats.iterationsMade / 2) << where;
                        }
                    }
                }
            }
        }
    }
}

}  // namespace
