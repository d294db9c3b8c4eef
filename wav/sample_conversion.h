// Conversion between the files' 32-bit floats and the driver's native
// little-endian integers of 2, 3 or 4 bytes. Each direction has a per-sample
// rule, written for clarity, and a block loop built for speed; the two must
// agree bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "wav/wav_stream.h"

// 2^(8 * width - 1) - 1, rounded once to single precision: 32767, 8388607 and
// 2^31 (2147483647 is not representable in a float).
inline float playbackScale(uint32_t width) {
    return static_cast<float>(static_cast<double>(uint64_t{1} << (8 * width - 1)) - 1.0);
}

// 2^31 - 1 rounded to single precision: 2^31.
constexpr float kRecordDivisor = 2147483648.0f;

// Truncation toward zero of the scaled sample. A NaN or a product outside the
// signed 32-bit range has no defined conversion, so NaN becomes 0 and the
// product is limited to the range first; at 2 and 3 bytes a moderately
// out-of-range sample still wraps through its low bytes, as intended.
inline int32_t scaledSampleReference(float sample, float scale) {
    const float product = sample * scale;
    if (product != product)
        return 0;
    if (product >= 2147483648.0f)
        return INT32_MAX;
    if (product < -2147483648.0f)
        return INT32_MIN;
    return static_cast<int32_t>(product);
}

// The same result without branches, so the block loop can use vector selects.
// 2147483520 is the largest float below 2^31.
inline int32_t scaledSampleFast(float sample, float scale) {
    const float product = sample * scale;
    const bool inRange = product >= -2147483648.0f && product <= 2147483520.0f;
    int32_t value = static_cast<int32_t>(inRange ? product : 0.0f);
    value = product >= 2147483648.0f ? INT32_MAX : value;
    value = product < -2147483648.0f ? INT32_MIN : value;
    return value;
}

inline float floatFromLittleEndian(const uint8_t* bytes) {
    const uint32_t bits = littleEndianU32(bytes);
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

inline void floatToLittleEndian(float value, uint8_t* bytes) {
    uint32_t bits;
    std::memcpy(&bits, &value, 4);
    storeLittleEndianU32(bytes, bits);
}

// One playback sample: the low `width` bytes of the integer, least significant
// first.
inline void playbackSampleReference(const uint8_t* fileSample, uint32_t width, uint8_t* native) {
    const uint32_t value = static_cast<uint32_t>(
        scaledSampleReference(floatFromLittleEndian(fileSample), playbackScale(width)));
    for (uint32_t i = 0; i < width; ++i)
        native[i] = static_cast<uint8_t>(value >> (8 * i));
}

// One recorded sample: the native bytes go to the top of a 32-bit work word,
// so the sign needs no handling; the word is rounded to a float and divided.
inline void recordSampleReference(const uint8_t* native, uint32_t width, uint8_t* fileSample) {
    uint8_t work[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < width; ++i)
        work[4 - width + i] = native[i];
    const float value =
        static_cast<float>(static_cast<int32_t>(littleEndianU32(work))) / kRecordDivisor;
    floatToLittleEndian(value, fileSample);
}

// Block loops. Interleaved file samples: `frames` frames of `channels`
// samples of 4 bytes. Native channel c occupies `natives[c]`, `width` bytes
// per frame, packed.

// Splits interleaved floats into per-channel native samples.
void convertPlaybackFrames(const uint8_t* fileSamples, size_t frames, uint32_t channels,
                           uint32_t width, uint8_t* const* natives);

// Joins per-channel native samples into interleaved floats.
void convertRecordFrames(const uint8_t* const* natives, size_t frames, uint32_t channels,
                         uint32_t width, uint8_t* fileSamples);
