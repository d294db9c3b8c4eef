#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "wav/sample_conversion.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes floatBytes(float value) {
    Bytes bytes(4);
    floatToLittleEndian(value, bytes.data());
    return bytes;
}

float bitsToFloat(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

// One sample through the per-sample rule and through the block loop; both
// must give the expected native bytes.
void expectPlayback(float sample, uint32_t width, const Bytes& expected) {
    const Bytes file = floatBytes(sample);
    Bytes reference(width);
    playbackSampleReference(file.data(), width, reference.data());
    EXPECT_EQ(reference, expected) << "reference, sample " << sample << ", width " << width;
    Bytes block(width);
    uint8_t* natives[1] = {block.data()};
    convertPlaybackFrames(file.data(), 1, 1, width, natives);
    EXPECT_EQ(block, expected) << "block, sample " << sample << ", width " << width;
}

void expectRecord(const Bytes& native, float expected) {
    const uint32_t width = static_cast<uint32_t>(native.size());
    Bytes reference(4);
    recordSampleReference(native.data(), width, reference.data());
    EXPECT_EQ(reference, floatBytes(expected)) << "reference, width " << width;
    Bytes block(4);
    const uint8_t* natives[1] = {native.data()};
    convertRecordFrames(natives, 1, 1, width, block.data());
    EXPECT_EQ(block, floatBytes(expected)) << "block, width " << width;
}

std::vector<float> specialFloats() {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> values = {0.0f,
                                 -0.0f,
                                 1.0f,
                                 -1.0f,
                                 0.5f,
                                 -0.5f,
                                 1.5f,
                                 -1.5f,
                                 2.0f,
                                 -2.0f,
                                 0.25f,
                                 0.99999994f,
                                 -0.99999994f,
                                 1e-45f,
                                 -1e-45f,
                                 1e-38f,
                                 -1e-38f,
                                 inf,
                                 -inf,
                                 std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::lowest(),
                                 65536.0f,
                                 -65536.0f,
                                 bitsToFloat(0x7FC00000u),
                                 bitsToFloat(0xFFC00000u),
                                 bitsToFloat(0x7F800001u),
                                 bitsToFloat(0xFFFFFFFFu)};
    // Around the edges of the signed 32-bit range after scaling, at every width.
    for (uint32_t width = 2; width <= 4; ++width) {
        const float scale = playbackScale(width);
        for (float edge : {2147483648.0f / scale, -2147483648.0f / scale}) {
            float below = edge, above = edge;
            for (int i = 0; i < 4; ++i) {
                values.push_back(below = std::nextafter(below, -inf));
                values.push_back(above = std::nextafter(above, inf));
            }
            values.push_back(edge);
        }
    }
    return values;
}

} // namespace

TEST(SampleConversion, ScalesAreTheRoundedFullScaleValues) {
    EXPECT_EQ(playbackScale(2), 32767.0f);
    EXPECT_EQ(playbackScale(3), 8388607.0f);
    EXPECT_EQ(playbackScale(4), 2147483648.0f);
}

TEST(SampleConversion, PlaybackExamplesAtTwoBytes) {
    expectPlayback(1.0f, 2, {0xFF, 0x7F});
    expectPlayback(-1.0f, 2, {0x01, 0x80});
    expectPlayback(0.25f, 2, {0xFF, 0x1F});
    expectPlayback(0.99999994f, 2, {0xFE, 0x7F});
    expectPlayback(0.5f, 2, {0xFF, 0x3F});  // 16383.5 truncates to 16383
    expectPlayback(-0.5f, 2, {0x01, 0xC0}); // -16383
    expectPlayback(1.5f, 2, {0xFE, 0xBF});  // 49150 wraps
}

TEST(SampleConversion, PlaybackExamplesAtThreeBytes) {
    expectPlayback(1.0f, 3, {0xFF, 0xFF, 0x7F});
    expectPlayback(-1.0f, 3, {0x01, 0x00, 0x80});
    expectPlayback(0.25f, 3, {0xFF, 0xFF, 0x1F});
    expectPlayback(1.5f, 3, {0xFE, 0xFF, 0xBF});
}

TEST(SampleConversion, PlaybackExamplesAtFourBytes) {
    expectPlayback(0.5f, 4, {0x00, 0x00, 0x00, 0x40});
    expectPlayback(-1.0f, 4, {0x00, 0x00, 0x00, 0x80});
    expectPlayback(0.99999994f, 4, {0x80, 0xFF, 0xFF, 0x7F});
}

TEST(SampleConversion, OutOfRangeInfinityAndNaNAreLimitedNotUndefined) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    expectPlayback(1.0f, 4, {0xFF, 0xFF, 0xFF, 0x7F});
    expectPlayback(3.0f, 4, {0xFF, 0xFF, 0xFF, 0x7F});
    expectPlayback(-1.5f, 4, {0x00, 0x00, 0x00, 0x80});
    expectPlayback(inf, 4, {0xFF, 0xFF, 0xFF, 0x7F});
    expectPlayback(-inf, 4, {0x00, 0x00, 0x00, 0x80});
    for (uint32_t width = 2; width <= 4; ++width) {
        expectPlayback(nan, width, Bytes(width, 0x00));
        expectPlayback(-nan, width, Bytes(width, 0x00));
        expectPlayback(-0.0f, width, Bytes(width, 0x00));
    }
    // Beyond 2^31 after scaling the value is the limit, then its low bytes.
    expectPlayback(1e6f, 2, {0xFF, 0xFF});
    expectPlayback(-1e6f, 2, {0x00, 0x00});
    expectPlayback(inf, 3, {0xFF, 0xFF, 0xFF});
    expectPlayback(-inf, 3, {0x00, 0x00, 0x00});
}

