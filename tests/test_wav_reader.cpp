#include <gtest/gtest.h>

#include <cstring>

#include "tests/wav_files.h"
#include "wav/file_replacement.h"
#include "wav/float_wav_writer.h"
#include "wav/wav_reader.h"

namespace {

// A file of one chunk list: "fmt " (plain, or extensible around the same
// tag), an optional odd-sized LIST chunk, then the data.
std::vector<uint8_t> wavFile(uint16_t tag, uint16_t bits, uint16_t channels,
                             const std::vector<uint8_t>& data, bool extensible, bool list) {
    std::vector<uint8_t> fmt;
    putU16(fmt, extensible ? 0xFFFE : tag);
    putU16(fmt, channels);
    putU32(fmt, 8000);
    putU32(fmt, 8000u * channels * bits / 8);
    putU16(fmt, static_cast<uint16_t>(channels * bits / 8));
    putU16(fmt, bits);
    if (extensible) {
        putU16(fmt, 22);
        putU16(fmt, bits);
        putU32(fmt, 0);
        putU16(fmt, tag);
        fmt.resize(fmt.size() + 14, 0);
    }
    std::vector<uint8_t> file;
    putText(file, "RIFF");
    putU32(file, 0); // recorders stopped hard leave sizes unset
    putText(file, "WAVEfmt ");
    putU32(file, static_cast<uint32_t>(fmt.size()));
    file.insert(file.end(), fmt.begin(), fmt.end());
    if (list) {
        putText(file, "LIST");
        putU32(file, 3);
        file.insert(file.end(), {'a', 'b', 'c', 0});
    }
    putText(file, "data");
    putU32(file, static_cast<uint32_t>(data.size()));
    file.insert(file.end(), data.begin(), data.end());
    return file;
}

WavRecording readBack(const std::vector<uint8_t>& bytes) {
    const std::string path = scratchPath("reader.wav");
    writeFileBytes(path, bytes);
    return readWavRecording(path);
}

template <typename T> std::vector<uint8_t> bytesOf(std::initializer_list<T> values) {
    std::vector<uint8_t> out(values.size() * sizeof(T));
    std::memcpy(out.data(), values.begin(), out.size());
    return out;
}

} // namespace

// Every format read gives full scale 1.0 and counts clipping per channel at
// its own full scale (a run at the largest code of either sign, any magnitude
// beyond 1.0), whatever chunks stand around the samples.
TEST(WavReader, ReadsEveryFormatToFullScaleAndCountsItsClipping) {
    const WavRecording pcm16 = readBack(wavFile(
        1, 16, 2, bytesOf<int16_t>({16384, 32767, 0, 32767, 0, -32768, 9, 5}), false, true));
    EXPECT_EQ(pcm16.info.frames, 4);
    EXPECT_FLOAT_EQ(pcm16.samples[0], 0.5f);
    EXPECT_EQ(pcm16.clipped, (std::vector<uint64_t>{0, 3}));

    const std::vector<uint8_t> pcm24 = {0x00, 0x00, 0xC0, 0xFF, 0xFF, 0x7F};
    const WavRecording r24 = readBack(wavFile(1, 24, 1, pcm24, true, false));
    EXPECT_FLOAT_EQ(r24.samples[0], -0.5f);
    EXPECT_EQ(r24.clipped[0], 0u); // one sample touching full scale is no clipping

    const WavRecording r32 = readBack(wavFile(1, 32, 1, bytesOf<int32_t>({1 << 30}), false, false));
    EXPECT_FLOAT_EQ(r32.samples[0], 0.5f);

    const WavRecording f64 =
        readBack(wavFile(3, 64, 1, bytesOf<double>({0.25, -1.0, 2.0}), true, true));
    EXPECT_EQ(f64.samples, (std::vector<float>{0.25f, -1.0f, 2.0f}));
    EXPECT_EQ(f64.clipped[0], 1u);
}

TEST(WavReader, RefusesWhatItCannotReadAndSaysWhy) {
    const auto refusal = [](const std::vector<uint8_t>& bytes) {
        try {
            readBack(bytes);
        } catch (const WavReadError& e) {
            return std::string(e.unsupportedFormat() ? "format: " : "not: ") + e.what();
        }
        return std::string("read");
    };
    EXPECT_NE(refusal(wavFile(1, 8, 1, {1, 2}, false, false)).find("format: Error: "),
              std::string::npos);
    std::vector<uint8_t> noData = wavFile(1, 16, 1, {}, false, false);
    noData.resize(noData.size() - 8);
    EXPECT_NE(refusal(noData).find("(no data chunk)!"), std::string::npos);
    EXPECT_NE(refusal({'R', 'I', 'F', 'F'}).find("(no RIFF WAVE header)!"), std::string::npos);
}

// What the writer writes, tandemwav's header walk and the general reader take
// as it was; a path that cannot take a file keeps what it had.
TEST(FloatWavWriter, WritesWhatBothReadersTakeBackAndNeverHalfAFile) {
    const std::string path = scratchPath("written.wav");
    writeFloatWav(path, 44100, 2, {0.5f, -0.25f, 1.0f, 0.0f});
    const WavRecording back = readWavRecording(path);
    EXPECT_EQ(back.info.rate, 44100);
    EXPECT_EQ(back.info.frames, 2);
    EXPECT_EQ(back.samples, (std::vector<float>{0.5f, -0.25f, 1.0f, 0.0f}));
    EXPECT_EQ(readFileBytes(path).size(), 44u + 16u);
    EXPECT_THROW(writeFloatWav(scratchPath("no-such-folder/x.wav"), 8000, 1, {0.0f}),
                 FileWriteError);
}
