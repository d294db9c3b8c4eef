#include <gtest/gtest.h>

#include <algorithm>

#include "engine/channel_buffers.h"
#include "engine/device_state.h"
#include "engine/sample_stores.h"
#include "tests/failing_allocation.h"
#include "tests/fake_driver.h"

namespace {

struct ChannelBuffers : ::testing::Test {
    CurrentFakeDriver fake;
    FakeDriver& driver = fake.driver;
    void SetUp() override {
        deviceState.inputBufferCount = -7;
        deviceState.outputBufferCount = -7;
    }
};

} // namespace

TEST_F(ChannelBuffers, RecordChannelsComeFirstThenPlaybackChannels) {
    ASSERT_EQ(createChannelBuffers(256, 2, 1, 2, 3), ASE_OK);
    EXPECT_EQ(deviceState.inputBufferCount, 2);
    EXPECT_EQ(deviceState.outputBufferCount, 2);
    ASSERT_EQ(driver.requested.size(), 4u);
    EXPECT_EQ(driver.requestedFrames, 256);
    EXPECT_EQ(driver.requestedCallbacks, &hostCallbacks);
    const int expectedInput[] = {1, 1, 0, 0};
    const int expectedChannel[] = {0, 1, 2, 3};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(driver.requested[k].isInput, expectedInput[k]) << k;
        EXPECT_EQ(driver.requested[k].channelNum, expectedChannel[k]) << k;
        EXPECT_EQ(driver.requested[k].buffers[0], nullptr) << "cleared before the call";
        EXPECT_EQ(deviceState.bufferInfos[k].buffers[1], driver.halves[2 * k + 1].data()) << k;
    }
    ASSERT_EQ(driver.queried.size(), 4u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(driver.queried[k].channel, expectedChannel[k]) << k;
        EXPECT_EQ(driver.queried[k].isInput, expectedInput[k]) << k;
        EXPECT_EQ(deviceState.channelInfos[k].type, ASIOSTInt16LSB) << k;
    }
}

TEST_F(ChannelBuffers, SixtyFourEachWayFillAllEntries) {
    ASSERT_EQ(createChannelBuffers(32, 64, 1, 64, 1), ASE_OK);
    ASSERT_EQ(driver.requested.size(), 128u);
    for (int k = 0; k < 128; ++k) {
        EXPECT_EQ(deviceState.bufferInfos[k].isInput, k < 64 ? 1 : 0) << k;
        EXPECT_EQ(deviceState.bufferInfos[k].channelNum, k % 64) << k;
        EXPECT_EQ(deviceState.channelInfos[k].channel, k % 64) << k;
    }
}

TEST_F(ChannelBuffers, WithoutRecordChannelsTheFirstPlaybackChannelSetsTheWidth) {
    driver.sampleType = ASIOSTInt24LSB;
    ASSERT_EQ(createChannelBuffers(64, 0, 1, 2, 5), ASE_OK);
    EXPECT_EQ(deviceState.inputBufferCount, 0);
    EXPECT_EQ(deviceState.bufferInfos[0].isInput, 0);
    EXPECT_EQ(deviceState.bufferInfos[0].channelNum, 4);
    EXPECT_EQ(nativeBytesPerSample(), 3u);
}

TEST_F(ChannelBuffers, FailuresAreReturnedAndStopTheChannelQueries) {
    driver.createResult = ASE_HWMalfunction;
    EXPECT_EQ(createChannelBuffers(64, 1, 1, 1, 1), ASE_HWMalfunction);
    EXPECT_TRUE(driver.queried.empty());

    driver.createResult = ASE_OK;
    driver.failChannelInfoAt = 1;
    EXPECT_EQ(createChannelBuffers(64, 2, 1, 2, 1), ASE_InvalidParameter);
    EXPECT_EQ(driver.queried.size(), 1u) << "entries after the failure are not queried";
}

TEST_F(ChannelBuffers, ADriverThatLeavesABufferNullIsRefused) {
    driver.nullHalfEntry = 2;
    EXPECT_NE(createChannelBuffers(64, 1, 1, 2, 1), ASE_OK);
    EXPECT_TRUE(driver.queried.empty());
}

TEST_F(ChannelBuffers, CountsBeyondTheArraysNeverReachTheDriver) {
    EXPECT_NE(createChannelBuffers(64, 65, 1, 1, 1), ASE_OK);
    EXPECT_NE(createChannelBuffers(64, 1, 1, 65, 1), ASE_OK);
    EXPECT_NE(createChannelBuffers(64, -1, 1, 2, 1), ASE_OK);
    EXPECT_TRUE(driver.requested.empty());
}

