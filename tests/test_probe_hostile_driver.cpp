// The probe against a driver that answers with everything a bad driver can:
// impossible channel counts, unterminated names with control bytes, a type
// outside the table, descriptions failing part way, a NaN rate, more clock
// sources than asked for. Its facts stay within bounds and its JSON within
// printable ASCII, valid UTF-8 text escaped and other bytes replaced.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "driversession/device_facts.h"
#include "driversession/driver_session.h"
#include "fake_driver.h"
#include "probe/json_report.h"
#include "probe/verdict.h"

namespace {

class HostileDriver : public FakeDriver {
  public:
    ASIOError STDMETHODCALLTYPE getChannels(int32_t* in, int32_t* out) override {
        *in = -5;
        *out = INT32_MAX;
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE getChannelInfo(ASIOChannelInfo* info) override {
        if (info->channel >= 2)
            return ASE_NotPresent;
        std::memset(info->name, '\x01', sizeof info->name);
        std::memcpy(info->name, "\"q\\\xff", 4);
        info->type = 99;
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE getBufferSize(int32_t* low, int32_t* high, int32_t* preferred,
                                              int32_t* step) override {
        *low = 64;
        *high = 32;
        *preferred = 48;
        *step = 0;
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE getSampleRate(ASIOSampleRate* rate) override {
        *rate = std::nan("");
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE getClockSources(ASIOClockSource* clocks, int32_t* count) override {
        std::memset(clocks, 'c', sizeof(ASIOClockSource) * static_cast<size_t>(*count));
        *count = 1000;
        return ASE_OK;
    }
};

TEST(ProbeWithAHostileDriver, FactsStayInBoundsAndTheJsonStaysPrintable) {
    HostileDriver driver;
    currentDriver = &driver;
    DriverSession session;
    DeviceFacts facts;
    facts.requestedName = "bad\ndriver";
    ASSERT_TRUE(gatherDeviceFacts(session, facts));
    currentDriver = nullptr;

    EXPECT_EQ(facts.inputs.reportedCount, -5);
    EXPECT_TRUE(facts.inputs.channels.empty());
    ASSERT_EQ(facts.outputs.channels.size(), 2u);
    EXPECT_EQ(facts.outputs.infoFailedAt, 3);
    EXPECT_EQ(facts.outputs.channels[1].name.size(), 32u);
    EXPECT_EQ(facts.clocks.size(), 32u);
    EXPECT_EQ(facts.latency.bufferFrames, 0); // no length fits: nothing created
    EXPECT_TRUE(driver.requested.empty());

    const Verdict verdict = judgeDevice(facts);
    EXPECT_FALSE(verdict.usable);
    EXPECT_EQ(verdict.reason, "native format an unknown sample type: tandemwav plays only 16, 24 "
                              "and 32-bit integer devices");

    const std::string json = deviceJson(facts, verdict);
    for (const unsigned char c : json)
        ASSERT_TRUE(c >= 0x20 && c < 0x7f) << "byte " << int(c);
    // A byte that is not UTF-8 is replaced, control bytes escaped.
    EXPECT_NE(json.find(R"("name":"\"q\\\ufffd\u0001)"), std::string::npos);
    EXPECT_NE(json.find(R"("requestedName":"bad\ndriver")"), std::string::npos);
    EXPECT_NE(json.find(R"("current":null)"), std::string::npos);
    DeviceFacts named;
    named.requestedName = "\xc3\x9c"
                          "ber";
    EXPECT_NE(failureJson(named, 4, "").find(R"("requestedName":"\u00dcber")"), std::string::npos);
}

} // namespace
