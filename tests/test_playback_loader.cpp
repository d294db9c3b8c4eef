#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "engine/device_state.h"
#include "engine/sample_stores.h"
#include "tests/failing_allocation.h"
#include "tests/wav_files.h"
#include "wav/playback_loader.h"
#include "wav/sample_conversion.h"
#include "wav/wav_header.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Native bytes of channel c as the per-sample rule makes them from the
// interleaved samples, with `padded` frames in all.
Bytes expectedBlock(const std::vector<float>& samples, uint32_t channels, uint32_t c,
                    uint32_t width, uint32_t padded) {
    Bytes block(static_cast<size_t>(padded) * width, 0);
    uint8_t file[4];
    for (size_t f = 0; f * channels + c < samples.size(); ++f) {
        floatToLittleEndian(samples[f * channels + c], file);
        playbackSampleReference(file, width, &block[f * width]);
    }
    return block;
}

Bytes loadedBlock(uint32_t c) {
    return Bytes(playbackStore.blocks[c],
                 playbackStore.blocks[c] + size_t{playbackStore.remainingFrames} * bytesPerSample);
}

std::vector<float> randomSamples(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> audio(-1.1f, 1.1f);
    std::vector<float> samples(count);
    for (float& s : samples)
        s = audio(random);
    return samples;
}

struct PlaybackLoader : ::testing::Test {
    void SetUp() override {
        bufferSize = 256;
        bytesPerSample = 2;
        playbackStore = PlaybackStore{};
        refuseCheckedAllocation(-1);
    }
    void TearDown() override {
        freePlaybackStore();
        refuseCheckedAllocation(-1);
    }
    int load(const Bytes& file, const char* name = "play.wav") {
        const std::string path = scratchPath(name);
        writeFileBytes(path, file);
        return loadPlaybackSamples(path.c_str());
    }
};

} // namespace

TEST_F(PlaybackLoader, SplitsChannelsAndPadsToWholeBuffers) {
    WavSpec spec;
    spec.channels = 2;
    std::vector<float> samples(2000);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<float>(i) / 4096.0f * (i % 2 ? -1.0f : 1.0f);
    ASSERT_EQ(load(floatWav(spec, samples)), kWavOk);
    EXPECT_EQ(playbackStore.channelCount, 2u);
    EXPECT_EQ(playbackStore.remainingFrames, 1024u);
    for (uint32_t c = 0; c < 2; ++c) {
        EXPECT_EQ(playbackStore.cursors[c], playbackStore.blocks[c]);
        EXPECT_EQ(loadedBlock(c), expectedBlock(samples, 2, c, 2, 1024)) << c;
    }
    // Block 1 holds the odd samples: sample 3 is -3/4096, 24 frames of padding.
    EXPECT_EQ(playbackStore.blocks[1][2], 0xE9); // -23 = 0xFFE9
    EXPECT_EQ(playbackStore.blocks[1][3], 0xFF);
    EXPECT_EQ(Bytes(playbackStore.blocks[0] + 2000, playbackStore.blocks[0] + 2048), Bytes(48, 0));
}

TEST_F(PlaybackLoader, LengthsThatAreWholeBuffersStayAndOneFrameFillsABuffer) {
    ASSERT_EQ(load(floatWav(WavSpec{}, randomSamples(2048, 1))), kWavOk);
    EXPECT_EQ(playbackStore.remainingFrames, 1024u);
    freePlaybackStore();

    bufferSize = 480;
    WavSpec mono;
    mono.channels = 1;
    ASSERT_EQ(load(floatWav(mono, {1.0f})), kWavOk);
    EXPECT_EQ(playbackStore.remainingFrames, 480u);
    Bytes expected(960, 0);
    expected[0] = 0xFF;
    expected[1] = 0x7F;
    EXPECT_EQ(loadedBlock(0), expected);
}

// Several chunks of the file at every width, three channels: the same bytes as
// the per-sample rule.
TEST_F(PlaybackLoader, LargeFilesConvertLikeThePerSampleRuleAtEveryWidth) {
    WavSpec spec;
    spec.channels = 3;
    const uint32_t frames = 200003;
    const std::vector<float> samples = randomSamples(size_t{frames} * 3, 2);
    const Bytes file = floatWav(spec, samples);
    bufferSize = 1000;
    for (uint32_t width = 2; width <= 4; ++width) {
        bytesPerSample = width;
        ASSERT_EQ(load(file, "large.wav"), kWavOk);
        ASSERT_EQ(playbackStore.remainingFrames, 201000u);
        for (uint32_t c = 0; c < 3; ++c)
            ASSERT_EQ(loadedBlock(c), expectedBlock(samples, 3, c, width, 201000))
                << "width " << width << ", channel " << c;
        freePlaybackStore();
    }
}

