#include "drivers/jack/jack_samples.h"

#include <cstdint>

namespace {
constexpr float kScale = 2147483648.0f;
constexpr float kInverseScale = 1.0f / 2147483648.0f;
} // namespace

int32_t jackFloatToInt32(float x) {
    // Compared before scaling, so the cast below only ever sees values that
    // fit: x * 2^31 lies in [-2^31, 2^31 - 128] for x in [-1, 1).
    if (x >= 1.0f)
        return INT32_MAX;
    if (x >= -1.0f)
        return static_cast<int32_t>(x * kScale);
    if (x < -1.0f)
        return INT32_MIN;
    return 0; // NaN fails every comparison
}

float jackInt32ToFloat(int32_t value) {
    return static_cast<float>(value) * kInverseScale;
}

void jackFloatsToInt32s(const float* from, int32_t* to, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        to[i] = jackFloatToInt32(from[i]);
}

void jackInt32sToFloats(const int32_t* from, float* to, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i)
        to[i] = jackInt32ToFloat(from[i]);
}
