#include "engine/sample_stores.h"

#include <cstdint>

#include "engine/device_state.h"
#include "engine/sample_blocks.h"

bool allocateRecordStore() {
    const uint64_t blockBytes = uint64_t{bytesPerSample} * recordStore.frameCount;
    if (blockBytes > UINT32_MAX)
        return false;
    return allocateSampleBlocks(recordStore.channelCount, static_cast<uint32_t>(blockBytes),
                                &recordStore.blocks, &recordStore.cursors);
}

void freeRecordStore() {
    releaseSampleBlocks(recordStore.channelCount, &recordStore.blocks, &recordStore.cursors);
}

void freePlaybackStore() {
    releaseSampleBlocks(playbackStore.channelCount, &playbackStore.blocks, &playbackStore.cursors);
}
