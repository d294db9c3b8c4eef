#include "engine/sample_stores.h"

#include <cstdint>

#include "engine/device_state.h"
#include "engine/sample_blocks.h"
#include "platform/helper_thread.h"
#include "platform/sample_memory.h"

namespace {

HelperThread residencyHelper;
bool recordStoreResident = false;

bool recordBlockBytes(uint32_t* bytes) {
    const uint64_t blockBytes = uint64_t{bytesPerSample} * recordStore.frameCount;
    *bytes = static_cast<uint32_t>(blockBytes);
    return blockBytes <= UINT32_MAX;
}

void makeRecordStoreResident(void*) {
    uint32_t bytes = 0;
    recordBlockBytes(&bytes);
    bool resident = true;
    for (uint32_t c = 0; c < recordStore.channelCount; ++c)
        resident = makeSampleBlockResident(recordStore.blocks[c], bytes) && resident;
    recordStoreResident = resident;
}

} // namespace

bool allocateRecordStore() {
    const uint64_t blockBytes = uint64_t{bytesPerSample} * recordStore.frameCount;
    if (blockBytes > UINT32_MAX)
        return false;
    return allocateSampleBlocks(recordStore.channelCount, static_cast<uint32_t>(blockBytes),
                                &recordStore.blocks, &recordStore.cursors);
}

bool reserveRecordStore() {
    uint32_t bytes = 0;
    if (!recordBlockBytes(&bytes))
        return false;
    return reserveSampleBlocks(recordStore.channelCount, bytes, &recordStore.blocks,
                               &recordStore.cursors);
}

void startRecordStoreResidency() {
    recordStoreResident = false;
    runHelper(&residencyHelper, makeRecordStoreResident, nullptr);
}

bool finishRecordStoreResidency() {
    joinHelper(&residencyHelper);
    return recordStoreResident;
}

void freeRecordStore() {
    releaseSampleBlocks(recordStore.channelCount, &recordStore.blocks, &recordStore.cursors);
}

void freePlaybackStore() {
    releaseSampleBlocks(playbackStore.channelCount, &playbackStore.blocks, &playbackStore.cursors);
}

uint64_t wholeBufferFrames(uint64_t frames) {
    // Before a length is chosen there are no buffers to fill.
    if (bufferSize == 0)
        return frames;
    return (frames + bufferSize - 1) / bufferSize * bufferSize;
}
