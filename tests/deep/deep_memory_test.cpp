// The memory a drawing announces before it starts, against the peak it
// reaches (each drawing in a child process of its own, so that one peak does
// not hide the next), and the refusal above a budget.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "deep/deep_drawing.h"
#include "deep/deep_memory.h"

namespace {

using mandel::DeepDrawing;
using mandel::DeepView;

std::uint64_t peakBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;
}

// The growth of the peak resident memory over a drawing of the view, measured
// in a child process.
std::uint64_t measuredPeak(const DeepView& view, const mandel::DeepOptions& options) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return 0;
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        const std::uint64_t before = peakBytes();
        DeepDrawing drawing(view);
        std::vector<std::int32_t> counts(static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.height));
        drawing.computeRows(0, view.height, counts, options);
        const std::uint64_t growth = peakBytes() - before;
        const ssize_t written = write(pipeEnds[1], &growth, sizeof growth);
        _exit(written == sizeof growth ? 0 : 1);
    }
    close(pipeEnds[1]);
    std::uint64_t growth = 0;
    const ssize_t got = read(pipeEnds[0], &growth, sizeof growth);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return got == sizeof growth && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? growth : 0;
}

TEST(DeepMemory, EstimatesBoundThePeaksTheyAnnounce) {
    // Inside the period-3 bulb, so that the reference runs to the limit; in double
    // range with a table, without one (the SIMD lanes' copy instead), a
    // compact table above two million iterations, and in extended range with
    // both tables.
    const struct {
        DeepView view;
        bool bla;
    } cases[] = {
        {{{"-0.1226", "0.7449", "1e-100", 1'000'000}, 16, 16}, true},
        {{{"-0.1226", "0.7449", "1e-100", 1'000'000}, 16, 16}, false},
        {{{"-0.1226", "0.7449", "1e-100", 3'000'000}, 16, 16}, true},
        {{{"-0.1226", "0.7449", "1e-300", 300'000}, 16, 16}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.view.location.side + " limit " + std::to_string(c.view.location.limit) +
                     (c.bla ? " with table" : " without"));
        mandel::DeepOptions options;
        options.bla = c.bla;
        const std::uint64_t estimate = mandel::deepMemoryEstimate(c.view, mandel::DeepMemoryChoices{c.bla, true});
        const std::uint64_t peak = measuredPeak(c.view, options);
        ASSERT_GT(peak, 0u) << "the child's drawing failed";
        // Above the peak, and not so far above that a budget check would
        // refuse what fits.
        EXPECT_GE(estimate, peak);
        EXPECT_LE(estimate, 2 * peak + (std::uint64_t{16} << 20));
    }
}

TEST(DeepMemory, ADrawingAboveItsBudgetIsRefusedBeforeItStarts) {
    const DeepView view{{"-0.1", "0.1", "1e-100", 2'000'000'000}, 16, 16};
    DeepDrawing drawing(view);
    mandel::DeepOptions options;
    options.maxMemory = std::uint64_t{1} << 30;
    try {
        drawing.prepare(options);
        FAIL() << "a drawing of about 100 GB was not refused";
    } catch (const mandel::DeepMemoryError& e) {
        EXPECT_NE(std::string(e.what()).find("limit 2000000000 needs about"), std::string::npos) << e.what();
    }
    EXPECT_EQ(drawing.reference(), nullptr);
}

}  // namespace
