#include <gtest/gtest.h>

#include <vector>

#include "engine/callbacks.h"
#include "engine/device_state.h"
#include "engine/sample_stores.h"
#include "tests/fake_driver.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kFrames = 4;   // frames per buffer half
constexpr uint32_t kWidth = 2;    // bytes per sample
constexpr uint32_t kSwitches = 4; // blocks of material
constexpr uint32_t kHalfBytes = kFrames * kWidth;
constexpr uint32_t kBlockBytes = kSwitches * kHalfBytes;

// Two record and two playback channels with their halves held here, a
// material of four blocks with a distinct byte per position, and a fake
// driver that counts outputReady and answers getSamplePosition.
struct BufferSwitch : ::testing::Test {
    CurrentFakeDriver fake;
    FakeDriver& driver = fake.driver;
    std::vector<Bytes> halves;   // entry k, half h at 2k + h
    std::vector<Bytes> material; // per playback channel
    std::vector<uint8_t*> playBlocks;
    std::vector<uint8_t*> playCursors;
    uint32_t lostBefore = 0;

    void SetUp() override { build(2, 2); }
    void TearDown() override {
        disarmBufferSwitch();
        freeRecordStore();
        playbackStore.blocks = nullptr;
        playbackStore.cursors = nullptr;
    }

    void build(int32_t inputs, int32_t outputs) {
        bufferSize = kFrames;
        bytesPerSample = kWidth;
        deviceState.stopped.store(0);
        deviceState.inputBufferCount = inputs;
        deviceState.outputBufferCount = outputs;
        halves.assign(2 * static_cast<size_t>(inputs + outputs), Bytes(kHalfBytes, 0xEE));
        for (int32_t k = 0; k < inputs + outputs; ++k) {
            deviceState.bufferInfos[k].isInput = k < inputs ? 1 : 0;
            deviceState.bufferInfos[k].buffers[0] = halves[2 * k].data();
            deviceState.bufferInfos[k].buffers[1] = halves[2 * k + 1].data();
        }
        material.assign(outputs, Bytes(kBlockBytes));
        playBlocks.clear();
        for (int32_t j = 0; j < outputs; ++j) {
            for (uint32_t i = 0; i < kBlockBytes; ++i)
                material[j][i] = static_cast<uint8_t>(0x40 * j + i);
            playBlocks.push_back(material[j].data());
        }
        playCursors = playBlocks;
        playbackStore.channelCount = static_cast<uint32_t>(outputs);
        playbackStore.blocks = playBlocks.data();
        playbackStore.cursors = playCursors.data();
        playbackStore.remainingFrames = kSwitches * kFrames;
        freeRecordStore();
        recordStore.channelCount = static_cast<uint32_t>(inputs);
        recordStore.frameCount = kSwitches * kFrames;
        ASSERT_TRUE(allocateRecordStore());
        armBufferSwitch();
        lostBefore = lostBlockCount();
    }

    Bytes& half(int32_t entry, int32_t h) { return halves[2 * entry + h]; }

    // Distinct input for switch s on record channel i.
    void feedInputs(uint32_t s) {
        for (int32_t i = 0; i < deviceState.inputBufferCount; ++i)
            for (int h = 0; h < 2; ++h)
                for (uint32_t b = 0; b < kHalfBytes; ++b)
                    half(i, h)[b] = static_cast<uint8_t>(0x80 + 0x20 * i + 8 * s + b);
    }

    void switchAt(int32_t h, uint32_t position, bool positionValid = true) {
        ASIOTime time{};
        time.timeInfo.flags = positionValid ? uint32_t{kSamplePositionValid} : 0u;
        time.timeInfo.samplePosition.lo = position;
        EXPECT_EQ(onBufferSwitchTimeInfo(&time, h, ASIOFalse), nullptr);
    }

    uint32_t lost() const { return lostBlockCount() - lostBefore; }
    std::vector<Bytes> snapshotHalves() const { return halves; }
};

Bytes slice(const uint8_t* from, uint32_t bytes) {
    return Bytes(from, from + bytes);
}

} // namespace

