#include "wav/sample_conversion.h"

namespace {

// Division by 2^31 is exact, so multiplying by its inverse gives the same bits.
constexpr float kRecordInverse = 1.0f / kRecordDivisor;

template <uint32_t Width> inline void storeNative(int32_t value, uint8_t* native) {
    const uint32_t bits = static_cast<uint32_t>(value);
    native[0] = static_cast<uint8_t>(bits);
    native[1] = static_cast<uint8_t>(bits >> 8);
    if (Width >= 3)
        native[2] = static_cast<uint8_t>(bits >> 16);
    if (Width == 4)
        native[3] = static_cast<uint8_t>(bits >> 24);
}

// The native sample placed in the top bytes of a 32-bit word.
template <uint32_t Width> inline uint32_t topAlignedWord(const uint8_t* native) {
    uint32_t word = 0;
    for (uint32_t i = 0; i < Width; ++i)
        word |= static_cast<uint32_t>(native[i]) << (8 * (4 - Width + i));
    return word;
}

// Channel by channel, so each inner loop walks one contiguous native block.
template <uint32_t Width>
void playbackFrames(const uint8_t* fileSamples, size_t frames, uint32_t channels,
                    uint8_t* const* natives) {
    const float scale = playbackScale(Width);
    const size_t stride = size_t{4} * channels;
    for (uint32_t c = 0; c < channels; ++c) {
        const uint8_t* source = fileSamples + size_t{4} * c;
        uint8_t* target = natives[c];
        for (size_t f = 0; f < frames; ++f)
            storeNative<Width>(scaledSampleFast(floatFromLittleEndian(source + f * stride), scale),
                               target + f * Width);
    }
}

template <uint32_t Width>
void recordFrames(const uint8_t* const* natives, size_t frames, uint32_t channels,
                  uint8_t* fileSamples) {
    const size_t stride = size_t{4} * channels;
    for (uint32_t c = 0; c < channels; ++c) {
        const uint8_t* source = natives[c];
        uint8_t* target = fileSamples + size_t{4} * c;
        for (size_t f = 0; f < frames; ++f) {
            const int32_t word = static_cast<int32_t>(topAlignedWord<Width>(source + f * Width));
            floatToLittleEndian(static_cast<float>(word) * kRecordInverse, target + f * stride);
        }
    }
}

} // namespace

void convertPlaybackFrames(const uint8_t* fileSamples, size_t frames, uint32_t channels,
                           uint32_t width, uint8_t* const* natives) {
    if (width == 2)
        playbackFrames<2>(fileSamples, frames, channels, natives);
    else if (width == 3)
        playbackFrames<3>(fileSamples, frames, channels, natives);
    else if (width == 4)
        playbackFrames<4>(fileSamples, frames, channels, natives);
}

void convertRecordFrames(const uint8_t* const* natives, size_t frames, uint32_t channels,
                         uint32_t width, uint8_t* fileSamples) {
    if (width == 2)
        recordFrames<2>(natives, frames, channels, fileSamples);
    else if (width == 3)
        recordFrames<3>(natives, frames, channels, fileSamples);
    else if (width == 4)
        recordFrames<4>(natives, frames, channels, fileSamples);
}
