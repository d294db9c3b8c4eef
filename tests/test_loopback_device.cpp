// What the loopback device reports and refuses, as its settings make it, and
// the call trace that shows every operation.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "loopback_fixture.h"

namespace {

TEST_F(LoopbackDriver, DefaultDeviceAnswersWithItsDefaults) {
    ASSERT_NE(open("Tandem Loopback"), nullptr);
    char name[32] = {};
    driver->getDriverName(name);
    EXPECT_STREQ(name, "Tandem Loopback");
    EXPECT_EQ(driver->getDriverVersion(), 1);
    int32_t in = 0, out = 0, low = 0, high = 0, preferred = 0, step = 0;
    EXPECT_EQ(driver->getChannels(&in, &out), ASE_OK);
    EXPECT_EQ(in, 8);
    EXPECT_EQ(out, 8);
    EXPECT_EQ(driver->getBufferSize(&low, &high, &preferred, &step), ASE_OK);
    EXPECT_EQ(low, 16);
    EXPECT_EQ(high, 8192);
    EXPECT_EQ(preferred, 256);
    EXPECT_EQ(step, 1);
    ASIOSampleRate rate = 0;
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000.0);
    for (double accepted : {44100.0, 48000.0, 96000.0})
        EXPECT_EQ(driver->canSampleRate(accepted), ASE_OK) << accepted;
    EXPECT_NE(driver->canSampleRate(22050.0), ASE_OK);
    EXPECT_NE(driver->setSampleRate(22050.0), ASE_OK);
    EXPECT_EQ(driver->setSampleRate(44100.0), ASE_OK);
    EXPECT_EQ(driver->getSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 44100.0);
    ASIOChannelInfo info = {};
    info.channel = 7;
    info.isInput = ASIOFalse;
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTInt32LSB);
    EXPECT_STREQ(info.name, "Out 8");
    info.channel = 8;
    EXPECT_NE(driver->getChannelInfo(&info), ASE_OK);
    ASIOClockSource clocks[2] = {};
    int32_t sources = 2;
    EXPECT_EQ(driver->getClockSources(clocks, &sources), ASE_OK);
    EXPECT_EQ(sources, 1);
    EXPECT_EQ(clocks[0].isCurrentSource, ASIOTrue);
}

TEST_F(LoopbackDriver, ComObjectAnswersOnlyItsOwnInterfaces) {
    ASSERT_TRUE(loadDriverByName("Tandem Loopback"));
    IUnknown* unknown = nullptr;
    ASSERT_EQ(currentDriver->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)),
              S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(currentDriver), unknown);
    unknown->Release();
    void* other = &other;
    EXPECT_EQ(currentDriver->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    // A class served by the module but neither the default nor configured.
    EXPECT_FALSE(loadDriverByName("LB Unconfigured"));
}

TEST_F(LoopbackDriver, SettingsShapeWhatTheDeviceReports) {
    ASSERT_NE(open("LB Custom"), nullptr);
    char name[32];
    std::memset(name, 'x', sizeof name);
    driver->getDriverName(name);
    EXPECT_STREQ(name, "LB Custom With A Name Longer Th");
    EXPECT_EQ(driver->getDriverVersion(), 7);
    int32_t in = 0, out = 0, low = 0, high = 0, preferred = 0, step = 0;
    driver->getChannels(&in, &out);
    EXPECT_EQ(in, 64);
    EXPECT_EQ(out, 128); // 1000 is more than the driver serves
    driver->getBufferSize(&low, &high, &preferred, &step);
    EXPECT_EQ(low, 32);
    EXPECT_EQ(high, 4096);
    EXPECT_EQ(preferred, 512);
    EXPECT_EQ(step, -1);
    ASIOSampleRate rate = 0;
    driver->getSampleRate(&rate);
    EXPECT_EQ(rate, 22050.0);
    EXPECT_EQ(driver->canSampleRate(44100.0), ASE_OK);
    EXPECT_NE(driver->canSampleRate(48000.0), ASE_OK);
    EXPECT_EQ(driver->getLatencies(&in, &out), ASE_OK);
    EXPECT_EQ(in, 512);
    EXPECT_EQ(out, 700 - 512);
    ASIOChannelInfo info = {};
    info.channel = 63;
    info.isInput = ASIOTrue;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Mic 64");
    info.isInput = ASIOFalse;
    info.channel = 0;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Spk 1");
    EXPECT_EQ(info.isActive, ASIOFalse);
    // Granularity -1: powers of two only.
    EXPECT_NE(create({0}, {0}, 500), ASE_OK);
    EXPECT_EQ(probe->infos[0].buffers[0], nullptr);
    ASSERT_EQ(create({0}, {0}, 1024), ASE_OK);
    EXPECT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.isActive, ASIOTrue);
    // A latency below the buffer is one buffer.
    EXPECT_EQ(driver->getLatencies(&in, &out), ASE_OK);
    EXPECT_EQ(in, 1024);
    EXPECT_EQ(out, 0);
}