TEST_F(BufferSwitch, PlaysAndRecordsExactlyTheMaterialThenStops) {
    for (uint32_t s = 0; s < kSwitches; ++s) {
        const int32_t h = static_cast<int32_t>(s % 2);
        feedInputs(s);
        EXPECT_EQ(deviceState.stopped.load(), 0) << "before switch " << s + 1;
        switchAt(h, s * kFrames);
        for (int32_t j = 0; j < 2; ++j)
            EXPECT_EQ(half(2 + j, h), slice(&material[j][s * kHalfBytes], kHalfBytes)) << s;
        for (int32_t i = 0; i < 2; ++i)
            EXPECT_EQ(slice(recordStore.blocks[i] + s * kHalfBytes, kHalfBytes), half(i, h)) << s;
    }
    EXPECT_EQ(deviceState.stopped.load(), 1);
    EXPECT_EQ(playbackStore.remainingFrames, 0u);
    EXPECT_EQ(driver.outputReadyCalls, 4);
    EXPECT_EQ(lost(), 0u);
    for (int32_t c = 0; c < 2; ++c) {
        EXPECT_EQ(recordStore.cursors[c], recordStore.blocks[c] + kBlockBytes);
        EXPECT_EQ(playbackStore.cursors[c], playbackStore.blocks[c] + kBlockBytes);
    }

    // After the stop: silence out, nothing recorded, nothing moves.
    const Bytes recorded = slice(recordStore.blocks[1], kBlockBytes);
    feedInputs(9);
    const Bytes otherHalf = half(2, 1);
    switchAt(0, 4 * kFrames);
    switchAt(0, 99); // positions no longer count once stopped
    EXPECT_EQ(half(2, 0), Bytes(kHalfBytes, 0));
    EXPECT_EQ(half(3, 0), Bytes(kHalfBytes, 0));
    EXPECT_EQ(half(2, 1), otherHalf);
    EXPECT_EQ(slice(recordStore.blocks[1], kBlockBytes), recorded);
    EXPECT_EQ(recordStore.cursors[0], recordStore.blocks[0] + kBlockBytes);
    EXPECT_EQ(playbackStore.cursors[0], playbackStore.blocks[0] + kBlockBytes);
    EXPECT_EQ(deviceState.stopped.load(), 1);
    EXPECT_EQ(playbackStore.remainingFrames, 0u) << "the countdown holds at the stop";
    EXPECT_EQ(driver.outputReadyCalls, 6);
    EXPECT_EQ(lost(), 0u);
}

TEST_F(BufferSwitch, AHalfIndexOfOneTouchesOnlyTheSecondHalves) {
    feedInputs(0);
    for (int32_t k = 0; k < 4; ++k)
        half(k, 0).assign(kHalfBytes, 0x11);
    switchAt(1, 0);
    for (int32_t k = 0; k < 4; ++k)
        EXPECT_EQ(half(k, 0), Bytes(kHalfBytes, 0x11)) << k;
    EXPECT_EQ(half(2, 1), slice(material[0].data(), kHalfBytes));
    EXPECT_EQ(slice(recordStore.blocks[0], kHalfBytes), half(0, 1));
}

TEST_F(BufferSwitch, WithoutRecordChannelsItOnlyPlaysAndStopsTheSame) {
    build(0, 2);
    for (uint32_t s = 0; s < kSwitches; ++s)
        switchAt(static_cast<int32_t>(s % 2), s * kFrames);
    EXPECT_EQ(half(0, 1), slice(&material[0][3 * kHalfBytes], kHalfBytes));
    EXPECT_EQ(half(1, 1), slice(&material[1][3 * kHalfBytes], kHalfBytes));
    EXPECT_EQ(deviceState.stopped.load(), 1);
}

