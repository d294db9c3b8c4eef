// The interface command's plan and its documents: the quick measurement fits
// its time at 48 kHz and every window lies in its own steady tone; a figure
// without a value (clipped, not measured) reaches results.json and the page
// as its reason, never as a number.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "measure/interface_json.h"
#include "measure/interface_tones.h"
#include "report/report_page.h"

namespace {

TEST(InterfaceSheet, EveryWindowLiesInItsOwnSteadyTone) {
    for (const double rate : {44100.0, 48000.0, 96000.0}) {
        for (const bool quick : {false, true}) {
            const measure::TonePlan plan = measure::planTones(rate, quick, 1000);
            size_t previousEnd = 0;
            for (const measure::ToneSegment& s : plan.segments) {
                EXPECT_GE(s.start, previousEnd);
                // Settled before it, and a margin of the steady tone after it.
                EXPECT_GE(s.analysisStart, s.start + static_cast<size_t>(0.1 * rate));
                EXPECT_LE(s.analysisStart + s.analysisFrames + static_cast<size_t>(0.05 * rate),
                          s.start + s.frames);
                for (size_t bin : s.bins)
                    EXPECT_LT(bin, plan.window / 2);
                previousEnd = s.start + s.frames;
            }
            EXPECT_EQ(plan.totalFrames, previousEnd + 1000);
            EXPECT_GE(plan.noiseFrames, static_cast<size_t>(2.0 * rate));
        }
    }
    // The quick take and the 8-s sweep's take (9.7 s) stay under 20 s at 48 kHz.
    const measure::TonePlan quick = measure::planTones(48000.0, true, 48000);
    EXPECT_LT(static_cast<double>(quick.totalFrames) / 48000.0 + 9.8, 20.0);
}

measure::InterfaceResults twoPairs() {
    measure::InterfaceResults r;
    r.complete = true;
    r.device = "Bench <Interface>";
    r.setup.driverName = "Bench";
    r.setup.rate = 48000.0;
    for (int k = 1; k <= 2; ++k) {
        measure::InterfacePair p;
        p.output = p.input = k;
        p.figures.push_back(
            {"thdn", "THD+N, 997 Hz at -1 dBFS", "dB", "AES17 THD+N", true, -94.25, ""});
        p.figures.push_back({"ccifImd", "IMD, CCIF", "dB", "IEC 60268-3", false, -12.5,
                             k == 1 ? "clipped" : "not measured below 44.1 kHz"});
        p.thdnAgainstLevel = {{-6.0, -90.0, false}, {0.0, 0.0, true}};
        r.pairs.push_back(p);
    }
    return r;
}

TEST(InterfaceSheet, AFigureWithoutValueIsItsReasonInJsonAndOnThePage) {
    const std::string text = measure::interfaceResultsJson(twoPairs(), "test");
    const nlohmann::json json = nlohmann::json::parse(text);
    const nlohmann::json& figures = json["pairs"][0]["figures"];
    EXPECT_EQ(figures[0]["value"], -94.25);
    EXPECT_EQ(figures[0]["unit"], "dB");
    EXPECT_EQ(figures[0]["definition"], "AES17 THD+N");
    EXPECT_TRUE(figures[1]["value"].is_null());
    EXPECT_EQ(figures[1]["mark"], "clipped");
    EXPECT_TRUE(json["pairs"][0]["thdnAgainstLevel"][1][1].is_null());

    std::string html, error;
    ASSERT_TRUE(report::renderReport(text, nullptr, &html, &error)) << error;
    const size_t row = html.find("data-key=\"ccifImd\"");
    ASSERT_NE(row, std::string::npos);
    const std::string ccif = html.substr(row, html.find("</tr>", row) - row);
    EXPECT_NE(ccif.find("clipped"), std::string::npos);
    EXPECT_NE(ccif.find("not measured below 44.1 kHz"), std::string::npos);
    EXPECT_EQ(ccif.find("12.5"), std::string::npos);
    EXPECT_NE(html.find("\u221294.25 dB"), std::string::npos);
    EXPECT_NE(html.find("Bench &lt;Interface&gt;"), std::string::npos);
}

} // namespace
