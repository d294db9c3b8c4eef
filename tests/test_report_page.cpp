// The report page from results.json: what the browser test does not see.
// Text from the device or the files stays text, one analysed recording gets a
// page without a matrix that names what was analysed, a field with nothing to
// say is left out (also from results of earlier versions), what went wrong in
// the takes is counted, an incomplete run says so, and input that is not a
// results document is refused.
#include <gtest/gtest.h>

#include <string>

#include "report/report_page.h"

namespace {

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool noImpulse(const std::string&, report::ImpulseResponse*) {
    return false;
}

TEST(ReportPage, TextFromOutsideStaysText) {
    const std::string json = R"({"complete":false,"error":"<img src=x onerror=alert(1)>",
        "device":"<script>alert('x')</script>","driver":{"name":"A\"B","version":2},
        "pairs":[{"output":1,"input":1,"delayFrames":5,"latencyVerdict":"<b>",
                  "impulseResponse":"\"><script>","response":[{"hz":100,"db":0,"deg":0}]}]})";
    std::string html, error;
    ASSERT_TRUE(report::renderReport(json, noImpulse, &html, &error)) << error;
    EXPECT_EQ(count(html, "<script"), 0u);
    EXPECT_EQ(count(html, "<img"), 0u);
    EXPECT_EQ(count(html, "<b>"), 0u);
    EXPECT_NE(html.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(html.find("A&quot;B"), std::string::npos);
    // Incomplete results never pass for complete ones.
    EXPECT_NE(html.find("id=\"incomplete\""), std::string::npos);
    EXPECT_NE(html.find("id=\"pair-o1-i1-etc-missing\""), std::string::npos);
}

TEST(ReportPage, OneRecordingHasItsChannelsAndNoMatrix) {
    const std::string json = R"({"complete":true,"rate":48000,
        "sweep":{"from":50,"to":5000,"sweptFrom":25,"sweptTo":10000,"seconds":4,"level":-12},
        "channels":[{"input":1,"delayFrames":256,"impulseResponse":"ir1.wav",
                     "response":[{"hz":50,"db":-0.1,"deg":1},{"hz":5000,"db":-3,"deg":-170}],
                     "harmonics":[{"order":2,"points":[{"hz":100,"db":-40}]}],
                     "thd":[{"hz":100,"percent":1}]},
                    {"input":2,"belowNoise":true}]})";
    std::string html, error;
    const auto impulse = [](const std::string& name, report::ImpulseResponse* ir) {
        ir->rate = 48000.0;
        ir->samples.assign(1000, 0.0f);
        ir->samples[256] = 1.0f;
        return name == "ir1.wav";
    };
    ASSERT_TRUE(report::renderReport(json, impulse, &html, &error)) << error;
    for (const char* kind : {"magnitude", "phase", "distortion", "etc"})
        EXPECT_EQ(count(html, std::string("id=\"pair-i1-") + kind + "\""), 1u) << kind;
    EXPECT_EQ(count(html, "id=\"pair-i2-"), 0u);
    EXPECT_NE(html.find("id=\"pair-i2\""), std::string::npos);
    // Decades inside 50 Hz to 5 kHz, and the dB grid.
    EXPECT_NE(html.find(">100 Hz<"), std::string::npos);
    EXPECT_NE(html.find(">1 kHz<"), std::string::npos);
    EXPECT_NE(html.find(" dB<"), std::string::npos);
    EXPECT_EQ(count(html, "id=\"crosstalk\""), 0u);
    EXPECT_EQ(count(html, "id=\"incomplete\""), 0u);
}

// An impulse response's room figures: every band in the table, an absent
// figure marked with its reason (escaped), and a decay plot per band.
TEST(ReportPage, RoomFiguresShowTheirTableReasonsAndDecays) {
    const std::string json = R"({"complete":true,"source":"hall.wav","rate":48000,
        "channels":[{"input":1,"room":{"bands":"octave","onsetFrame":10,"onsetSeconds":0.0002,
          "figures":[{"band":"broadband","hz":null,"t30":{"seconds":1.234,"r":-0.999,"xi":2.0,
                        "fromSeconds":0.01,"toSeconds":0.4,"slopeDbPerSecond":-48.6,
                        "interceptDb":-4.5},"t20":null,"edt":null,"c50Db":1.5,
                      "reasons":{"t20":"the decay stands <30> dB above the noise"},
                      "decayCurve":{"stepSeconds":0.005,"db":[0,-5,-10,-15]}},
                     {"band":"1k","hz":1000,"t30":null,"reasons":{"t30":"no decay"},
                      "decayCurve":{"stepSeconds":0.005,"db":[]}}]}},
                    {"input":2,"room":{"reason":"the response is silent"}}]})";
    std::string html, error;
    ASSERT_TRUE(report::renderReport(json, noImpulse, &html, &error)) << error;
    EXPECT_EQ(count(html, "id=\"channel-1-room-table\""), 1u);
    EXPECT_NE(html.find(">1.234<"), std::string::npos);
    EXPECT_NE(html.find("the decay stands &lt;30&gt; dB above the noise"), std::string::npos);
    EXPECT_NE(html.find("1k Hz, T30 (s): no decay"), std::string::npos);
    EXPECT_EQ(count(html, "class=\"plot decay\""), 2u);
    EXPECT_NE(html.find("No figures: the response is silent"), std::string::npos);
    EXPECT_EQ(count(html, "id=\"pairs\""), 0u) << "no sweep's pair table for a room";
}

