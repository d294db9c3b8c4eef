// What every driver of ours answers the same way, whatever its clock and
// ports: the refusals before init and of missing out-arguments, the channel
// and buffer-size checks of createBuffers, the clock source, the time record
// of a switch and how the host is asked whether it takes one. A driver keeps
// only what is its own and answers the rest through these.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "asiohost/asio.h"

// Channels each way that a driver of ours serves at most.
constexpr int32_t kDriverMaxChannels = 128;

// What a driver offers the host, as getChannels and getBufferSize report it.
// A granularity of -1 allows powers of two, a positive one steps up from the
// minimum, 0 allows the preferred length alone.
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

ASIOError answerChannels(bool ready, const DriverShape& shape, int32_t* inputs, int32_t* outputs);
ASIOError answerBufferSize(bool ready, const DriverShape& shape, int32_t* minSize, int32_t* maxSize,
                           int32_t* preferredSize, int32_t* granularity);
ASIOError answerLatencies(bool ready, int32_t input, int32_t output, int32_t* inputLatency,
                          int32_t* outputLatency);

// The device's one clock source, its own, under that name.
ASIOError answerClockSources(bool ready, const char* name, ASIOClockSource* clocks,
                             int32_t* numSources);
ASIOError answerClockSource(bool ready, int32_t reference);

// A driver that declares outputReady supported acts on it or needs nothing
// more; one that does not tells the host so, and the host stops asking.
constexpr ASIOError answerOutputReady(bool supported) {
    return supported ? ASE_OK : ASE_NotPresent;
}

// start before init is ASE_NotPresent, start without buffers ASE_InvalidMode.
ASIOError checkStart(bool ready, bool hasBuffers);

// ASE_OK for an existing channel; the record's other fields are the driver's.
ASIOError checkChannelInfo(bool ready, const DriverShape& shape, const ASIOChannelInfo* info);

bool bufferSizeAllowed(const DriverShape& shape, int32_t frames);

// Everything createBuffers refuses before it makes anything: missing records,
// no or too many entries, a length the shape does not allow (ASE_InvalidMode),
// a channel that does not exist or is asked for twice in one direction. Every
// entry's halves are null after a refusal, so that no host keeps a stale one.
ASIOError checkBufferRequest(const DriverShape& shape, ASIOBufferInfo* infos, int32_t count,
                             int32_t frames, const ASIOCallbacks* callbacks);

// Whether the host answers 1 to the selector-supported question for it.
bool hostSupports(const ASIOCallbacks& callbacks, int32_t selector);

// Time information goes to a host that has the callback, says it supports
// the question and then says yes to it; every other host gets bufferSwitch.
bool hostTakesTimeInfo(const ASIOCallbacks& callbacks);

// Splits a 64-bit count into the interface's high and low halves.
inline void splitAsioWide(uint64_t value, uint32_t* hi, uint32_t* lo) {
    *hi = static_cast<uint32_t>(value >> 32);
    *lo = static_cast<uint32_t>(value);
}

// The time record of one buffer switch: speed 1, and the system time, sample
// position and sample rate given, all marked valid.
void describeSwitchTime(ASIOTime* time, uint64_t systemTimeNs, uint64_t samplePosition,
                        ASIOSampleRate sampleRate);
