#include "engine/device_state.h"

DeviceState deviceState;
uint32_t bufferSize;
uint32_t bytesPerSample;
uint32_t wavSampleRate;
ASIOCallbacks hostCallbacks;
PlaybackStore playbackStore;
RecordStore recordStore;

static_assert(std::atomic<uint8_t>::is_always_lock_free, "stopped must be a plain byte");
