#include "engine/channel_buffers.h"

#include "asiohost/asio_calls.h"
#include "engine/callbacks.h"
#include "engine/device_state.h"

namespace {

void fillBufferEntry(int32_t index, ASIOBool isInput, int32_t channel) {
    ASIOBufferInfo& entry = deviceState.bufferInfos[index];
    entry.isInput = isInput;
    entry.channelNum = channel;
    entry.buffers[0] = nullptr;
    entry.buffers[1] = nullptr;
}

// A driver that reports success but leaves a half unset would have the buffer
// switch write through a null pointer.
bool everyBufferPresent(int32_t total) {
    for (int32_t k = 0; k < total; ++k)
        if (deviceState.bufferInfos[k].buffers[0] == nullptr ||
            deviceState.bufferInfos[k].buffers[1] == nullptr)
            return false;
    return true;
}

ASIOError readChannelInfos(int32_t total) {
    for (int32_t k = 0; k < total; ++k) {
        ASIOChannelInfo& info = deviceState.channelInfos[k];
        info.channel = deviceState.bufferInfos[k].channelNum;
        info.isInput = deviceState.bufferInfos[k].isInput;
        const ASIOError result = ASIOGetChannelInfo(&info);
        if (result != ASE_OK)
            return result;
    }
    return ASE_OK;
}

// The buffer switch copies every channel at one width, so a device whose
// channels in use differ in type would have it write past the narrower buffers.
bool everyChannelOfOneType() {
    const int32_t total = deviceState.inputBufferCount + deviceState.outputBufferCount;
    for (int32_t k = 1; k < total; ++k)
        if (deviceState.channelInfos[k].type != deviceState.channelInfos[0].type)
            return false;
    return true;
}

} // namespace

ASIOError createChannelBuffers(uint32_t frames, int32_t recordCount, int32_t recordStart,
                               int32_t playCount, int32_t playStart) {
    deviceState.inputBufferCount = 0;
    deviceState.outputBufferCount = 0;
    // The arrays hold 64 entries per direction; nothing beyond them is written.
    if (recordCount < 0 || recordCount > kMaxChannelsPerDirection || playCount < 0 ||
        playCount > kMaxChannelsPerDirection)
        return ASE_InvalidParameter;
    deviceState.inputBufferCount = recordCount;
    for (int32_t i = 0; i < recordCount; ++i)
        fillBufferEntry(i, ASIOTrue, recordStart + i - 1);
    deviceState.outputBufferCount = playCount;
    for (int32_t j = 0; j < playCount; ++j)
        fillBufferEntry(recordCount + j, ASIOFalse, playStart + j - 1);
    const int32_t total = recordCount + playCount;
    fillHostCallbacks();
    const ASIOError created = ASIOCreateBuffers(deviceState.bufferInfos, total,
                                                static_cast<int32_t>(frames), &hostCallbacks);
    if (created != ASE_OK)
        return created;
    if (!everyBufferPresent(total))
        return ASE_InvalidMode;
    return readChannelInfos(total);
}

bool channelBuffersHeld() {
    const int32_t total = deviceState.inputBufferCount + deviceState.outputBufferCount;
    for (int32_t k = 0; k < total; ++k)
        if (deviceState.bufferInfos[k].buffers[0] != nullptr ||
            deviceState.bufferInfos[k].buffers[1] != nullptr)
            return true;
    return false;
}

bool channelRangeAdmissible(int32_t start, int32_t count, int32_t available) {
    if (start < 1 || count < 0 || available < 0)
        return false;
    const uint32_t last = static_cast<uint32_t>(start) + static_cast<uint32_t>(count) - 1u;
    return last <= kMaxChannelsPerDirection && last <= static_cast<uint32_t>(available);
}

bool bufferLengthAdmissible(int64_t frames) {
    const int32_t low = deviceState.minBufferSize;
    const int32_t high = deviceState.maxBufferSize;
    return low >= 1 && high >= low && frames >= low && frames <= high;
}

uint32_t nativeBytesPerSample() {
    if (!everyChannelOfOneType())
        return 0;
    switch (deviceState.channelInfos[0].type) {
    case ASIOSTInt16LSB:
        return 2;
    case ASIOSTInt24LSB:
        return 3;
    case ASIOSTInt32LSB:
        return 4;
    default:
        return 0;
    }
}