// Every order is drawn, a bound lighter than a figure; points below the
// resolution are lighter too; the band limit's curve lies beneath the ETC.
TEST(ReportPage, MarksWhatTheAnalysisCannotStandBehind) {
    const std::string json = R"({"complete":true,"rate":48000,
        "sweep":{"from":20,"to":20000,"bandLimitEtc":{"fromMs":-5,"stepMs":0.5,"db":[-60,0,-70]}},
        "channels":[{"input":1,"delayFrames":256,"impulseResponse":"ir1.wav",
          "response":[{"hz":20,"db":0,"deg":0,"belowResolution":true},{"hz":40,"db":0,"deg":0},
                      {"hz":80,"db":0,"deg":0}],
          "harmonics":[{"order":2,"points":[{"hz":20,"db":-40},{"hz":40,"db":-41}]},
                       {"order":3,"points":[{"hz":20,"db":-90,"belowNoise":true}]},
                       {"order":4,"points":[{"hz":20,"db":-95,"belowNoise":true},
                                            {"hz":25,"db":-70}]}],
          "thd":[{"hz":20,"percent":1}]}]})";
    const auto impulse = [](const std::string&, report::ImpulseResponse* ir) {
        ir->rate = 48000.0;
        ir->samples.assign(1000, 0.0f);
        ir->samples[256] = 1.0f;
        return true;
    };
    std::string html, error;
    ASSERT_TRUE(report::renderReport(json, impulse, &html, &error)) << error;
    for (const char* name : {">HD2<", ">HD3<", ">HD4<", ">THD<", ">band limit alone<"})
        EXPECT_EQ(count(html, name), 1u) << name;
    // Lighter lines: the magnitude's and the phase's first stretch, the bounds
    // of HD3 and HD4, the band limit.
    EXPECT_EQ(count(html, "<polyline class=\"curve\" stroke=\"#1f5fbf\" stroke-opacity"), 1u);
    EXPECT_EQ(count(html, "<polyline class=\"curve\" stroke=\"#7a3db8\" stroke-opacity"), 1u);
    EXPECT_EQ(count(html, "stroke-opacity=\"0.35\""), 5u);
    // THD comes first, beneath the orders.
    EXPECT_LT(html.find("stroke=\"#c0392b\" stroke-dasharray"), html.find(">HD2<"));
}

// The text of the facts table's row, empty when the row is not there.
std::string factRow(const std::string& html, const std::string& name) {
    const size_t at = html.find("<th>" + name + "</th><td>");
    if (at == std::string::npos)
        return "";
    const size_t from = html.find("<td>", at) + 4;
    return html.substr(from, html.find("</td>", from) - from);
}