TEST_F(BufferSwitch, BeforeArmingItPlaysSilenceAndChangesNothingElse) {
    disarmBufferSwitch();
    feedInputs(0);
    switchAt(0, 0);
    switchAt(1, 123);
    switchAt(7, 5);
    EXPECT_EQ(half(2, 0), Bytes(kHalfBytes, 0));
    EXPECT_EQ(half(3, 1), Bytes(kHalfBytes, 0));
    EXPECT_EQ(playbackStore.remainingFrames, kSwitches * kFrames);
    EXPECT_EQ(playbackStore.cursors[0], playbackStore.blocks[0]);
    EXPECT_EQ(recordStore.cursors[1], recordStore.blocks[1]);
    EXPECT_EQ(deviceState.stopped.load(), 0);
    EXPECT_EQ(driver.outputReadyCalls, 3);
    EXPECT_EQ(lost(), 0u);

    // Armed, the run then proceeds from the first block, with a fresh history.
    armBufferSwitch();
    switchAt(0, 1000);
    EXPECT_EQ(half(2, 0), slice(material[0].data(), kHalfBytes));
    EXPECT_EQ(slice(recordStore.blocks[0], kHalfBytes), half(0, 0));
    switchAt(1, 1000 + kFrames);
    EXPECT_EQ(lost(), 0u);
    EXPECT_EQ(playbackStore.remainingFrames, 2 * kFrames);
}

TEST_F(BufferSwitch, ABadHalfIndexTouchesNoBufferAndCountsAsLost) {
    feedInputs(0);
    const std::vector<Bytes> before = snapshotHalves();
    switchAt(2, 0);
    switchAt(-1, kFrames);
    switchAt(INT32_MIN, 2 * kFrames);
    EXPECT_EQ(snapshotHalves(), before);
    EXPECT_EQ(lost(), 3u);
    EXPECT_EQ(playbackStore.remainingFrames, kSwitches * kFrames);
    EXPECT_EQ(playbackStore.cursors[1], playbackStore.blocks[1]);
    EXPECT_EQ(recordStore.cursors[0], recordStore.blocks[0]);
    // Its position still counts as the driver's step, so the next one follows.
    switchAt(0, 3 * kFrames);
    EXPECT_EQ(lost(), 3u);
    EXPECT_EQ(half(2, 0), slice(material[0].data(), kHalfBytes));
}

TEST_F(BufferSwitch, PositionsThatDoNotFollowByOneBufferCountAsLost) {
    switchAt(0, 5000);     // the first has nothing to follow
    switchAt(1, 0, false); // no position: the expectation moves on all the same
    switchAt(0, 5000 + 2 * kFrames);
    EXPECT_EQ(lost(), 0u);
    switchAt(1, 5000 + 4 * kFrames); // one buffer skipped
    EXPECT_EQ(lost(), 1u);
    EXPECT_EQ(deviceState.stopped.load(), 1);

    // A repeated position counts as well, and only while playing.
    build(2, 2);
    switchAt(0, 64);
    switchAt(1, 64);
    EXPECT_EQ(lost(), 1u);
    switchAt(0, 64 + kFrames);
    switchAt(1, 64 + 2 * kFrames);
    EXPECT_EQ(lost(), 1u);
}

TEST_F(BufferSwitch, TimeValuesFollowTheirValidityBits) {
    ASIOTime time{};
    time.timeInfo.flags = kSystemTimeValid | kSamplePositionValid;
    time.timeInfo.systemTime = {2, 5};
    time.timeInfo.samplePosition = {1, 7};
    time.timeCode.flags = kTcValid;
    time.timeCode.timeCodeSamples = {0, 9};
    time.reserved[2] = 42;
    const uint32_t clockBefore = timeGetTime();
    onBufferSwitchTimeInfo(&time, 0, ASIOFalse);
    const uint32_t clockAfter = timeGetTime();
    EXPECT_EQ(deviceState.systemTime, 2 * 4294967296.0 + 5);
    EXPECT_EQ(deviceState.samplePosition.load(), 4294967296.0 + 7);
    EXPECT_EQ(deviceState.timeCodeSamples, 9.0);
    EXPECT_EQ(deviceState.timeInfo.reserved[2], 42);
    EXPECT_LE(deviceState.lastSwitchTimeMs.load() - clockBefore, clockAfter - clockBefore);

    time.timeInfo.flags = kSystemTimeValid;
    time.timeCode.flags = kTcRunning;
    onBufferSwitchTimeInfo(&time, 1, ASIOFalse);
    EXPECT_EQ(deviceState.systemTime, 2 * 4294967296.0 + 5);
    EXPECT_EQ(deviceState.samplePosition.load(), 0.0);
    EXPECT_EQ(deviceState.timeCodeSamples, 0.0);
}

