// The report page from results.json: what the browser test does not see.
// Text from the device or the files stays text, one analysed recording gets a
// page without a matrix, an incomplete run says so, and input that is not a
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
