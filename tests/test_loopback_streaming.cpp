// Streaming through the loopback device: the loop at every sample width, the
// device clock, the switch the host chose, stopping and starting again.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "loopback_fixture.h"

namespace {

TEST_F(LoopbackDriver, LoopsSixteenBitSamplesOverALatencyOfPartBuffers) {
    loopAtWidth("LB Fast 16", 256, 2, 1000);
}

TEST_F(LoopbackDriver, LoopsTwentyFourBitSamplesOverALatencyOfPartBuffers) {
    loopAtWidth("LB Fast 24", 256, 3, 300);
}

TEST_F(LoopbackDriver, LoopsThirtyTwoBitSamplesOneBufferLate) {
    loopAtWidth("LB Fast 32", 64, 4, 64);
}

TEST_F(LoopbackDriver, LoopsAnyConfiguredTypeAtItsWidth) {
    ASSERT_NE(open("LB Float"), nullptr);
    ASIOChannelInfo info = {};
    info.isInput = ASIOTrue;
    ASSERT_EQ(driver->getChannelInfo(&info), ASE_OK);
    EXPECT_EQ(info.type, ASIOSTFloat32LSB);
    ASSERT_EQ(create({0}, {0}, 32, 10, 4), ASE_OK);
    run(10);
    expectLooped(0, 1, 100, 4);
}

// Lenient, so that a busy machine cannot make the positions jump here.
TEST_F(LoopbackDriver, RealTimeClockKeepsTheRateAndHandsOutTimeInfo) {
    ASSERT_NE(open("LB Lenient"), nullptr);
    const int blocks = 100;
    ASSERT_EQ(create({0, 1}, {0, 1}, 480, blocks), ASE_OK);
    const auto begin = SteadyClock::now();
    ASSERT_EQ(driver->start(), ASE_OK);
    ASSERT_TRUE(waitForCalls(blocks));
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - begin).count();
    EXPECT_EQ(driver->stop(), ASE_OK);
    // 100 halves of 480 frames at 48000 Hz: one second, loosely.
    EXPECT_GT(seconds, 0.9);
    EXPECT_LT(seconds, 3.0);
    const double timeNow = static_cast<double>(timeGetTime()) * 1e6;
    for (int n = 0; n < blocks; ++n) {
        ASSERT_TRUE(probe->withTimeInfo[n]);
        EXPECT_EQ(probe->halves[n], n % 2);
        const ASIOTimeInfo& time = probe->times[n].timeInfo;
        EXPECT_EQ(time.flags, kSystemTimeValid | kSamplePositionValid | kSampleRateValid);
        const double rate = time.sampleRate; // packed: no reference to it
        EXPECT_EQ(rate, 48000.0);
        EXPECT_EQ(asioWideValue(time.samplePosition.hi, time.samplePosition.lo), n * 480.0);
        EXPECT_EQ(asioWideValue(probe->positions[n].hi, probe->positions[n].lo), n * 480.0);
        const double stamp = asioWideValue(time.systemTime.hi, time.systemTime.lo);
        EXPECT_LE(timeNow - stamp, 5e9);
        EXPECT_GE(timeNow - stamp, 0.0);
    }
    expectLooped(0, 2, 480, 4);
    expectLooped(1, 3, 480, 4);
    // The host asked whether time information is welcome, in that order.
    ASSERT_GE(probe->messageCount.load(), 2);
    EXPECT_EQ(probe->messages[0], kAsioSelectorSupported);
    EXPECT_EQ(probe->messageValues[0], kAsioSupportsTimeInfo);
    EXPECT_EQ(probe->messages[1], kAsioSupportsTimeInfo);
}

TEST_F(LoopbackDriver, FreeRunningClockGoesAsFastAsTheHost) {
    ASSERT_NE(open("LB Fast 32"), nullptr);
    ASSERT_EQ(create({0}, {0}, 8192), ASE_OK);
    // 2000 halves would take 341 s on the real clock.
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(waitForCalls(2000, 30.0));
    EXPECT_EQ(driver->stop(), ASE_OK);
}

TEST_F(LoopbackDriver, NoSwitchAfterStopAndARestartBeginsAfresh) {
    ASSERT_NE(open("LB Fast 32"), nullptr);
    ASSERT_EQ(create({0}, {0}, 64, 30), ASE_OK);
    // Stopped from inside its switch 20, while material still plays.
    probe->stopInsideAt = 20;
    ASSERT_EQ(driver->start(), ASE_OK);
    EXPECT_TRUE(waitForCalls(21));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(probe->stopInsideResult, ASE_OK);
    EXPECT_EQ(probe->calls.load(), 21);
    EXPECT_EQ(driver->stop(), ASE_OK);
    // The second run hears nothing of the first one's material at first.
    probe->stopInsideAt = -1;
    probe->calls = 0;
    std::fill(probe->record[0].begin(), probe->record[0].end(), 0xEE);
    run(30);
    const int seen = probe->calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(probe->calls.load(), seen);
    expectLooped(0, 1, 64, 4);
    EXPECT_EQ(asioWideValue(probe->times[0].timeInfo.samplePosition.hi,
                            probe->times[0].timeInfo.samplePosition.lo),
              0.0);
    ASIOSamples position;
    ASIOTimeStamp stamp;
    EXPECT_EQ(driver->getSamplePosition(&position, &stamp), ASE_SPNotAdvancing);
}

TEST_F(LoopbackDriver, PlainBufferSwitchWhenForcedOrWhenTheHostDeclines) {
    ASSERT_NE(open("LB Plain"), nullptr);
    ASSERT_EQ(create({0}, {0}, 128), ASE_OK);
    run(6);
    for (int n = 0; n < 6; ++n) {
        EXPECT_FALSE(probe->withTimeInfo[n]);
        EXPECT_EQ(probe->positionResults[n], ASE_OK);
        EXPECT_EQ(asioWideValue(probe->positions[n].hi, probe->positions[n].lo), n * 128.0);
    }
    driver->disposeBuffers();
    unload();
    delete probe;
    probe = new Probe();
    probe->answerTimeInfo = 0;
    ASSERT_NE(open("LB Fast 16"), nullptr);
    ASSERT_EQ(create({0}, {0}, 128, 0, 2), ASE_OK);
    run(3);
    EXPECT_FALSE(probe->withTimeInfo[0]);
}

TEST_F(LoopbackDriver, NullBufferIsHandedOutButTheRestStillLoops) {
    ASSERT_NE(open("LB Null Buffer"), nullptr);
    ASSERT_EQ(create({0, 1}, {0, 1}, 64, 10), ASE_OK);
    EXPECT_NE(probe->infos[1].buffers[0], nullptr);
    EXPECT_EQ(probe->infos[1].buffers[1], nullptr);
    EXPECT_NE(probe->infos[0].buffers[1], nullptr);
    run(10);
    EXPECT_TRUE(probe->nullHalfSeen);
    expectLooped(0, 2, 64, 4);
}

} // namespace