TEST_F(PlaybackLoader, MissingSamplesPlayAsSilence) {
    WavSpec spec;
    spec.channels = 2;
    spec.dataSize = 1000 * 8;                           // declares 1000 frames
    std::vector<float> present = randomSamples(301, 3); // 150 frames and one sample
    Bytes file = floatWav(spec, present);
    file.push_back(0x12); // and two bytes of a sample that never ends
    file.push_back(0x34);
    bytesPerSample = 3;
    ASSERT_EQ(load(file), kWavOk);
    EXPECT_EQ(playbackStore.remainingFrames, 1024u);
    for (uint32_t c = 0; c < 2; ++c)
        EXPECT_EQ(loadedBlock(c), expectedBlock(present, 2, c, 3, 1024)) << c;
    EXPECT_NE(Bytes(playbackStore.blocks[0] + 450, playbackStore.blocks[0] + 453), Bytes(3, 0))
        << "the lone sample of frame 150 is played";
}

// Large files are converted in two halves at once; one that ends in either
// half, or mid-sample, is silent from there on, as a small one is.
TEST_F(PlaybackLoader, LargeFilesThatEndEarlyPlaySilenceFromWhereTheyEnd) {
    WavSpec spec;
    spec.channels = 3;
    spec.dataSize = 200003 * 12;
    bytesPerSample = 3;
    bufferSize = 1000;
    for (const size_t held : {size_t{450001}, size_t{150000 * 3 + 1}, size_t{0}}) {
        const std::vector<float> present = randomSamples(held, 5);
        Bytes file = floatWav(spec, present);
        file.push_back(0x12);
        ASSERT_EQ(load(file, "short.wav"), kWavOk);
        for (uint32_t c = 0; c < 3; ++c)
            ASSERT_EQ(loadedBlock(c), expectedBlock(present, 3, c, 3, 201000))
                << held << " samples, channel " << c;
        freePlaybackStore();
    }
}

TEST_F(PlaybackLoader, HeaderFaultsAllocateNothingAndLeaveTheStore) {
    playbackStore.remainingFrames = 777;
    EXPECT_EQ(loadPlaybackSamples(scratchPath("does-not-exist.wav").c_str()), kWavCannotOpen);
    Bytes file = floatWav(WavSpec{}, {0.5f, 0.5f});
    Bytes riff = file;
    riff[0] = 'r';
    EXPECT_EQ(load(riff), kWavNotRiffWave);
    Bytes fmt = file;
    fmt[16] = 18;
    EXPECT_EQ(load(fmt), kWavOtherLayout);
    EXPECT_EQ(load(Bytes(file.begin(), file.begin() + 30)), kWavOtherLayout);
    EXPECT_EQ(playbackStore.blocks, nullptr);
    EXPECT_EQ(playbackStore.remainingFrames, 777u);
}

TEST_F(PlaybackLoader, ARefusedAllocationReleasesEverythingAndReportsIt) {
    WavSpec spec;
    spec.channels = 3;
    const Bytes file = floatWav(spec, randomSamples(300, 4));
    // Working buffer, two arrays, three blocks: refuse each one in turn.
    for (long n = 0; n < 6; ++n) {
        refuseCheckedAllocation(n);
        EXPECT_EQ(load(file), kWavNoMemory) << n;
        EXPECT_EQ(playbackStore.blocks, nullptr) << n;
    }
    refuseCheckedAllocation(-1);
    EXPECT_EQ(load(file), kWavOk);
    EXPECT_EQ(checkedAllocationsSeen(), 6);
}

TEST_F(PlaybackLoader, BlocksOfFourGigabytesAreRefusedBeforeAllocating) {
    WavSpec spec;
    spec.channels = 1;
    spec.bitsPerSample = 8; // counted as one byte a frame: 2^32 - 16 frames
    spec.dataSize = 0xFFFFFFF0u;
    refuseCheckedAllocation(-1);
    EXPECT_EQ(load(canonicalHeader(spec)), kWavNoMemory);
    EXPECT_EQ(checkedAllocationsSeen(), 0);
}