TEST(SampleConversion, RecordExamplesAtEachWidth) {
    expectRecord({0x00, 0x80}, -1.0f);
    expectRecord({0xFF, 0x7F}, 0.999969482421875f);
    expectRecord({0x01, 0x00}, 1.0f / 32768.0f);
    expectRecord({0x00, 0x00, 0x80}, -1.0f);
    expectRecord({0xFF, 0xFF, 0x7F}, 8388607.0f / 8388608.0f);
    expectRecord({0x01, 0x00, 0x00, 0x00}, 4.656612873077393e-10f);
    expectRecord({0xFF, 0xFF, 0xFF, 0x7F}, 1.0f);
    expectRecord({0x00, 0x00, 0x00, 0x80}, -1.0f);
    expectRecord({0x00, 0x00, 0x00, 0x00}, 0.0f);
}

// The branch-free product used by the block loop against the rule, over every
// special value and a few hundred thousand arbitrary bit patterns.
TEST(SampleConversion, FastScalingMatchesTheRuleEverywhere) {
    std::vector<float> values = specialFloats();
    std::mt19937 random(20240611);
    for (int i = 0; i < 300000; ++i)
        values.push_back(bitsToFloat(static_cast<uint32_t>(random())));
    std::uniform_real_distribution<float> audio(-2.0f, 2.0f);
    for (int i = 0; i < 300000; ++i)
        values.push_back(audio(random));
    for (uint32_t width = 2; width <= 4; ++width)
        for (float value : values)
            ASSERT_EQ(scaledSampleFast(value, playbackScale(width)),
                      scaledSampleReference(value, playbackScale(width)))
                << "width " << width << ", sample " << value;
}

// Interleaved frames of three channels through the block loops must equal the
// per-sample rule applied in the order of the file.
TEST(SampleConversion, BlockLoopsSplitAndJoinChannelsLikeThePerSampleRule) {
    const uint32_t channels = 3;
    std::vector<float> samples = specialFloats();
    std::mt19937 random(7);
    std::uniform_real_distribution<float> audio(-1.2f, 1.2f);
    while (samples.size() % channels != 0 || samples.size() < 30000)
        samples.push_back(audio(random));
    const size_t frames = samples.size() / channels;
    Bytes file;
    for (float s : samples) {
        const Bytes b = floatBytes(s);
        file.insert(file.end(), b.begin(), b.end());
    }
    for (uint32_t width = 2; width <= 4; ++width) {
        std::vector<Bytes> blocks(channels, Bytes(frames * width));
        uint8_t* natives[channels] = {blocks[0].data(), blocks[1].data(), blocks[2].data()};
        convertPlaybackFrames(file.data(), frames, channels, width, natives);
        std::vector<Bytes> expected(channels, Bytes(frames * width));
        for (size_t f = 0; f < frames; ++f)
            for (uint32_t c = 0; c < channels; ++c)
                playbackSampleReference(&file[4 * (f * channels + c)], width,
                                        &expected[c][f * width]);
        ASSERT_EQ(blocks, expected) << "playback, width " << width;

        Bytes joined(file.size());
        const uint8_t* sources[channels] = {blocks[0].data(), blocks[1].data(), blocks[2].data()};
        convertRecordFrames(sources, frames, channels, width, joined.data());
        Bytes joinedExpected(file.size());
        for (size_t f = 0; f < frames; ++f)
            for (uint32_t c = 0; c < channels; ++c)
                recordSampleReference(&blocks[c][f * width], width,
                                      &joinedExpected[4 * (f * channels + c)]);
        ASSERT_EQ(joined, joinedExpected) << "record, width " << width;
    }
}

// Every 16-bit code, and random plus extreme codes at 3 and 4 bytes.
TEST(SampleConversion, RecordBlockLoopMatchesTheRuleForEveryCode) {
    for (uint32_t width = 2; width <= 4; ++width) {
        Bytes natives;
        std::mt19937 random(width);
        const size_t count = width == 2 ? 65536 : 200000;
        for (size_t i = 0; i < count; ++i) {
            uint32_t code = width == 2 ? static_cast<uint32_t>(i) : static_cast<uint32_t>(random());
            if (i < 4)
                code = (i & 1 ? 0x7FFFFFFFu : 0x80000000u) >> (i < 2 ? 8 * (4 - width) : 0);
            for (uint32_t b = 0; b < width; ++b)
                natives.push_back(static_cast<uint8_t>(code >> (8 * b)));
        }
        Bytes block(count * 4), expected(count * 4);
        const uint8_t* sources[1] = {natives.data()};
        convertRecordFrames(sources, count, 1, width, block.data());
        for (size_t i = 0; i < count; ++i)
            recordSampleReference(&natives[i * width], width, &expected[i * 4]);
        ASSERT_EQ(block, expected) << "width " << width;
        for (size_t i = 0; i < count; ++i) {
            const float value = bitsToFloat(static_cast<uint32_t>(block[4 * i]) |
                                            static_cast<uint32_t>(block[4 * i + 1]) << 8 |
                                            static_cast<uint32_t>(block[4 * i + 2]) << 16 |
                                            static_cast<uint32_t>(block[4 * i + 3]) << 24);
            ASSERT_TRUE(value >= -1.0f && value <= 1.0f) << "width " << width << ", " << value;
        }
    }
}
