#include "wav/float_wav_writer.h"

#include <cstring>

#include "wav/file_replacement.h"
#include "wav/wav_stream.h"

void composeFloatWavHeader(uint8_t (&header)[kWavHeaderBytes], uint32_t rate, uint32_t channels,
                           uint32_t frames) {
    const uint32_t sampleBytes = kWavFloatBits / 8, dataBytes = channels * frames * sampleBytes;
    std::memcpy(header, "RIFF", 4);
    storeLittleEndianU32(header + kWavRiffSizeAt, dataBytes + kWavRiffSizeOfHeader);
    std::memcpy(header + kWavWaveAt, "WAVE", 4);
    std::memcpy(header + kWavFmtAt, "fmt ", 4);
    storeLittleEndianU32(header + kWavFmtSizeAt, kWavFormatChunkBytes);
    storeLittleEndianU16(header + kWavTagAt, kWavFormatFloat);
    storeLittleEndianU16(header + kWavChannelsAt, static_cast<uint16_t>(channels));
    storeLittleEndianU32(header + kWavRateAt, rate);
    storeLittleEndianU32(header + kWavByteRateAt, rate * channels * sampleBytes);
    storeLittleEndianU16(header + kWavBlockAlignAt, static_cast<uint16_t>(channels * sampleBytes));
    storeLittleEndianU16(header + kWavBitsAt, kWavFloatBits);
    std::memcpy(header + kWavDataAt, "data", 4);
    storeLittleEndianU32(header + kWavDataSizeAt, dataBytes);
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
