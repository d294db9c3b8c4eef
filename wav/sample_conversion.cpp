#include "wav/sample_conversion.h"

namespace {

// Division by 2^31 is exact, so multiplying by its inverse gives the same bits.
constexpr float kRecordInverse = 1.0f / kRecordDivisor;

// Samples converted per pass: small enough that the 32-bit staging array stays
// in the first-level cache while it is split into channels or gathered from
// them, large enough that the loop overhead per pass does not matter.
constexpr size_t kTileSamples = 2048;

// Only frames that fit a tile are converted tile by tile; wider ones take the
// per-sample rule (see convertPlaybackFrames).
size_t framesPerTile(uint32_t channels) {
    return kTileSamples / channels;
}

// Samples per inner step of the contiguous loops. A fixed count with
// non-aliasing pointers is what lets the compiler turn the step into vector
// code even at -O2, without runtime alias checks or remainder handling.
constexpr size_t kLanes = 16;

inline float hostFloatAt(const uint8_t* bytes) {
    float value;
    std::memcpy(&value, bytes, 4);
    return value;
}

// The contiguous halves of each direction, over interleaved samples with no
// channel bookkeeping. Every system this program is built for is
// little-endian, so a file's float is the host's float.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "file samples are little-endian");

void scaleToIntegers(const uint8_t* __restrict fileSamples, size_t count, float scale,
                     int32_t* __restrict values) {
    size_t i = 0;
    for (; i + kLanes <= count; i += kLanes)
        for (size_t j = 0; j < kLanes; ++j)
            values[i + j] = scaledSampleFast(hostFloatAt(fileSamples + 4 * (i + j)), scale);
    for (; i < count; ++i)
        values[i] = scaledSampleFast(hostFloatAt(fileSamples + 4 * i), scale);
}

inline void storeScaledWord(int32_t word, uint8_t* fileSample) {
    const float value = static_cast<float>(word) * kRecordInverse;
    std::memcpy(fileSample, &value, 4);
}

void scaleToFloats(const int32_t* __restrict words, size_t count, uint8_t* __restrict fileSamples) {
    size_t i = 0;
    for (; i + kLanes <= count; i += kLanes)
        for (size_t j = 0; j < kLanes; ++j)
            storeScaledWord(words[i + j], fileSamples + 4 * (i + j));
    for (; i < count; ++i)
        storeScaledWord(words[i], fileSamples + 4 * i);
}

// The low Width bytes of each value, least significant first. A 3-byte sample
// is stored as 4 bytes whose last byte the next sample overwrites; only the
// last sample of a run is stored exactly, so nothing beyond it is touched.
template <uint32_t Width>
void storeChannel(const int32_t* values, size_t stride, size_t count, uint8_t* native) {
    if (Width == 3) {
        for (size_t f = 0; f + 1 < count; ++f)
            std::memcpy(native + 3 * f, &values[f * stride], 4);
        const uint32_t last = static_cast<uint32_t>(values[(count - 1) * stride]);
        uint8_t* end = native + 3 * (count - 1);
        end[0] = static_cast<uint8_t>(last);
        end[1] = static_cast<uint8_t>(last >> 8);
        end[2] = static_cast<uint8_t>(last >> 16);
    } else if (Width == 2) {
        for (size_t f = 0; f < count; ++f) {
            const uint16_t low = static_cast<uint16_t>(values[f * stride]);
            std::memcpy(native + 2 * f, &low, 2);
        }
    } else {
        for (size_t f = 0; f < count; ++f)
            std::memcpy(native + 4 * f, &values[f * stride], 4);
    }
}

// The native samples placed in the top bytes of 32-bit words. A 3-byte sample
// is read as 4 bytes and shifted, except the last of a run, which is read
// exactly so that nothing beyond the block is read.
template <uint32_t Width>
void loadChannel(const uint8_t* native, size_t count, size_t stride, int32_t* words) {
    if (Width == 3) {
        for (size_t f = 0; f + 1 < count; ++f) {
            uint32_t word;
            std::memcpy(&word, native + 3 * f, 4);
            words[f * stride] = static_cast<int32_t>(word << 8);
        }
        const uint8_t* last = native + 3 * (count - 1);
        words[(count - 1) * stride] = static_cast<int32_t>((static_cast<uint32_t>(last[0]) << 8) |
                                                           (static_cast<uint32_t>(last[1]) << 16) |
                                                           (static_cast<uint32_t>(last[2]) << 24));
    } else if (Width == 2) {
        for (size_t f = 0; f < count; ++f) {
            uint16_t low;
            std::memcpy(&low, native + 2 * f, 2);
            words[f * stride] = static_cast<int32_t>(static_cast<uint32_t>(low) << 16);
        }
    } else {
        for (size_t f = 0; f < count; ++f) {
            uint32_t word;
            std::memcpy(&word, native + 4 * f, 4);
            words[f * stride] = static_cast<int32_t>(word);
        }
    }
}

// Tile by tile: the interleaved floats are scaled in one contiguous pass,
// then each channel's share is picked out of the cached integers.
template <uint32_t Width>
void playbackFrames(const uint8_t* fileSamples, size_t frames, uint32_t channels,
                    uint8_t* const* natives) {
    const float scale = playbackScale(Width);
    const size_t tileFrames = framesPerTile(channels);
    int32_t values[kTileSamples];
    for (size_t first = 0; first < frames; first += tileFrames) {
        const size_t count = frames - first < tileFrames ? frames - first : tileFrames;
        scaleToIntegers(fileSamples + size_t{4} * channels * first, count * channels, scale,
                        values);
        for (uint32_t c = 0; c < channels; ++c)
            storeChannel<Width>(values + c, channels, count, natives[c] + Width * first);
    }
}

template <uint32_t Width>
void recordFrames(const uint8_t* const* natives, size_t frames, uint32_t channels,
                  uint8_t* fileSamples) {
    const size_t tileFrames = framesPerTile(channels);
    int32_t words[kTileSamples];
    for (size_t first = 0; first < frames; first += tileFrames) {
        const size_t count = frames - first < tileFrames ? frames - first : tileFrames;
        for (uint32_t c = 0; c < channels; ++c)
            loadChannel<Width>(natives[c] + Width * first, count, channels, words + c);
        scaleToFloats(words, count * channels, fileSamples + size_t{4} * channels * first);
    }
}

// A frame wider than a tile (a file may declare up to 65535 channels) would
// not fit the staging array: such frames go sample by sample.
void playbackFramesOneByOne(const uint8_t* fileSamples, size_t frames, uint32_t channels,
                            uint32_t width, uint8_t* const* natives) {
    for (size_t f = 0; f < frames; ++f)
        for (uint32_t c = 0; c < channels; ++c)
            playbackSampleReference(fileSamples + 4 * (f * channels + c), width,
                                    natives[c] + width * f);
}

void recordFramesOneByOne(const uint8_t* const* natives, size_t frames, uint32_t channels,
                          uint32_t width, uint8_t* fileSamples) {
    for (size_t f = 0; f < frames; ++f)
        for (uint32_t c = 0; c < channels; ++c)
            recordSampleReference(natives[c] + width * f, width,
                                  fileSamples + 4 * (f * channels + c));
}

} // namespace

void convertPlaybackFrames(const uint8_t* fileSamples, size_t frames, uint32_t channels,
                           uint32_t width, uint8_t* const* natives) {
    if (channels == 0 || width < 2 || width > 4)
        return;
    if (channels > kTileSamples)
        playbackFramesOneByOne(fileSamples, frames, channels, width, natives);
    else if (width == 2)
        playbackFrames<2>(fileSamples, frames, channels, natives);
    else if (width == 3)
        playbackFrames<3>(fileSamples, frames, channels, natives);
    else if (width == 4)
        playbackFrames<4>(fileSamples, frames, channels, natives);
}

void convertRecordFrames(const uint8_t* const* natives, size_t frames, uint32_t channels,
                         uint32_t width, uint8_t* fileSamples) {
    if (channels == 0 || width < 2 || width > 4)
        return;
    if (channels > kTileSamples)
        recordFramesOneByOne(natives, frames, channels, width, fileSamples);
    else if (width == 2)
        recordFrames<2>(natives, frames, channels, fileSamples);
    else if (width == 3)
        recordFrames<3>(natives, frames, channels, fileSamples);
    else if (width == 4)
        recordFrames<4>(natives, frames, channels, fileSamples);
}
