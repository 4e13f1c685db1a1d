#include "fixed_point_step_time.h"

#include <mpfr.h>

#include "deep/fixed_point_lanes.h"
#include "deep/mpfr_value.h"
#include "timing.h"

namespace {

constexpr long kSteps = 100000;
constexpr unsigned kRepeat = 5;
// 7, 13 and 19 limbs: the range a deep drawing's last-stage orbits pass through.
constexpr long kFractions[] = {360, 672, 984};

// Eight points of the period-3 bulb (bounded orbits), with digits down to the
// last bit so that every step truncates.
void startLanes(mandel::FixedPointLanes& lanes, long fraction) {
    mandel::MpfrValue cr(fraction + 64), ci(fraction + 64);
    for (int lane = 0; lane < mandel::FixedPointLanes::kLanes; ++lane) {
        mpfr_set_si(cr.get(), -3600 + lane, MPFR_RNDN);
        mpfr_div_ui(cr.get(), cr.get(), 30000, MPFR_RNDN);
        mpfr_set_d(ci.get(), 0.745, MPFR_RNDN);
        lanes.start(lane, fraction, cr.get(), ci.get());
    }
}

}  // namespace

std::vector<FixedPointStepTime> fixedPointStepTimes() {
    std::vector<FixedPointStepTime> out;
    if (!mandel::FixedPointLanes::available()) return out;
    for (const long fraction : kFractions) {
        mandel::FixedPointLanes lanes(fraction);
        const double ms = mandel::tool::medianMs(kRepeat, [&] {
            startLanes(lanes, fraction);
            for (long step = 0; step < kSteps; ++step) lanes.step();
        });
        out.push_back({fraction, lanes.limbs(), ms * 1e6 / kSteps});
    }
    return out;
}