TEST(NativeFormat, OnlyLittleEndianIntegersOfTwoThreeOrFourBytesOnEveryChannelInUse) {
    const struct {
        ASIOSampleType type;
        uint32_t width;
    } cases[] = {{ASIOSTInt16LSB, 2},   {ASIOSTInt24LSB, 3},   {ASIOSTInt32LSB, 4},
                 {ASIOSTFloat32LSB, 0}, {ASIOSTInt16MSB, 0},   {ASIOSTInt32MSB, 0},
                 {ASIOSTInt32LSB24, 0}, {ASIOSTFloat64LSB, 0}, {-1, 0}};
    deviceState.inputBufferCount = 1;
    deviceState.outputBufferCount = 1;
    for (const auto& c : cases) {
        deviceState.channelInfos[0].type = c.type;
        deviceState.channelInfos[1].type = c.type;
        deviceState.channelInfos[2].type = ASIOSTInt16LSB; // not in use
        EXPECT_EQ(nativeBytesPerSample(), c.width) << "type " << c.type;
    }
    // Inputs of 4 bytes and outputs of 2 would have the switch write past the outputs.
    deviceState.channelInfos[0].type = ASIOSTInt32LSB;
    deviceState.channelInfos[1].type = ASIOSTInt16LSB;
    EXPECT_EQ(nativeBytesPerSample(), 0u);
}

TEST(RecordStore, OneBlockPerChannelOfTheRecordedLength) {
    recordStore.channelCount = 2;
    recordStore.frameCount = 1024;
    bytesPerSample = 3;
    ASSERT_TRUE(allocateRecordStore());
    for (uint32_t c = 0; c < 2; ++c) {
        ASSERT_EQ(recordStore.cursors[c], recordStore.blocks[c]);
        // The whole block is writable (the sanitizer build checks the bounds).
        for (uint32_t i = 0; i < 3072; ++i)
            recordStore.blocks[c][i] = static_cast<uint8_t>(i);
        EXPECT_EQ(recordStore.blocks[c][3071], static_cast<uint8_t>(3071));
    }
    EXPECT_NE(recordStore.blocks[0], recordStore.blocks[1]);
    freeRecordStore();
    EXPECT_EQ(recordStore.blocks, nullptr);
    freeRecordStore(); // a second release does nothing
}

// 64 channels of 3-byte samples, 32 frames a switch (192 kHz): the switch
// that first writes into a page pays for it (a trap on some virtual machines,
// a TLB miss everywhere), so at most two channels may enter a new page in one
// switch. Unstaggered, large blocks all begin at the same offset in their
// first page and all 64 enter their next page in the same switch.
TEST(RecordStore, ChannelsEnterNewPagesInDifferentSwitches) {
    constexpr uintptr_t kPage = 4096;
    constexpr uintptr_t kSwitchBytes = 32 * 3;
    recordStore.channelCount = 64;
    recordStore.frameCount = 1 << 18; // 768 KiB a channel: blocks of their own mapping
    bytesPerSample = 3;
    ASSERT_TRUE(allocateRecordStore());
    int most = 0;
    for (uintptr_t s = 1; s < 3 * kPage / kSwitchBytes; ++s) {
        int entering = 0;
        for (uint32_t c = 0; c < 64; ++c) {
            const uintptr_t start = reinterpret_cast<uintptr_t>(recordStore.blocks[c]);
            entering += (start + (s + 1) * kSwitchBytes - 1) / kPage !=
                        (start + s * kSwitchBytes - 1) / kPage;
        }
        most = std::max(most, entering);
    }
    EXPECT_LE(most, 2);
    freeRecordStore();
}

TEST(RecordStore, NoChannelsNeedNoBlocks) {
    recordStore.channelCount = 0;
    recordStore.frameCount = 1024;
    bytesPerSample = 2;
    refuseCheckedAllocation(-1);
    ASSERT_TRUE(allocateRecordStore());
    EXPECT_EQ(checkedAllocationsSeen(), 2) << "only the two arrays";
    freeRecordStore();
}

TEST(RecordStore, ARefusedAllocationReleasesEverythingAndReportsIt) {
    recordStore.channelCount = 3;
    recordStore.frameCount = 512;
    bytesPerSample = 4;
    // Two arrays and three blocks: refuse each one in turn. Leaks would show
    // in the sanitizer build.
    for (long n = 0; n < 5; ++n) {
        recordStore.blocks = nullptr;
        refuseCheckedAllocation(n);
        EXPECT_FALSE(allocateRecordStore()) << n;
        EXPECT_EQ(recordStore.blocks, nullptr) << n;
    }
    refuseCheckedAllocation(-1);
}

TEST(RecordStore, ABlockOfFourGigabytesIsRefusedBeforeAllocating) {
    recordStore.channelCount = 1;
    recordStore.frameCount = 0x40000000u;
    bytesPerSample = 4;
    refuseCheckedAllocation(-1);
    EXPECT_FALSE(allocateRecordStore());
    EXPECT_EQ(checkedAllocationsSeen(), 0);
}
