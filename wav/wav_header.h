// The one WAV layout tandemwav reads and writes: a 44-byte header with a
// 16-byte format chunk directly followed by the data chunk.
#pragma once

#include <cstdint>

enum : int {
    kWavOk = 0,
    kWavCannotOpen = 1,
    kWavNotRiffWave = 2,
    kWavOtherLayout = 3,
    kWavNoMemory = 4, // the playback loader could not allocate its blocks
};

constexpr uint32_t kWavHeaderBytes = 44;
constexpr uint32_t kWavFormatChunkBytes = 16;
constexpr uint32_t kWavRiffSizeOfHeader = kWavHeaderBytes - 8; // all after the RIFF size field
// Where the header's fields stand, for the walk and the writer alike.
enum : int { kWavRiffSizeAt = 4, kWavWaveAt = 8, kWavFmtAt = 12, kWavFmtSizeAt = 16 };
enum : int { kWavTagAt = 20, kWavChannelsAt = 22, kWavRateAt = 24, kWavByteRateAt = 28 };
enum : int { kWavBlockAlignAt = 32, kWavBitsAt = 34, kWavDataAt = 36, kWavDataSizeAt = 40 };
constexpr uint16_t kWavFormatFloat = 3;
constexpr uint16_t kWavFloatBits = 32;

struct WavHeader {
    uint32_t formatTag;
    uint32_t channelCount;
    uint32_t sampleRate;
    uint32_t bitsPerSample;
    uint32_t frameCount;
};

// Out-values are written only when the result is kWavOk.
int readWavHeader(const char* path, uint32_t* formatTag, uint32_t* sampleRate,
                  uint32_t* bitsPerSample, uint32_t* channelCount, uint32_t* frameCount);
