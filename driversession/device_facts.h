// Everything the probe learns from one driver without starting it or changing
// its rate or clock. Text fields hold the driver's bytes, cut to their field;
// they are escaped only when printed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "asiohost/asio.h"

class DriverSession;

struct ChannelFacts {
    int32_t number; // from 1, as tandemwav counts channels
    std::string name;
    int32_t type;
    int32_t group;
    bool active;
};

struct DirectionFacts {
    int32_t reportedCount = 0;          // as the driver gave it, negative or huge included
    std::vector<ChannelFacts> channels; // those it describes, from channel 1 on
    int32_t infoFailedAt = 0;           // the channel (from 1) whose description failed, 0 if none
    ASIOError infoError = ASE_OK;
};

struct ClockFacts {
    int32_t index;
    int32_t channel;
    int32_t group;
    bool current;
    std::string name;
};

struct LatencyFacts {
    int32_t bufferFrames = 0; // 0: not measured (no usable length or no channel)
    ASIOError createResult = ASE_OK;
    ASIOError latencyResult = ASE_OK;
    int32_t input = 0;
    int32_t output = 0;
};

struct DeviceFacts {
    std::string requestedName;
    std::string name;
    int32_t version = 0;
    std::string errorMessage; // only after a refused init
    DirectionFacts inputs;
    DirectionFacts outputs;
    int32_t minBufferSize = 0;
    int32_t maxBufferSize = 0;
    int32_t preferredBufferSize = 0;
    int32_t bufferGranularity = 0;
    ASIOError rateResult = ASE_OK;
    double currentRate = 0;
    std::vector<double> acceptedRates;
    ASIOError clockResult = ASE_OK;
    std::vector<ClockFacts> clocks;
    LatencyFacts latency;
};

// Channel descriptions read per direction, at most this many.
constexpr int32_t kMaxDescribedChannels = 1024;

// The rates asked of canSampleRate.
extern const double kUsualSampleRates[16];

// Fills everything after the driver's name and version; false when the user
// interrupted, with the facts gathered so far.
bool gatherDeviceFacts(DriverSession& session, DeviceFacts& facts);

// The values the driver gave that cannot be sizes or bounds: a negative
// channel count, a buffer length below 1, a minimum above the maximum, a
// granularity below -1 (-1 means powers of two). They are shown as given.
struct InvalidFacts {
    bool inputs;
    bool outputs;
    bool minBuffer;
    bool maxBuffer;
    bool preferredBuffer;
    bool granularity;
};

InvalidFacts findInvalidFacts(const DeviceFacts& facts);

// The buffer length a tandemwav run should use: the preferred one when the
// limits admit it, else the minimum; 0 when the limits admit none (tandemwav
// refuses every length when they are invalid).
int32_t suggestedBufferFrames(const DeviceFacts& facts);

// "powers of two from 64 to 2048", "every length from 16 to 8192", ...
std::string describeBufferLengths(const DeviceFacts& facts);