TEST_F(BufferSwitch, WithoutTimeInfoThePositionIsAskedFor) {
    driver.position = {0, 640};
    driver.stamp = {0, 77};
    feedInputs(0);
    onBufferSwitch(0, ASIOTrue);
    EXPECT_EQ(deviceState.samplePosition.load(), 640.0);
    EXPECT_EQ(deviceState.systemTime, 77.0);
    EXPECT_EQ(deviceState.timeInfo.timeInfo.flags, kSystemTimeValid | kSamplePositionValid);
    EXPECT_EQ(half(2, 0), slice(material[0].data(), kHalfBytes));

    // A failing position: both values 0, the blocks unaffected.
    driver.positionResult = ASE_SPNotAdvancing;
    feedInputs(1);
    onBufferSwitch(1, ASIOTrue);
    EXPECT_EQ(deviceState.samplePosition.load(), 0.0);
    EXPECT_EQ(deviceState.systemTime, 0.0);
    EXPECT_EQ(deviceState.timeInfo.timeInfo.flags, 0u);
    EXPECT_EQ(half(3, 1), slice(&material[1][kHalfBytes], kHalfBytes));
    EXPECT_EQ(slice(recordStore.blocks[1] + kHalfBytes, kHalfBytes), half(1, 1));
    EXPECT_EQ(driver.outputReadyCalls, 2);
}

TEST_F(BufferSwitch, WithNoDriverAtAllTheBlocksStillMove) {
    currentDriver = nullptr; // ASIOGetSamplePosition and ASIOOutputReady answer -1000
    deviceState.samplePosition.store(55.0);
    onBufferSwitch(0, ASIOFalse);
    EXPECT_EQ(deviceState.samplePosition.load(), 0.0);
    EXPECT_EQ(half(2, 0), slice(material[0].data(), kHalfBytes));
    EXPECT_EQ(playbackStore.remainingFrames, (kSwitches - 1) * kFrames);
}

TEST_F(BufferSwitch, ANullHalfIsNeverWrittenThrough) {
    deviceState.bufferInfos[0].buffers[0] = nullptr;
    deviceState.bufferInfos[2].buffers[0] = nullptr;
    for (uint32_t i = 0; i < kBlockBytes; ++i)
        recordStore.blocks[0][i] = 0x99;
    switchAt(0, 0);
    EXPECT_EQ(slice(recordStore.blocks[0], kHalfBytes), Bytes(kHalfBytes, 0));
    EXPECT_EQ(half(3, 0), slice(material[1].data(), kHalfBytes));
    EXPECT_EQ(recordStore.cursors[0], recordStore.blocks[0] + kHalfBytes);
}

TEST(AsioMessage, AnswersEverySelector) {
    const uint32_t before = lostBlockCount();
    for (int32_t value = -1; value <= 16; ++value) {
        const bool supported = value == 2 || value == 3 || value == 5 || value == 6 || value == 7 ||
                               value == 8 || value == 10;
        EXPECT_EQ(onAsioMessage(kAsioSelectorSupported, value, nullptr, nullptr), supported ? 1 : 0)
            << "supported? " << value;
    }
    EXPECT_EQ(onAsioMessage(kAsioEngineVersion, 0, nullptr, nullptr), 2);
    EXPECT_EQ(onAsioMessage(kAsioLatenciesChanged, 0, nullptr, nullptr), 1);
    EXPECT_EQ(onAsioMessage(kAsioSupportsTimeInfo, 0, nullptr, nullptr), 1);
    for (int32_t selector : {-1, 0, 4, 8, 9, 10, 11, 12, 13, 14, 15, 16, 1000})
        EXPECT_EQ(onAsioMessage(selector, 1, nullptr, nullptr), 0) << selector;
    EXPECT_EQ(lostBlockCount(), before) << "questions are not faults";
    EXPECT_EQ(onAsioMessage(kAsioResetRequest, 0, nullptr, nullptr), 1);
    EXPECT_EQ(onAsioMessage(kAsioResyncRequest, 0, nullptr, nullptr), 1);
    EXPECT_EQ(lostBlockCount(), before + 2);
    onSampleRateDidChange(96000.0); // ignored
    EXPECT_EQ(lostBlockCount(), before + 2);
}
