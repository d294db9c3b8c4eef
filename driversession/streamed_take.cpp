#include "driversession/streamed_take.h"

#include <algorithm>
#include <cstring>

#include "asiohost/asio_calls.h"
#include "engine/callbacks.h"
#include "engine/device_state.h"
#include "engine/sample_blocks.h"
#include "engine/sample_stores.h"
#include "platform/interrupts.h"
#include "platform/win32api.h"
#include "wav/sample_conversion.h"

namespace {

constexpr uint32_t kGraceMs = 1000;
constexpr uint32_t kPollMs = 10;

TakeEnd waitForStop(uint32_t limitMs) {
    const uint32_t begun = timeGetTime();
    while (deviceState.stopped.load(std::memory_order_acquire) == 0) {
        if (interruptRequested())
            return TakeEnd::Interrupted;
        if (timeGetTime() - begun > limitMs)
            return TakeEnd::TimedOut;
        Sleep(kPollMs);
    }
    return TakeEnd::Stopped;
}

} // namespace

int32_t chooseBufferFrames(int32_t asked) {
    ASIOGetBufferSize(&deviceState.minBufferSize, &deviceState.maxBufferSize,
                      &deviceState.preferredBufferSize, &deviceState.bufferGranularity);
    if (asked != 0)
        return asked;
    const int32_t preferred = deviceState.preferredBufferSize;
    return preferred >= deviceState.minBufferSize && preferred <= deviceState.maxBufferSize
               ? preferred
               : deviceState.minBufferSize;
}

bool chooseSampleRate(double asked, double* rate) {
    if (asked > 0.0) {
        *rate = asked;
        return ASIOCanSampleRate(asked) == ASE_OK && ASIOSetSampleRate(asked) == ASE_OK;
    }
    // The limit keeps the silence after the material within memory.
    return ASIOGetSampleRate(rate) == ASE_OK && *rate >= 1000.0 && *rate <= 1e6;
}

namespace {

// Frames converted at a time: the file-format copy of a long take on many
// channels stays small.
constexpr size_t kChunkFrames = 1 << 16;

// The material on every channel that plays, from its start on, converted to
// the native type chunk by chunk.
void convertStaggered(const std::vector<float>& material, const std::vector<int64_t>& starts,
                      size_t frames) {
    const uint32_t channels = static_cast<uint32_t>(starts.size());
    std::vector<uint8_t> fileSamples(std::min(frames, kChunkFrames) * channels * 4);
    std::vector<uint8_t*> natives(channels);
    for (size_t first = 0; first < frames; first += kChunkFrames) {
        const size_t count = std::min(kChunkFrames, frames - first);
        std::fill(fileSamples.begin(), fileSamples.end(), uint8_t{0});
        for (uint32_t c = 0; c < channels; ++c) {
            natives[c] = playbackStore.blocks[c] + first * bytesPerSample;
            if (starts[c] < 0)
                continue;
            for (size_t i = 0; i < count; ++i) {
                const int64_t at = static_cast<int64_t>(first + i) - starts[c];
                if (at >= 0 && at < static_cast<int64_t>(material.size()))
                    floatToLittleEndian(material[static_cast<size_t>(at)],
                                        &fileSamples[(i * channels + c) * 4]);
            }
        }
        convertPlaybackFrames(fileSamples.data(), count, channels, bytesPerSample, natives.data());
    }
}

} // namespace

bool fillStaggeredTakeStores(const std::vector<float>& material, const std::vector<int64_t>& starts,
                             uint32_t inputs) {
    const uint32_t channels = static_cast<uint32_t>(starts.size());
    const int64_t latest = *std::max_element(starts.begin(), starts.end());
    const size_t frames = material.size() + static_cast<size_t>(std::max<int64_t>(latest, 0));
    const size_t padded = wholeBufferFrames(frames);
    playbackStore.channelCount = channels;
    if (!allocateSampleBlocks(channels, static_cast<uint32_t>(padded * bytesPerSample),
                              &playbackStore.blocks, &playbackStore.cursors))
        return false;
    convertStaggered(material, starts, frames);
    for (uint32_t c = 0; c < channels; ++c)
        std::memset(playbackStore.blocks[c] + frames * bytesPerSample, 0,
                    (padded - frames) * bytesPerSample);
    playbackStore.remainingFrames = static_cast<uint32_t>(padded);
    recordStore.channelCount = inputs;
    recordStore.frameCount = static_cast<uint32_t>(padded);
    if (allocateRecordStore())
        return true;
    freePlaybackStore();
    return false;
}

std::vector<std::vector<float>> takeRecordings() {
    const size_t frames = recordStore.frameCount;
    const size_t channels = recordStore.channelCount;
    std::vector<uint8_t> fileSamples(frames * channels * 4);
    convertRecordFrames(recordStore.blocks, frames, recordStore.channelCount, bytesPerSample,
                        fileSamples.data());
    std::vector<std::vector<float>> out(channels, std::vector<float>(frames));
    for (size_t i = 0; i < frames; ++i)
        for (size_t c = 0; c < channels; ++c)
            out[c][i] = floatFromLittleEndian(&fileSamples[(i * channels + c) * 4]);
    return out;
}

TakeEnd runTake(double sampleRate, uint32_t* lost) {
    const double materialMs = 1000.0 * recordStore.frameCount / sampleRate;
    const uint32_t lostBefore = lostBlockCount();
    deviceState.stopped.store(0, std::memory_order_relaxed);
    armBufferSwitch();
    TakeEnd end = TakeEnd::StartRefused;
    if (ASIOStart() == ASE_OK) {
        end = waitForStop(static_cast<uint32_t>(2.0 * materialMs) + kGraceMs);
        ASIOStop();
    }
    disarmBufferSwitch();
    *lost = lostBlockCount() - lostBefore;
    return end;
}
