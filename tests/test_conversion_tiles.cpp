// The block loops work in tiles of interleaved samples and in fixed groups of
// lanes, and store 3-byte samples four bytes at a time. These cases put the
// tile, lane and block edges everywhere they can fall and check every byte
// against the per-sample rules, including the bytes just outside each block.
#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <vector>

#include "wav/sample_conversion.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kGuard = 8;
constexpr uint8_t kGuardByte = 0xA5;

// A block with guard bytes before and after it.
struct GuardedBlock {
    Bytes bytes;
    explicit GuardedBlock(size_t size) : bytes(size + 2 * kGuard, kGuardByte) {}
    uint8_t* data() { return bytes.data() + kGuard; }
    const uint8_t* data() const { return bytes.data() + kGuard; }
    Bytes inside() const { return Bytes(data(), data() + bytes.size() - 2 * kGuard); }
    bool guardsIntact() const {
        for (size_t i = 0; i < kGuard; ++i)
            if (bytes[i] != kGuardByte || bytes[bytes.size() - 1 - i] != kGuardByte)
                return false;
        return true;
    }
};

// Audio with the awkward values spread through it: extremes, infinities, NaN,
// values just beyond full scale, which the tiles must treat like any other.
Bytes interleavedFile(size_t samples, uint32_t seed) {
    const float inf = std::numeric_limits<float>::infinity();
    const float awkward[] = {1.0f,        -1.0f,
                             1.5f,        -1.5f,
                             inf,         -inf,
                             0.0f,        -0.0f,
                             2.1e9f,      -2.2e9f,
                             1e-40f,      3e38f,
                             0.99999994f, std::numeric_limits<float>::quiet_NaN()};
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> audio(-1.1f, 1.1f);
    Bytes file(samples * 4);
    for (size_t i = 0; i < samples; ++i) {
        const float value =
            random() % 7 == 0 ? awkward[random() % std::size(awkward)] : audio(random);
        floatToLittleEndian(value, &file[4 * i]);
    }
    return file;
}

void checkShape(uint32_t channels, size_t frames, uint32_t width) {
    SCOPED_TRACE(testing::Message()
                 << channels << " channels, " << frames << " frames, width " << width);
    const Bytes file = interleavedFile(frames * channels, channels * 1000 + width);
    std::vector<GuardedBlock> blocks(channels, GuardedBlock(frames * width));
    std::vector<uint8_t*> natives;
    for (auto& block : blocks)
        natives.push_back(block.data());
    convertPlaybackFrames(file.data(), frames, channels, width, natives.data());
    for (uint32_t c = 0; c < channels; ++c) {
        Bytes expected(frames * width);
        for (size_t f = 0; f < frames; ++f)
            playbackSampleReference(&file[4 * (f * channels + c)], width, &expected[f * width]);
        ASSERT_EQ(blocks[c].inside(), expected) << "playback channel " << c;
        ASSERT_TRUE(blocks[c].guardsIntact()) << "playback wrote outside channel " << c;
    }

    // The record direction reads the same blocks back; its guards must not be
    // read either, which AddressSanitizer sees when the blocks are exact.
    std::vector<Bytes> exact;
    std::vector<const uint8_t*> sources;
    for (const auto& block : blocks)
        exact.push_back(block.inside());
    for (const auto& block : exact)
        sources.push_back(block.data());
    GuardedBlock joined(frames * channels * 4);
    convertRecordFrames(sources.data(), frames, channels, width, joined.data());
    Bytes expected(frames * channels * 4);
    for (size_t f = 0; f < frames; ++f)
        for (uint32_t c = 0; c < channels; ++c)
            recordSampleReference(&exact[c][f * width], width, &expected[4 * (f * channels + c)]);
    ASSERT_EQ(joined.inside(), expected) << "record";
    ASSERT_TRUE(joined.guardsIntact()) << "record wrote outside the interleaved block";
}

TEST(ConversionTiles, EveryEdgeOfTilesLanesAndBlocksMatchesThePerSampleRules) {
    // 2048 samples make a tile; 16 samples a lane group.
    const uint32_t channelCounts[] = {1, 2, 3, 7, 8, 31, 64};
    for (uint32_t width = 2; width <= 4; ++width)
        for (uint32_t channels : channelCounts) {
            const size_t tileFrames = 2048 / channels;
            const size_t frameCounts[] = {
                1, 2, 15, 16, 17, tileFrames - 1, tileFrames, tileFrames + 1, 3 * tileFrames + 5};
            for (size_t frames : frameCounts)
                if (frames > 0)
                    checkShape(channels, frames, width);
        }
}

// A file may declare up to 65535 channels; a frame wider than a tile must
// still convert by the rule, without overrunning the staging array.
TEST(ConversionTiles, FramesWiderThanATileFollowTheRulesToo) {
    for (uint32_t width = 2; width <= 4; ++width)
        for (uint32_t channels : {2048u, 2049u, 4100u})
            checkShape(channels, 3, width);
}

// The loader converts a file chunk by chunk into the same blocks; converting
// in pieces must give what one call gives, with no byte lost or doubled where
// a 3-byte store meets the next piece.
TEST(ConversionTiles, PiecewiseConversionEqualsOneCall) {
    const uint32_t channels = 5;
    const size_t frames = 5000;
    const Bytes file = interleavedFile(frames * channels, 99);
    for (uint32_t width = 2; width <= 4; ++width) {
        std::vector<Bytes> whole(channels, Bytes(frames * width));
        std::vector<Bytes> pieces(channels, Bytes(frames * width));
        std::vector<uint8_t*> wholeTargets, pieceTargets;
        for (uint32_t c = 0; c < channels; ++c) {
            wholeTargets.push_back(whole[c].data());
            pieceTargets.push_back(pieces[c].data());
        }
        convertPlaybackFrames(file.data(), frames, channels, width, wholeTargets.data());
        size_t done = 0;
        for (size_t piece : {1u, 409u, 2048u, 17u, 2525u}) {
            convertPlaybackFrames(&file[4 * channels * done], piece, channels, width,
                                  pieceTargets.data());
            for (auto& target : pieceTargets)
                target += piece * width;
            done += piece;
        }
        ASSERT_EQ(done, frames);
        ASSERT_EQ(pieces, whole) << "width " << width;
    }
}

} // namespace