TEST(ReportPage, AnalysedRecordingNamesItsFilesAndNothingEmpty) {
    const std::string named = R"({"complete":true,"rate":48000,
        "sweep":{"from":50,"to":5000,"sweptFrom":25,"sweptTo":10000,"seconds":4,"level":-12},
        "sweepFile":"/m/sweep.wav","recording":"/m/rec.wav","date":"2026-12-09T18:00:00Z",
        "programVersion":"1.2.3","harmonicsCounted":5,"clippedSamples":0,
        "channels":[{"input":1,"belowNoise":true,"silent":true}]})";
    std::string html, error;
    ASSERT_TRUE(report::renderReport(named, noImpulse, &html, &error)) << error;
    EXPECT_NE(html.find("<h1>Measurement report: /m/rec.wav</h1>"), std::string::npos);
    EXPECT_EQ(factRow(html, "Sweep file"), "/m/sweep.wav");
    EXPECT_EQ(factRow(html, "Recording"), "/m/rec.wav");
    EXPECT_EQ(factRow(html, "Date"), "2026-12-09T18:00:00Z");
    EXPECT_EQ(factRow(html, "Program"), "tandemwav-measure 1.2.3");
    EXPECT_EQ(factRow(html, "Clipped samples"), "none");
    EXPECT_NE(html.find("<td colspan=\"3\">silent</td>"), std::string::npos);
    // A recording knows no device, driver, buffer, latencies or repeats, and
    // results of earlier versions know neither the files nor the date: no row
    // for any of them, and no dash standing in for one.
    const std::string earlier = R"({"complete":true,"rate":48000,
        "sweep":{"from":50,"to":5000,"sweptFrom":25,"sweptTo":10000,"seconds":4,"level":-12},
        "harmonicsCounted":5,"clippedSamples":0,"channels":[{"input":1,"belowNoise":true}]})";
    for (const std::string& json : {named, earlier}) {
        ASSERT_TRUE(report::renderReport(json, noImpulse, &html, &error)) << error;
        EXPECT_EQ(count(html, "\u2014"), 0u) << json;
        for (const char* absent : {"Device", "Driver", "Buffer", "Reported latencies", "Repeats",
                                   "Repeats left out", "Lost blocks", "Retakes"})
            EXPECT_EQ(count(html, std::string("<th>") + absent + "</th>"), 0u) << absent;
        EXPECT_EQ(
            factRow(html, "Sweep"),
            "reported 50.0 to 5000.0 Hz, swept 25.0 to 10000.0 Hz, 4.00 s, peak \u221212.0 dBFS");
    }
    EXPECT_EQ(factRow(html, "Date"), "");
    EXPECT_NE(html.find("<h1>Measurement report: one recording</h1>"), std::string::npos);
    EXPECT_NE(html.find("<td colspan=\"3\">below its noise</td>"), std::string::npos);
}

TEST(ReportPage, RunCountsClippingLostBlocksAndRetakes) {
    const std::string json = R"({"complete":true,"device":"D","rate":48000,"lostBlocks":5,
        "clippedSamples":45733,"repeats":1,"averagingGainDb":0,"excludedRepeats":[],
        "takes":[{"output":1,"repeat":1,"attempts":1,"lostBlocks":[0]},
                 {"output":2,"repeat":1,"attempts":3,"lostBlocks":[3,2,0]},
                 {"output":2,"repeat":2,"attempts":1,"lostBlocks":[4]}],
        "pairs":[{"output":1,"input":1,"delayFrames":256,"clippedSamples":45733,"snrDb":80,
                  "response":[{"hz":100,"db":0,"deg":0}]},
                 {"output":1,"input":2,"belowNoise":true},
                 {"output":2,"input":1,"belowNoise":true}],
        "crosstalk":[{"output":1,"input":1,"db":0,"db1k":0},
                     {"output":1,"input":2,"db":null,"db1k":null,"belowNoise":true},
                     {"output":2,"input":1,"db":-90,"db1k":null,"belowNoise":true}]})";
    std::string html, error;
    ASSERT_TRUE(report::renderReport(json, noImpulse, &html, &error)) << error;
    EXPECT_NE(html.find("id=\"clipped-warning\">Clipped: 45733 samples"), std::string::npos);
    EXPECT_NE(html.find("id=\"lost-warning\">Lost blocks: 5 "), std::string::npos);
    EXPECT_NE(html.find("no take that lost any is in the figures"), std::string::npos);
    EXPECT_EQ(factRow(html, "Clipped samples"), "45733; Output 1 \u2192 input 1: 45733");
    EXPECT_EQ(factRow(html, "Lost blocks"), "5");
    EXPECT_EQ(factRow(html, "Retakes"), "output 2 repeat 1: 3 attempts, blocks lost in each: 3, 2, "
                                        "0; output 2 repeat 2: 1 attempt, blocks lost in each: 4");
    EXPECT_NE(html.find("45733 samples at full scale (clipped)</p>"), std::string::npos);
    // One repeat: no averaging gain. An input of nothing but zeros is silent,
    // one whose noise was measured below it.
    EXPECT_EQ(factRow(html, "Repeats"), "1");
    EXPECT_EQ(factRow(html, "Repeats left out"), "none");
    EXPECT_NE(html.find("<td colspan=\"3\">silent</td>"), std::string::npos);
    EXPECT_NE(html.find("<td colspan=\"3\">below its noise</td>"), std::string::npos);
    EXPECT_EQ(count(html, "\u2014"), 0u);
}

TEST(ReportPage, RefusesWhatIsNoResultsDocument) {
    std::string html, error;
    for (const char* text :
         {"", "not json", "[1,2]", R"({"complete":true})", R"({"complete":true,"pairs":[1]})"}) {
        error.clear();
        EXPECT_FALSE(report::renderReport(text, noImpulse, &html, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

} // namespace
