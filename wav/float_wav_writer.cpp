#include "wav/float_wav_writer.h"

#include "wav/file_replacement.h"
#include "wav/wav_stream.h"

namespace {

void putText(uint8_t*& at, const char* text) {
    for (int i = 0; i < 4; ++i)
        *at++ = static_cast<uint8_t>(text[i]);
}

void putU16(uint8_t*& at, uint16_t value) {
    storeLittleEndianU16(at, value);
    at += 2;
}

void putU32(uint8_t*& at, uint32_t value) {
    storeLittleEndianU32(at, value);
    at += 4;
}

} // namespace

void composeFloatWavHeader(uint8_t (&header)[kWavHeaderBytes], uint32_t rate, uint32_t channels,
                           uint32_t frames) {
    const uint32_t sampleBytes = kWavFloatBits / 8, dataBytes = channels * frames * sampleBytes;
    uint8_t* at = header;
    putText(at, "RIFF");
    putU32(at, dataBytes + kWavRiffSizeOfHeader);
    putText(at, "WAVE");
    putText(at, "fmt ");
    putU32(at, kWavFormatChunkBytes);
    putU16(at, kWavFormatFloat);
    putU16(at, static_cast<uint16_t>(channels));
    putU32(at, rate);
    putU32(at, rate * channels * sampleBytes);
    putU16(at, static_cast<uint16_t>(channels * sampleBytes));
    putU16(at, kWavFloatBits);
    putText(at, "data");
    putU32(at, dataBytes);
}

void writeFloatWav(const std::string& path, int rate, int channels,
                   const std::vector<float>& interleaved) {
    const uint64_t dataBytes = interleaved.size() * sizeof(float);
    if (channels <= 0 || dataBytes > 0xFFFFFFFFull - kWavRiffSizeOfHeader)
        throw FileWriteError("Error: " + path + " would pass the 4 GiB of a WAV file!");
    uint8_t header[kWavHeaderBytes];
    composeFloatWavHeader(
        header, static_cast<uint32_t>(rate), static_cast<uint32_t>(channels),
        static_cast<uint32_t>(interleaved.size() / static_cast<size_t>(channels)));
    // Little-endian floats: the file's byte order is the machine's.
    replaceFileWith(path, std::string(reinterpret_cast<const char*>(header), sizeof header),
                    interleaved.data(), dataBytes);
}
