// The driver's double buffers on exactly the chosen channels: record channels
// first, then playback channels, each group in rising channel order.
#pragma once

#include <cstdint>

#include "asiohost/asio.h"

// The driver is handed the engine's own callbacks (callbacks.h).
ASIOError createChannelBuffers(uint32_t frames, int32_t recordCount, int32_t recordStart,
                               int32_t playCount, int32_t playStart);

// Whether the driver handed out buffers in the last createChannelBuffers,
// even one that then failed (a buffer missing, a channel description
// refused): those are the driver's to dispose all the same.
bool channelBuffersHeld();

// A channel range the buffer arrays and the driver both hold: channels from
// 1, at most kMaxChannelsPerDirection, within the driver's count. Unsigned
// sums as the driver sees channel numbers; negative counts or starts are
// refused first, since their sums can wrap back into range, and a negative
// driver count would pass as a huge unsigned number.
bool channelRangeAdmissible(int32_t start, int32_t count, int32_t available);

// A length within the driver's limits in deviceState. Limits that admit no
// length (not positive, or the minimum above the maximum) admit none, rather
// than wrapping into a range as unsigned numbers.
bool bufferLengthAdmissible(int64_t frames);

// 2, 3 or 4 for the little-endian integer types, 0 for anything else.
uint32_t nativeBytesPerSample();