TEST_F(LoopbackDriver, RefusedInitLeavesItsMessageAndAnswersNothing) {
    ASSERT_TRUE(loadDriverByName("LB Refuse Init"));
    EXPECT_EQ(currentDriver->init(nullptr), ASIOFalse);
    char message[124] = {};
    currentDriver->getErrorMessage(message);
    EXPECT_STREQ(message, "No cable");
    int32_t in = -1, out = -1;
    EXPECT_EQ(currentDriver->getChannels(&in, &out), ASE_NotPresent);
    unload();
    const std::vector<std::string> expected = {"create " + testClass(5), "init", "getErrorMessage",
                                               "getChannels", "release"};
    EXPECT_EQ(readLines(tracePath("init")), expected);
}

TEST_F(LoopbackDriver, SampleRateRefusalsAreSeparate) {
    ASSERT_NE(open("LB Refuse Can"), nullptr);
    EXPECT_EQ(driver->canSampleRate(48000.0), ASE_NoClock);
    EXPECT_EQ(driver->setSampleRate(48000.0), ASE_OK);
    ASSERT_NE(open("LB Refuse Set"), nullptr);
    EXPECT_EQ(driver->canSampleRate(48000.0), ASE_OK);
    EXPECT_EQ(driver->setSampleRate(48000.0), ASE_NoClock);
}

TEST_F(LoopbackDriver, FailedCreateBuffersLeavesNothingToRun) {
    ASSERT_NE(open("LB Fail Create"), nullptr);
    EXPECT_EQ(create({0, 1}, {0}, 256), ASE_NoMemory);
    for (const ASIOBufferInfo& info : probe->infos)
        EXPECT_EQ(info.buffers[0], nullptr);
    EXPECT_EQ(driver->start(), ASE_InvalidMode);
    driver->disposeBuffers();
    unload();
    const std::vector<std::string> expected = {"create " + testClass(8), "init",
                                               "createBuffers 3 256",    "start",
                                               "disposeBuffers",         "release"};
    EXPECT_EQ(readLines(tracePath("create")), expected);
}

TEST_F(LoopbackDriver, ChannelInfoFailsFromTheConfiguredChannelOn) {
    ASSERT_NE(open("LB Fail Info"), nullptr);
    ASIOChannelInfo info = {};
    for (int32_t isInput : {ASIOTrue, ASIOFalse}) {
        info.isInput = isInput;
        for (int32_t channel = 0; channel < 8; ++channel) {
            info.channel = channel;
            EXPECT_EQ(driver->getChannelInfo(&info) == ASE_OK, channel < 2) << channel;
        }
    }
}

TEST_F(LoopbackDriver, RefusedStartCallsNobody) {
    ASSERT_NE(open("LB Fail Start"), nullptr);
    ASSERT_EQ(create({0}, {0}, 256), ASE_OK);
    EXPECT_EQ(driver->start(), ASE_HWMalfunction);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(probe->calls.load(), 0);
    EXPECT_EQ(driver->disposeBuffers(), ASE_OK);
    unload();
    const std::vector<std::string> expected = {"create " + testClass(11), "init",
                                               "createBuffers 2 256",     "start",
                                               "disposeBuffers",          "release"};
    EXPECT_EQ(readLines(tracePath("start")), expected);
}

TEST_F(LoopbackDriver, TraceListsEveryOperationInOrder) {
    std::remove(tracePath("custom").c_str());
    ASSERT_NE(open("LB Custom"), nullptr);
    char text[124];
    driver->getDriverName(text);
    driver->getDriverVersion();
    driver->getErrorMessage(text);
    int32_t a, b, c, d;
    driver->getChannels(&a, &b);
    driver->getBufferSize(&a, &b, &c, &d);
    driver->canSampleRate(44100.0);
    driver->setSampleRate(44100.0);
    ASIOSampleRate rate;
    driver->getSampleRate(&rate);
    ASIOChannelInfo info = {};
    info.channel = 3;
    info.isInput = ASIOTrue;
    driver->getChannelInfo(&info);
    driver->setClockSource(0);
    ASSERT_EQ(create({0, 1}, {0}, 64), ASE_OK);
    driver->getLatencies(&a, &b);
    run(2);
    driver->controlPanel();
    driver->future(3, nullptr);
    driver->disposeBuffers();
    unload();
    const std::vector<std::string> expected = {"create " + testClass(4),
                                               "init",
                                               "getDriverName",
                                               "getDriverVersion",
                                               "getErrorMessage",
                                               "getChannels",
                                               "getBufferSize",
                                               "canSampleRate 44100",
                                               "setSampleRate 44100",
                                               "getSampleRate",
                                               "getChannelInfo 3 1",
                                               "setClockSource 0",
                                               "createBuffers 3 64",
                                               "getLatencies",
                                               "start",
                                               "stop",
                                               "controlPanel",
                                               "future 3",
                                               "disposeBuffers",
                                               "release"};
    std::vector<std::string> lines = readLines(tracePath("custom"));
    // Timings differ from run to run; they are checked where they are caused.
    for (std::string& line : lines)
        if (line.compare(0, 10, "stop late=") == 0)
            line.resize(4);
    EXPECT_EQ(lines, expected);
}

} // namespace
