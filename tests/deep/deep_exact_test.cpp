// The deep engine against the MPFR brute force of the drawing's definition:
// every pixel that the brute force decides (same count at P and 2P bits) must
// have that count, with and without the bilinear approximation and on 1, 2
// and 3 threads.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "deep/deep_drawing.h"
#include "deep/number_ladder.h"
#include "deep_brute_force.h"
#include "deep_test_locations.h"
#include "mpfr_text.h"

namespace {

using mandel::DeepDrawing;
using mandel::DeepLocation;
using mandel::DeepOptions;
using mandel::DeepView;
using mandel::test::BruteForceCounts;

struct ExactCase {
    std::string name;
    DeepView view;
    int stride = 1;  // the brute force takes every stride-th pixel of each stride-th row
    // Draw with the reference of a tiny view at this view's centre, which
    // escapes long before the view's other pixels: every such pixel must be
    // continued past the reference's end.
    bool earlyReference = false;
    // Shallow views take the direct stages first; without them their
    // undecided pixels are settled after perturbation (and handed back to
    // the double loop at rebases).
    bool direct = true;
    // A view in double's range drawn in rescaled doubles, as views below
    // 1e-290 are: their loop then meets offsets of every size.
    bool rescaled = false;
};

std::ostream& operator<<(std::ostream& out, const ExactCase& c) { return out << c.name; }

ExactCase around(std::string name, mandel::test::Corner corner, std::string side, std::int64_t limit, int size,
                 int stride = 1) {
    const bool earlyReference = name.starts_with("EarlyEscape");
    return {std::move(name),
            {{corner.realMin, corner.imagMin, std::move(side), limit}, size, size},
            stride,
            earlyReference};
}

// A view 2^-20 of the size of `view` around its centre pixel.
DeepView centreProbe(const DeepView& view) {
    const mpfr_prec_t bits =
        64 + 4 * static_cast<mpfr_prec_t>(view.location.side.size() + view.location.realMin.size());
    mpfr_t side, tiny, corner;
    mpfr_inits2(bits, side, tiny, corner, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_str(side, view.location.side.c_str(), 10, MPFR_RNDN);
    mpfr_div_2ui(tiny, side, 20, MPFR_RNDN);
    DeepView probe = view;
    probe.location.side = mandel::test::decimalText(tiny);
    mpfr_sub(tiny, side, tiny, MPFR_RNDN);
    mpfr_div_2ui(tiny, tiny, 1, MPFR_RNDN);  // (side − tiny) / 2
    for (std::string* text : {&probe.location.realMin, &probe.location.imagMin}) {
        mpfr_set_str(corner, text->c_str(), 10, MPFR_RNDN);
        mpfr_add(corner, corner, tiny, MPFR_RNDN);
        *text = mandel::test::decimalText(corner);
    }
    mpfr_clears(side, tiny, corner, static_cast<mpfr_ptr>(nullptr));
    return probe;
}

std::unique_ptr<DeepDrawing> drawingFor(const ExactCase& c) {
    if (!c.earlyReference) return std::make_unique<DeepDrawing>(c.view);
    DeepDrawing probe(centreProbe(c.view));
    EXPECT_TRUE(probe.prepare());
    return std::make_unique<DeepDrawing>(c.view, probe.reference());
}

// A view of side 10^-digits centred on the Misiurewicz point i: its centre
// pixel is exactly i and never escapes, the others follow the repelling
// 2-cycle for about 2.7·digits iterations and then escape together.
ExactCase misiurewiczI(int digits, std::int64_t limit) {
    const std::string exponent = std::to_string(digits + 1);
    DeepLocation where{"-5e-" + exponent, "0." + std::string(static_cast<std::size_t>(digits), '9') + "5",
                       "1e-" + std::to_string(digits), limit};
    return {"MisiurewiczI_1e" + std::to_string(digits), {where, 16, 16}, 2};
}

std::vector<std::int32_t> engineCounts(const ExactCase& c, bool bla, unsigned threads, std::int64_t longestCount) {
    const DeepView& view = c.view;
    const std::unique_ptr<DeepDrawing> made = drawingFor(c);
    DeepDrawing& drawing = *made;
    std::vector<std::int32_t> counts(static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height));
    DeepOptions options;
    options.bla = bla;
    options.direct = c.direct;
    options.rescaled = c.rescaled;
    options.threads = threads;
    // Two blocks of rows, as a drawing of any size is made.
    const int firstBlock = view.height / 3;
    const std::span<std::int32_t> all(counts);
    EXPECT_TRUE(
        drawing.computeRows(0, firstBlock, all.first(static_cast<std::size_t>(firstBlock * view.width)), options));
    EXPECT_TRUE(drawing.computeRows(firstBlock, view.height - firstBlock,
                                    all.subspan(static_cast<std::size_t>(firstBlock * view.width)), options));
    const mandel::DeepStats stats = drawing.stats();
    // Deep views around a minibrot or i follow the reference closely: they must skip.
    const bool skips =
        (c.name.starts_with("Minibrot") && c.name != "Minibrot_1e3") || c.name.starts_with("Misiurewicz");
    if (bla && skips) {
        EXPECT_GT(stats.iterationsSkipped, 0);
    }
    if (!bla) {
        EXPECT_EQ(stats.iterationsSkipped, 0);
    }
    std::cout << "  bla " << bla << ", threads " << threads << ": " << stats.iterationsMade << " iterations made, "
              << stats.iterationsSkipped << " skipped, " << stats.pixelsSettled << " pixels settled ("
              << stats.pixelsSettledInDouble << " finished in double, " << stats.pixelsDirectDd
              << " decided directly in double-double) in "
              << stats.settleMs << " ms, reference " << drawing.referenceInfo().length << " iterations ("
              << drawing.referenceInfo().numberType << ")\n";
    // The chaotic views' undecided pixels: decided directly in double-double,
    // or handed back from double-double to the double or rescaled loop.
    if (c.name.starts_with("Chaotic")) {
        EXPECT_GT(c.direct && !c.rescaled ? stats.pixelsDirectDd : stats.pixelsSettledInDouble, 0);
    }
    if (c.rescaled) {
        EXPECT_EQ(drawing.referenceInfo().numberType, mandel::numberTypeName(mandel::NumberType::ExtendedRange));
    }
    if (c.earlyReference) {
        EXPECT_LT(drawing.referenceInfo().length, longestCount) << "the early reference was not taken";
    }
    return counts;
}

class DeepExact : public testing::TestWithParam<ExactCase> {};

TEST_P(DeepExact, EveryDecidedCountIsTheBruteForceCount) {
    const DeepView& view = GetParam().view;
    const BruteForceCounts truth = mandel::test::bruteForceCounts(view, GetParam().stride);
    std::cout << GetParam().name << ": P " << truth.precisionBits << " bits, " << truth.undecided() << " of "
              << truth.computed() << " pixels undecided\n";
    RecordProperty("undecided", truth.undecided());
    // A brute force that decided little would let any count pass.
    EXPECT_GE(truth.computed() - truth.undecided(), truth.computed() * 9 / 10);
    const std::int64_t longestCount = *std::max_element(truth.counts.begin(), truth.counts.end());
    std::vector<std::int32_t> first;
    for (bool bla : {true, false}) {
        for (unsigned threads : {1u, 2u, 3u}) {
            const std::vector<std::int32_t> counts = engineCounts(GetParam(), bla, threads, longestCount);
            int mismatches = 0;
            for (std::size_t p = 0; p < counts.size(); ++p) {
                if (!truth.decided[p] || counts[p] == truth.counts[p]) continue;
                if (++mismatches <= 5)
                    ADD_FAILURE() << "pixel (" << p % static_cast<std::size_t>(view.width) << ", "
                                  << p / static_cast<std::size_t>(view.width) << "): " << counts[p] << " instead of "
                                  << truth.counts[p] << " (bla " << bla << ", threads " << threads << ")";
            }
            EXPECT_EQ(mismatches, 0) << "bla " << bla << ", threads " << threads;
            if (first.empty()) first = counts;
            EXPECT_EQ(counts, first) << "undecided pixels differ: bla " << bla << ", threads " << threads;
        }
    }
}

using namespace mandel::test;

// Cheap enough for the sanitizer builds and QEMU.
INSTANTIATE_TEST_SUITE_P(Quick, DeepExact,
                         testing::Values(around("Minibrot_1e3", kMinibrot1e3, "1e-3", 1000, 32),
                                         around("EarlyEscape_1e3", kEarlyEscape1e3, "1e-3", 1000, 32),
                                         // Seahorse valley near the period-2 bulb: filaments with
                                         // counts in the hundreds to thousands, a wide view.
                                         ExactCase{"Chaotic_1e3", {{"-0.7485", "0.0645", "1e-3", 2000}, 32, 24}},
                                         ExactCase{"Chaotic_1e3_perturbed",
                                                   {{"-0.7485", "0.0645", "1e-3", 2000}, 32, 24},
                                                   1,
                                                   false,
                                                   false},
                                         ExactCase{"Chaotic_1e3_rescaled",
                                                   {{"-0.7485", "0.0645", "1e-3", 2000}, 32, 24},
                                                   1,
                                                   false,
                                                   false,
                                                   true},
                                         around("Minibrot_1e29", kMinibrot1e29, "1e-29", 3000, 32),
                                         around("EarlyEscape_1e29", kEarlyEscape1e29, "1e-29", 3000, 32),
                                         misiurewiczI(300, 1000), misiurewiczI(650, 2000)),
                         [](const testing::TestParamInfo<ExactCase>& info) { return info.param.name; });

#ifndef MANDEL_DEEP_QUICK_TESTS_ONLY
// Seconds each in MPFR: the release build only.
INSTANTIATE_TEST_SUITE_P(Deep, DeepExact,
                         testing::Values(around("Minibrot_1e300", kMinibrot1e300, "1e-300", 8000, 16),
                                         around("EarlyEscape_1e300", kEarlyEscape1e300, "1e-300", 8000, 16),
                                         around("Minibrot_3e624", kMinibrot3e624, "3e-624", 14000, 16, 2),
                                         around("EarlyEscape_3e624", kEarlyEscape3e624, "3e-624", 14000, 16, 2)),
                         [](const testing::TestParamInfo<ExactCase>& info) { return info.param.name; });
#endif

}  // namespace
