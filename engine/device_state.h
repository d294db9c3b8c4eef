// Everything the run sequence, the WAV code and the driver's callback thread
// share. One of each, in static storage, all zero at start.
#pragma once

#include <atomic>
#include <cstdint>

#include "asiohost/asio.h"

constexpr int kMaxChannelsPerDirection = 64;
constexpr int kMaxBufferEntries = 2 * kMaxChannelsPerDirection;

struct DeviceState {
    ASIODriverInfo driverInfo;
    int32_t inputChannels;
    int32_t outputChannels;
    int32_t minBufferSize;
    int32_t maxBufferSize;
    int32_t preferredBufferSize;
    int32_t bufferGranularity;
    ASIOSampleRate sampleRate;
    int32_t inputLatency;
    int32_t outputLatency;
    int32_t inputBufferCount;
    int32_t outputBufferCount;
    ASIOBufferInfo bufferInfos[kMaxBufferEntries];
    ASIOChannelInfo channelInfos[kMaxBufferEntries];
    double systemTime;
    // The two values the progress line reads while the driver runs: atomic,
    // so a reading is never torn; relaxed, since a stale one is harmless.
    std::atomic<double> samplePosition;
    double timeCodeSamples;
    ASIOTime timeInfo;
    std::atomic<uint32_t> lastSwitchTimeMs;
    // Raised once by the buffer switch (release), polled by the main thread
    // (acquire), so the recorded blocks are visible when the flag is seen.
    std::atomic<uint8_t> stopped;
};

// Per-channel blocks of native samples with one moving position each.
struct PlaybackStore {
    uint32_t channelCount;
    uint8_t** blocks;
    uint8_t** cursors;
    uint32_t remainingFrames;
};

struct RecordStore {
    uint32_t channelCount;
    uint32_t frameCount;
    uint8_t** blocks;
    uint8_t** cursors;
};

extern DeviceState deviceState;
extern uint32_t bufferSize;
extern uint32_t bytesPerSample;
extern uint32_t wavSampleRate;
extern ASIOCallbacks hostCallbacks;
extern PlaybackStore playbackStore;
extern RecordStore recordStore;
