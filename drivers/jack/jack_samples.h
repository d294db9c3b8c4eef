// The conversion between JACK's float samples and the driver's native
// 32-bit integers, done in the process cycle. Integers with at most 24
// significant bits and floats that are multiples of 2^-31 in [-1, 1) map onto
// each other exactly, so material that went through a 24-bit path survives the
// round trip bit for bit.
#pragma once

#include <cstdint>

// x * 2^31, with [-1, 1) as the full range: 1.0 and above saturate to the
// largest integer, below -1.0 to the smallest, NaN becomes silence.
int32_t jackFloatToInt32(float x);

// value / 2^31.
float jackInt32ToFloat(int32_t value);

void jackFloatsToInt32s(const float* from, int32_t* to, uint32_t count);
void jackInt32sToFloats(const int32_t* from, float* to, uint32_t count);
