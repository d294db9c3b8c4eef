#include <gtest/gtest.h>

#include "tests/wav_files.h"
#include "wav/wav_header.h"

namespace {

struct HeaderRead {
    int result;
    uint32_t formatTag = 111, sampleRate = 222, bitsPerSample = 333, channels = 444, frames = 555;
};

HeaderRead readBytes(const std::vector<uint8_t>& bytes, const char* name = "header.wav") {
    const std::string path = scratchPath(name);
    writeFileBytes(path, bytes);
    HeaderRead read;
    read.result = readWavHeader(path.c_str(), &read.formatTag, &read.sampleRate,
                                &read.bitsPerSample, &read.channels, &read.frames);
    return read;
}

std::vector<uint8_t> stereoFile(uint32_t frames) {
    return floatWav(WavSpec{}, std::vector<float>(frames * 2, 0.25f));
}

void replaceText(std::vector<uint8_t>& bytes, size_t offset, const char* text) {
    for (size_t i = 0; text[i] != 0; ++i)
        bytes[offset + i] = static_cast<uint8_t>(text[i]);
}

void replaceU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

} // namespace

TEST(WavHeader, AcceptsTheCanonicalFloatLayoutAndReportsIt) {
    WavSpec spec;
    spec.channels = 3;
    spec.sampleRate = 96000;
    const HeaderRead read = readBytes(floatWav(spec, std::vector<float>(3 * 10)));
    ASSERT_EQ(read.result, kWavOk);
    EXPECT_EQ(read.formatTag, 3u);
    EXPECT_EQ(read.sampleRate, 96000u);
    EXPECT_EQ(read.bitsPerSample, 32u);
    EXPECT_EQ(read.channels, 3u);
    EXPECT_EQ(read.frames, 10u);
}

TEST(WavHeader, FrameCountDropsPartialFramesAndCountsWholeBytesPerSample) {
    WavSpec spec;
    spec.channels = 3;
    spec.dataSize = 1000; // 1000 / 3 = 333, 333 / 4 = 83
    EXPECT_EQ(readBytes(canonicalHeader(spec)).frames, 83u);
    spec.channels = 1;
    spec.bitsPerSample = 36; // counts as 4 bytes
    spec.dataSize = 40;
    EXPECT_EQ(readBytes(canonicalHeader(spec)).frames, 10u);
}

TEST(WavHeader, AcceptsOtherFormatsForTheCallerToRefuse) {
    WavSpec pcm;
    pcm.formatTag = 1;
    pcm.bitsPerSample = 16;
    pcm.dataSize = 400;
    const HeaderRead read = readBytes(canonicalHeader(pcm));
    ASSERT_EQ(read.result, kWavOk);
    EXPECT_EQ(read.formatTag, 1u);
    EXPECT_EQ(read.bitsPerSample, 16u);
    EXPECT_EQ(read.frames, 100u);
}

TEST(WavHeader, IgnoresSizesItDoesNotNeedAndWhatFollowsTheData) {
    std::vector<uint8_t> bytes = stereoFile(4);
    replaceU32(bytes, 4, 7);  // RIFF size
    replaceU32(bytes, 28, 1); // byte rate
    bytes[32] = 99;           // block align
    putText(bytes, "LIST");   // a chunk behind the data
    putU32(bytes, 4);
    putText(bytes, "INFO");
    const HeaderRead read = readBytes(bytes);
    EXPECT_EQ(read.result, kWavOk);
    EXPECT_EQ(read.frames, 4u);
}

TEST(WavHeader, RefusesWhatIsNotRiffWave) {
    for (const auto& [offset, text] :
         {std::pair<size_t, const char*>{0, "riff"}, {0, "RIFX"}, {8, "wave"}, {8, "AVI "}}) {
        std::vector<uint8_t> bytes = stereoFile(4);
        replaceText(bytes, offset, text);
        EXPECT_EQ(readBytes(bytes).result, kWavNotRiffWave) << text;
    }
}

