// What every driver of ours answers the same way, whatever its clock and
// ports; a driver keeps only what is its own and answers the rest through these.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "asiohost/asio.h"

// Channels each way that a driver of ours serves at most.
constexpr int32_t kDriverMaxChannels = 128;

// What getChannels and getBufferSize report. A granularity of -1 allows powers
// of two, a positive one steps up from the minimum, 0 the preferred length alone.
struct DriverShape {
    int32_t inputs;
    int32_t outputs;
    int32_t bufferMin;
    int32_t bufferMax;
    int32_t bufferPreferred;
    int32_t bufferGranularity;
};

// The first answer of every query: ASE_NotPresent before a successful init,
// then ASE_InvalidParameter when any out-argument is missing.
ASIOError checkQuery(bool ready, std::initializer_list<const void*> arguments);

// A query of two numbers, such as the channel counts or the latencies.
ASIOError answerPair(bool ready, int32_t first, int32_t second, int32_t* firstOut,
                     int32_t* secondOut);

// ASE_InvalidMode without buffers.
ASIOError checkStart(bool ready, bool hasBuffers);

// ASE_OK for an existing channel; the record's other fields are the driver's.
ASIOError checkChannelInfo(bool ready, const DriverShape& shape, const ASIOChannelInfo* info);

// Refuses missing records, no or too many entries, a length the shape does
// not allow (ASE_InvalidMode), a channel that does not exist or is asked for
// twice in one direction; after a refusal every entry's halves are null.
ASIOError checkBufferRequest(const DriverShape& shape, ASIOBufferInfo* infos, int32_t count,
                             int32_t frames, const ASIOCallbacks* callbacks);

// Whether the host answers 1 to the selector-supported question for it.
bool hostSupports(const ASIOCallbacks& callbacks, int32_t selector);

// A host with the callback that supports the question and says yes to it.
bool hostTakesTimeInfo(const ASIOCallbacks& callbacks);

inline void splitAsioWide(uint64_t value, uint32_t* hi, uint32_t* lo) {
    *hi = static_cast<uint32_t>(value >> 32);
    *lo = static_cast<uint32_t>(value);
}

// The time record of one buffer switch: speed 1, and the system time, sample
// position and sample rate given, all marked valid.
void describeSwitchTime(ASIOTime* time, uint64_t systemTimeNs, uint64_t samplePosition,
                        ASIOSampleRate sampleRate);
