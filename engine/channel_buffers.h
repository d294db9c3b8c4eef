// The driver's double buffers on exactly the chosen channels: record channels
// first, then playback channels, each group in rising channel order.
#pragma once

#include <cstdint>

#include "asiohost/asio.h"

ASIOError createChannelBuffers(uint32_t frames, int32_t recordCount, int32_t recordStart,
                               int32_t playCount, int32_t playStart);

// 2, 3 or 4 for the little-endian integer types, 0 for anything else.
uint32_t nativeBytesPerSample();