TEST(WavHeader, RefusesOtherLayoutsOfRiffWave) {
    std::vector<uint8_t> fmtX = stereoFile(4);
    replaceText(fmtX, 12, "fmtX");
    EXPECT_EQ(readBytes(fmtX).result, kWavOtherLayout);
    std::vector<uint8_t> dataUpper = stereoFile(4);
    replaceText(dataUpper, 36, "DATA");
    EXPECT_EQ(readBytes(dataUpper).result, kWavOtherLayout);

    // A float format chunk with its extension size (18 bytes), and an
    // extensible one (40 bytes), as common tools write them.
    for (uint32_t formatSize : {18u, 40u}) {
        std::vector<uint8_t> bytes;
        putText(bytes, "RIFF");
        putU32(bytes, 0);
        putText(bytes, "WAVEfmt ");
        putU32(bytes, formatSize);
        putU16(bytes, formatSize == 18 ? 3 : 0xFFFE);
        putU16(bytes, 2);
        putU32(bytes, 48000);
        putU32(bytes, 384000);
        putU16(bytes, 8);
        putU16(bytes, 32);
        bytes.resize(20 + formatSize, 0);
        putText(bytes, "data");
        putU32(bytes, 16);
        bytes.resize(bytes.size() + 16, 0);
        EXPECT_EQ(readBytes(bytes).result, kWavOtherLayout) << formatSize;
    }

    // A fact chunk between the format and the data chunk.
    std::vector<uint8_t> withFact = canonicalHeader(WavSpec{});
    withFact.resize(36);
    putText(withFact, "fact");
    putU32(withFact, 4);
    putU32(withFact, 4);
    putText(withFact, "data");
    putU32(withFact, 0);
    EXPECT_EQ(readBytes(withFact).result, kWavOtherLayout);
}

TEST(WavHeader, RefusesHeadersWithoutAWholeFrameOrWithoutADivisor) {
    WavSpec noChannels;
    noChannels.channels = 0;
    noChannels.dataSize = 64;
    EXPECT_EQ(readBytes(canonicalHeader(noChannels)).result, kWavOtherLayout);
    WavSpec fourBits;
    fourBits.bitsPerSample = 4;
    fourBits.dataSize = 64;
    EXPECT_EQ(readBytes(canonicalHeader(fourBits)).result, kWavOtherLayout);
    WavSpec noData;
    EXPECT_EQ(readBytes(canonicalHeader(noData)).result, kWavOtherLayout);
    WavSpec lessThanAFrame;
    lessThanAFrame.dataSize = 7; // a stereo float frame is 8 bytes
    EXPECT_EQ(readBytes(canonicalHeader(lessThanAFrame)).result, kWavOtherLayout);
}

TEST(WavHeader, ShortFilesFailAnIdentifierOrTheSizeField) {
    const std::vector<uint8_t> whole = stereoFile(4);
    for (size_t length = 0; length < 44; ++length) {
        const std::vector<uint8_t> cut(whole.begin(), whole.begin() + length);
        const int expected = length < 12 ? kWavNotRiffWave : kWavOtherLayout;
        EXPECT_EQ(readBytes(cut).result, expected) << length << " bytes";
    }
}

TEST(WavHeader, LeavesTheOutValuesAloneOnFailure) {
    const HeaderRead missing = readBytes({}, "empty.wav");
    EXPECT_EQ(missing.result, kWavNotRiffWave);
    EXPECT_EQ(missing.formatTag, 111u);
    EXPECT_EQ(missing.frames, 555u);
}

TEST(WavHeader, AMissingFileCannotBeOpened) {
    uint32_t a = 0, b = 0, c = 0, d = 0, e = 0;
    EXPECT_EQ(readWavHeader(scratchPath("does-not-exist.wav").c_str(), &a, &b, &c, &d, &e),
              kWavCannotOpen);
    EXPECT_NE(readWavHeader(scratchPath("").c_str(), &a, &b, &c, &d, &e), kWavOk)
        << "a folder is not a playback file";
}
