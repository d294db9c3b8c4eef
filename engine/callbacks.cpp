#include "engine/callbacks.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "asiohost/asio_calls.h"
#include "engine/device_state.h"
#include "platform/win32api.h"

namespace {

// 0 while disarmed; each arming takes a new non-zero value, so the callback
// thread notices a re-arming without the main thread touching its history.
std::atomic<uint32_t> armedGeneration{0};
uint32_t lastGeneration = 0;
std::atomic<uint32_t> lostBlocks{0};

// Owned by the callback thread: where the next valid sample position should be.
uint32_t trackedGeneration = 0;
bool positionKnown = false;
double expectedPosition = 0.0;

void countLostBlocks(uint32_t blocks) {
    lostBlocks.fetch_add(blocks, std::memory_order_relaxed);
}

void countLostBlock() {
    countLostBlocks(1);
}

// A position that jumps by several buffers lost (or repeated) that many
// blocks; a jump by less than one buffer still lost the block in hand.
uint32_t blocksBetween(double position, double expected) {
    const double blocks = std::fabs(position - expected) / bufferSize;
    if (!(blocks < 4294967295.0))
        return 4294967295u;
    return blocks < 1.0 ? 1u : static_cast<uint32_t>(blocks);
}

void takeTimeInfo(const ASIOTime& params) {
    deviceState.timeInfo = params;
    const ASIOTimeInfo& info = params.timeInfo;
    deviceState.systemTime = (info.flags & kSystemTimeValid)
                                 ? asioWideValue(info.systemTime.hi, info.systemTime.lo)
                                 : 0.0;
    deviceState.samplePosition.store(
        (info.flags & kSamplePositionValid)
            ? asioWideValue(info.samplePosition.hi, info.samplePosition.lo)
            : 0.0,
        std::memory_order_relaxed);
    const ASIOTimeCode& code = params.timeCode;
    deviceState.timeCodeSamples =
        (code.flags & kTcValid) ? asioWideValue(code.timeCodeSamples.hi, code.timeCodeSamples.lo)
                                : 0.0;
}

// A switch without a valid position still moves the expectation on by one
// buffer, so a driver that reports positions only now and then is not
// mistaken for one that loses blocks.
void trackSamplePosition(uint32_t generation, const ASIOTimeInfo& info) {
    if (generation != trackedGeneration) {
        trackedGeneration = generation;
        positionKnown = false;
    }
    if (positionKnown)
        expectedPosition += bufferSize;
    if (!(info.flags & kSamplePositionValid))
        return;
    const double position = asioWideValue(info.samplePosition.hi, info.samplePosition.lo);
    if (positionKnown && position != expectedPosition)
        countLostBlocks(blocksBetween(position, expectedPosition));
    expectedPosition = position;
    positionKnown = true;
}

void playSilence(int32_t half, uint32_t bytes) {
    const int32_t total = deviceState.inputBufferCount + deviceState.outputBufferCount;
    for (int32_t k = 0; k < total; ++k) {
        const ASIOBufferInfo& entry = deviceState.bufferInfos[k];
        if (!entry.isInput && entry.buffers[half] != nullptr)
            std::memset(entry.buffers[half], 0, bytes);
    }
}

void exchangeBlocks(int32_t half, uint32_t bytes) {
    const int32_t inputs = deviceState.inputBufferCount;
    const int32_t total = inputs + deviceState.outputBufferCount;
    for (int32_t k = 0; k < total; ++k) {
        void* buffer = deviceState.bufferInfos[k].buffers[half];
        if (deviceState.bufferInfos[k].isInput) {
            uint8_t*& cursor = recordStore.cursors[k];
            if (buffer != nullptr)
                std::memcpy(cursor, buffer, bytes);
            else
                std::memset(cursor, 0, bytes);
            cursor += bytes;
        } else {
            uint8_t*& cursor = playbackStore.cursors[k - inputs];
            if (buffer != nullptr)
                std::memcpy(buffer, cursor, bytes);
            cursor += bytes;
        }
    }
}

void countDown() {
    playbackStore.remainingFrames -= bufferSize;
    if (playbackStore.remainingFrames == 0)
        deviceState.stopped.store(1, std::memory_order_release);
}

void handleHalf(int32_t half, uint32_t generation, const ASIOTimeInfo& info) {
    const uint32_t bytes = bytesPerSample * bufferSize;
    const bool halfValid = half == 0 || half == 1;
    if (generation == 0) {
        if (halfValid)
            playSilence(half, bytes);
        return;
    }
    const bool stopped = deviceState.stopped.load(std::memory_order_relaxed) != 0;
    if (!stopped)
        trackSamplePosition(generation, info);
    if (!halfValid) {
        countLostBlock();
        return;
    }
    // Past the stop the countdown stays at 0: an interrupted run's length is
    // read from it, and a wrapped count would pass for material left.
    if (stopped) {
        playSilence(half, bytes);
        return;
    }
    exchangeBlocks(half, bytes);
    countDown();
}

} // namespace

void fillHostCallbacks() {
    hostCallbacks.bufferSwitch = onBufferSwitch;
    hostCallbacks.sampleRateDidChange = onSampleRateDidChange;
    hostCallbacks.asioMessage = onAsioMessage;
    hostCallbacks.bufferSwitchTimeInfo = onBufferSwitchTimeInfo;
}

void armBufferSwitch() {
    if (++lastGeneration == 0)
        ++lastGeneration;
    armedGeneration.store(lastGeneration, std::memory_order_release);
}

void disarmBufferSwitch() {
    armedGeneration.store(0, std::memory_order_release);
}

uint32_t lostBlockCount() {
    return lostBlocks.load(std::memory_order_relaxed);
}

ASIOTime* onBufferSwitchTimeInfo(ASIOTime* params, int32_t index, ASIOBool) {
    static const ASIOTime none{};
    const ASIOTime& time = params != nullptr ? *params : none;
    takeTimeInfo(time);
    deviceState.lastSwitchTimeMs.store(timeGetTime(), std::memory_order_relaxed);
    handleHalf(index, armedGeneration.load(std::memory_order_acquire), time.timeInfo);
    ASIOOutputReady();
    return nullptr;
}

void onBufferSwitch(int32_t index, ASIOBool processNow) {
    ASIOTime local{};
    if (ASIOGetSamplePosition(&local.timeInfo.samplePosition, &local.timeInfo.systemTime) == ASE_OK)
        local.timeInfo.flags = kSystemTimeValid | kSamplePositionValid;
    onBufferSwitchTimeInfo(&local, index, processNow);
}

void onSampleRateDidChange(ASIOSampleRate) {}

constexpr int32_t kHostEngineVersion = 2;

// The supported question also says yes for time code and input monitoring,
// which, sent on their own, are answered 0; both answers are kept as they are.
int32_t onAsioMessage(int32_t selector, int32_t value, void*, double*) {
    switch (selector) {
    case kAsioSelectorSupported:
        return (value == kAsioEngineVersion || value == kAsioResetRequest ||
                value == kAsioResyncRequest || value == kAsioLatenciesChanged ||
                value == kAsioSupportsTimeInfo || value == kAsioSupportsTimeCode ||
                value == kAsioSupportsInputMonitor)
                   ? 1
                   : 0;
    case kAsioEngineVersion:
        return kHostEngineVersion;
    case kAsioResetRequest:
    case kAsioResyncRequest:
        // Acknowledged but not acted on: the recording may be out of step.
        countLostBlock();
        return 1;
    case kAsioLatenciesChanged:
    case kAsioSupportsTimeInfo:
        return 1;
    default:
        return 0;
    }
}
