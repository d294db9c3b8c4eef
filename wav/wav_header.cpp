#include "wav/wav_header.h"

#include <cstring>
#include <fstream>

#include "platform/file_system.h"
#include "wav/wav_stream.h"

namespace {

// Reads that meet the end of the file keep what they delivered and leave the
// rest of the destination alone; after that every read delivers nothing.
uint32_t readU32(std::istream& in, uint8_t (&bytes)[4]) {
    in.read(reinterpret_cast<char*>(bytes), 4);
    return littleEndianU32(bytes);
}

uint16_t readU16(std::istream& in, uint8_t (&bytes)[2]) {
    in.read(reinterpret_cast<char*>(bytes), 2);
    return littleEndianU16(bytes);
}

bool readIdentifier(std::istream& in, char (&identifier)[4], const char* expected) {
    in.read(identifier, 4);
    return std::memcmp(identifier, expected, 4) == 0;
}

} // namespace

int readWavHeaderFrom(std::istream& in, WavHeader* header) {
    char identifier[4] = {0, 0, 0, 0};
    uint8_t word[4] = {0, 0, 0, 0};
    uint8_t half[2] = {0, 0};
    if (!readIdentifier(in, identifier, "RIFF"))
        return kWavNotRiffWave;
    readU32(in, word);
    if (!readIdentifier(in, identifier, "WAVE"))
        return kWavNotRiffWave;
    if (!readIdentifier(in, identifier, "fmt "))
        return kWavOtherLayout;
    if (readU32(in, word) != kWavFormatChunkBytes)
        return kWavOtherLayout;
    WavHeader h{};
    h.formatTag = readU16(in, half);
    h.channelCount = readU16(in, half);
    h.sampleRate = readU32(in, word);
    in.seekg(kWavDerivedFieldBytes, std::ios::cur);
    h.bitsPerSample = readU16(in, half);
    if (!readIdentifier(in, identifier, "data"))
        return kWavOtherLayout;
    uint8_t sizeBytes[4] = {0, 0, 0, 0};
    in.read(reinterpret_cast<char*>(sizeBytes), 4);
    if (in.gcount() != 4)
        return kWavOtherLayout; // the file ends inside the data size field
    const uint32_t dataSize = littleEndianU32(sizeBytes);
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
