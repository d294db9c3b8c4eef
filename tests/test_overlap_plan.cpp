// The overlapping sweeps' arrangement: every order of every output, each in
// its window, apart from every other output's; outputs interleaved only where
// the sweep leaves room between its highest orders; a window that reaches an
// output's own second order refused with the figures that would fit.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "measure/overlap_plan.h"

namespace {

struct Window {
    double from, to; // frames in the impulse response; windows that touch are apart
};

// Every window of every output as the analysis cuts them, for a round trip of 0.
std::vector<std::vector<Window>> windowsOf(const measure::SweepPlan& sweep,
                                           const measure::OverlapPlan& plan) {
    std::vector<std::vector<Window>> windows;
    for (int64_t start : plan.outputs.starts) {
        windows.emplace_back();
        for (int k = 1; k <= plan.harmonics; ++k) {
            const double onset = static_cast<double>(start) -
                                 sweep.rateConstant * std::log(static_cast<double>(k)) * sweep.rate;
            windows.back().push_back({onset - static_cast<double>(plan.outputs.before),
                                      onset + static_cast<double>(plan.outputs.after)});
        }
    }
    return windows;
}

void expectApart(const std::vector<std::vector<Window>>& windows) {
    for (size_t a = 0; a < windows.size(); ++a)
        for (size_t b = a + 1; b < windows.size(); ++b)
            for (const Window& x : windows[a])
                for (const Window& y : windows[b])
                    ASSERT_TRUE(x.to <= y.from + 1e-6 || y.to <= x.from + 1e-6)
                        << "outputs " << a << " and " << b << ": [" << x.from << ", " << x.to
                        << "] meets [" << y.from << ", " << y.to << "]";
}

measure::SweepPlan sweepOf(double seconds) {
    measure::SweepSettings settings;
    settings.seconds = seconds;
    return measure::planSweep(settings);
}

TEST(OverlapPlan, WindowsOfDifferentOutputsNeverMeet) {
    for (const double seconds : {5.0, 11.0, 28.0, 60.0})
        for (const int harmonics : {2, 3, 5, 9})
            for (const int outputs : {1, 2, 7, 32}) {
                const measure::SweepPlan sweep = sweepOf(seconds);
                const measure::OverlapPlan plan =
                    measure::planOverlap(sweep, 0.3, harmonics, outputs);
                ASSERT_EQ(plan.outputs.starts.size(), static_cast<size_t>(outputs));
                expectApart(windowsOf(sweep, plan));
                // One take holds the latest output's whole sweep file.
                EXPECT_EQ(plan.takeFrames, sweep.totalFrames() + plan.outputs.starts.back());
            }
}

TEST(OverlapPlan, GapWithoutInterleavingAndTheGainOfIt) {
    // The default sweep: L ln 5 + 0.3 s + 0.1 s between outputs.
    const measure::SweepPlan sweep = sweepOf(5.0);
    const measure::OverlapPlan plain = measure::planOverlap(sweep, 0.3, 5, 8);
    EXPECT_EQ(plain.perGroup, 1);
    EXPECT_EQ(plain.gapFrames,
              static_cast<int64_t>(std::ceil(sweep.rateConstant * std::log(5.0) * 48000)) + 19200);
    // A sweep whose orders 4 and 5 lie two windows apart takes two outputs
    // to a group, and the group takes less than two gaps.
    const measure::SweepPlan longer = sweepOf(28.0);
    const measure::OverlapPlan grouped = measure::planOverlap(longer, 0.3, 5, 8);
    EXPECT_EQ(grouped.perGroup, 2);
    EXPECT_LT(grouped.outputs.starts.back(), measure::planOverlap(longer, 0.3, 5, 1).gapFrames * 7);
}

TEST(OverlapPlan, AWindowPastTheSecondOrderIsRefusedWithWhatFits) {
    const measure::SweepPlan sweep = sweepOf(2.0); // L = 0.3 s: L ln 2 = 0.208 s
    try {
        measure::planOverlap(sweep, 0.3, 5, 4);
        FAIL() << "not refused";
    } catch (const measure::Failure& f) {
        EXPECT_EQ(f.code(), measure::kOverlapTooLong);
        const std::string text = f.what();
        EXPECT_NE(text.find("allows is 0.107 s"), std::string::npos) << text;
        // The length named makes room: a sweep of it is planned without refusal.
        const size_t at = text.find("at least ") + 9;
        measure::planOverlap(sweepOf(std::stod(text.substr(at))), 0.3, 5, 4);
    }
    EXPECT_NO_THROW(measure::planOverlap(sweep, 0.107, 5, 4));
}

} // namespace
