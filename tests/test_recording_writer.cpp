#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "engine/device_state.h"
#include "engine/sample_stores.h"
#include "tests/wav_files.h"
#include "wav/recording_writer.h"
#include "wav/sample_conversion.h"
#include "wav/wav_header.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t u32At(const Bytes& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t u16At(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
std::string textAt(const Bytes& b, size_t at) {
    return std::string(b.begin() + at, b.begin() + at + 4);
}

// A record store of random native samples, as the buffer switch leaves it.
struct RecordingWriter : ::testing::Test {
    void fill(uint32_t channels, uint32_t frames, uint32_t width, unsigned seed = 1) {
        freeRecordStore();
        recordStore.channelCount = channels;
        recordStore.frameCount = frames;
        bytesPerSample = width;
        wavSampleRate = 48000;
        ASSERT_TRUE(allocateRecordStore());
        std::mt19937 random(seed);
        for (uint32_t c = 0; c < channels; ++c) {
            for (size_t i = 0; i < size_t{frames} * width; ++i)
                recordStore.blocks[c][i] = static_cast<uint8_t>(random());
            recordStore.cursors[c] = recordStore.blocks[c] + 5; // anywhere
        }
    }
    void TearDown() override { freeRecordStore(); }

    Bytes expectedSamples() const {
        const uint32_t channels = recordStore.channelCount;
        Bytes samples(size_t{recordStore.frameCount} * channels * 4);
        for (size_t f = 0; f < recordStore.frameCount; ++f)
            for (uint32_t c = 0; c < channels; ++c)
                recordSampleReference(recordStore.blocks[c] + f * bytesPerSample, bytesPerSample,
                                      &samples[4 * (f * channels + c)]);
        return samples;
    }
};

} // namespace

TEST_F(RecordingWriter, WritesTheCanonicalHeaderAndEveryFrame) {
    fill(2, 1024, 3);
    const std::string path = scratchPath("stereo.wav");
    ASSERT_EQ(writeRecording(path.c_str()), 0);
    const Bytes file = readFileBytes(path);
    ASSERT_EQ(file.size(), 8236u);
    EXPECT_EQ(textAt(file, 0), "RIFF");
    EXPECT_EQ(u32At(file, 4), 8228u);
    EXPECT_EQ(textAt(file, 8), "WAVE");
    EXPECT_EQ(textAt(file, 12), "fmt ");
    EXPECT_EQ(u32At(file, 16), 16u);
    EXPECT_EQ(u16At(file, 20), 3);
    EXPECT_EQ(u16At(file, 22), 2);
    EXPECT_EQ(u32At(file, 24), 48000u);
    EXPECT_EQ(u32At(file, 28), 384000u);
    EXPECT_EQ(u16At(file, 32), 8);
    EXPECT_EQ(u16At(file, 34), 32);
    EXPECT_EQ(textAt(file, 36), "data");
    EXPECT_EQ(u32At(file, 40), 8192u);
    EXPECT_EQ(Bytes(file.begin() + 44, file.end()), expectedSamples());
    for (uint32_t c = 0; c < 2; ++c)
        EXPECT_EQ(recordStore.cursors[c], recordStore.blocks[c] + 3072);

    uint32_t formatTag = 0, rate = 0, bits = 0, channels = 0, frames = 0;
    ASSERT_EQ(readWavHeader(path.c_str(), &formatTag, &rate, &bits, &channels, &frames), kWavOk);
    EXPECT_EQ(formatTag, 3u);
    EXPECT_EQ(bits, 32u);
    EXPECT_EQ(channels, 2u);
    EXPECT_EQ(rate, 48000u);
    EXPECT_EQ(frames, 1024u);
}

TEST_F(RecordingWriter, MonoAndNoChannelsAtAll) {
    fill(1, 256, 2);
    wavSampleRate = 44100;
    const std::string path = scratchPath("mono.wav");
    ASSERT_EQ(writeRecording(path.c_str()), 0);
    Bytes file = readFileBytes(path);
    EXPECT_EQ(u16At(file, 32), 4);
    EXPECT_EQ(u32At(file, 28), 4u * 44100);
    EXPECT_EQ(Bytes(file.begin() + 44, file.end()), expectedSamples());

    fill(0, 1024, 4);
    ASSERT_EQ(writeRecording(path.c_str()), 0);
    file = readFileBytes(path);
    ASSERT_EQ(file.size(), 44u) << "the header alone replaces the older file";
    EXPECT_EQ(u32At(file, 4), 36u);
    EXPECT_EQ(u16At(file, 22), 0);
    EXPECT_EQ(u32At(file, 28), 0u);
    EXPECT_EQ(u16At(file, 32), 0);
    EXPECT_EQ(u32At(file, 40), 0u);
}

// More than one working buffer of output at each width.
TEST_F(RecordingWriter, LargeRecordingsMatchThePerSampleRuleAtEveryWidth) {
    for (uint32_t width = 2; width <= 4; ++width) {
        fill(3, 100001, width, width);
        const std::string path = scratchPath("large.wav");
        ASSERT_EQ(writeRecording(path.c_str()), 0);
        const Bytes file = readFileBytes(path);
        ASSERT_EQ(file.size(), 44u + 3 * 100001 * 4);
        ASSERT_EQ(Bytes(file.begin() + 44, file.end()), expectedSamples()) << "width " << width;
    }
}

TEST_F(RecordingWriter, FailuresAreNeverReportedAsSuccess) {
    fill(2, 64, 2);
    EXPECT_EQ(writeRecording(scratchPath("no-such-folder/rec.wav").c_str()), 1);
    // A device that takes no bytes: the failure shows when the data is flushed.
    if (std::getenv("TANDEMWAV_NATIVE") == nullptr)
        GTEST_SKIP() << "/dev/full exists only natively";
    EXPECT_NE(writeRecording("/dev/full"), 0);
}
