#include "wav/wav_header.h"

#include <cstring>
#include <fstream>

#include "platform/file_system.h"
#include "wav/wav_stream.h"

namespace {

bool holds(const uint8_t* at, const char* identifier) {
    return std::memcmp(at, identifier, 4) == 0;
}

} // namespace

int readWavHeaderFrom(std::istream& in, WavHeader* header) {
    // A file that ends inside the header leaves the rest zero, which fails
    // the identifier and size checks below.
    uint8_t bytes[kWavHeaderBytes] = {};
    in.read(reinterpret_cast<char*>(bytes), kWavHeaderBytes);
    if (!holds(bytes, "RIFF") || !holds(bytes + kWavWaveAt, "WAVE"))
        return kWavNotRiffWave;
    if (!holds(bytes + kWavFmtAt, "fmt ") ||
        littleEndianU32(bytes + kWavFmtSizeAt) != kWavFormatChunkBytes ||
        !holds(bytes + kWavDataAt, "data") || in.gcount() != kWavHeaderBytes)
        return kWavOtherLayout;
    // Byte rate and block align follow from the other fields and are not read.
    WavHeader h{};
    h.formatTag = littleEndianU16(bytes + kWavTagAt);
    h.channelCount = littleEndianU16(bytes + kWavChannelsAt);
    h.sampleRate = littleEndianU32(bytes + kWavRateAt);
    h.bitsPerSample = littleEndianU16(bytes + kWavBitsAt);
    const uint32_t dataSize = littleEndianU32(bytes + kWavDataSizeAt);
    const uint32_t bytesPerFileSample = h.bitsPerSample / 8;
    if (h.channelCount == 0 || bytesPerFileSample == 0)
        return kWavOtherLayout;
    h.frameCount = dataSize / h.channelCount / bytesPerFileSample;
    if (h.frameCount == 0)
        return kWavOtherLayout; // not one whole frame to play
    *header = h;
    return kWavOk;
}

int openWavFile(const char* path, std::ifstream& in, WavHeader* header) {
    // Asked first: opening a pipe would wait for a writer, and a device is
    // never a WAV file.
    if (!isRegularFile(path))
        return kWavCannotOpen;
    in.open(path, std::ios::in | std::ios::binary);
    if (!in.good())
        return kWavCannotOpen;
    return readWavHeaderFrom(in, header);
}

int readWavHeader(const char* path, uint32_t* formatTag, uint32_t* sampleRate,
                  uint32_t* bitsPerSample, uint32_t* channelCount, uint32_t* frameCount) {
    std::ifstream in;
    WavHeader header;
    const int result = openWavFile(path, in, &header);
    if (result != kWavOk)
        return result;
    *formatTag = header.formatTag;
    *sampleRate = header.sampleRate;
    *bitsPerSample = header.bitsPerSample;
    *channelCount = header.channelCount;
    *frameCount = header.frameCount;
    return kWavOk;
}
