#include "engine/sample_blocks.h"

#include <new>

#include "platform/sample_memory.h"

namespace {

bool takeSampleBlocks(uint8_t* (*take)(size_t), uint32_t channelCount, uint32_t blockBytes,
                      uint8_t*** blocks, uint8_t*** cursors) {
    uint8_t** newBlocks = new (std::nothrow) uint8_t*[channelCount];
    uint8_t** newCursors = new (std::nothrow) uint8_t*[channelCount];
    bool complete = newBlocks != nullptr && newCursors != nullptr;
    uint32_t allocated = 0;
    while (complete && allocated < channelCount) {
        newBlocks[allocated] = take(blockBytes);
        complete = newBlocks[allocated] != nullptr;
        if (complete) {
            newCursors[allocated] = newBlocks[allocated];
            ++allocated;
        }
    }
    if (!complete) {
        releaseSampleBlocks(allocated, &newBlocks, &newCursors);
        return false;
    }
    *blocks = newBlocks;
    *cursors = newCursors;
    return true;
}

} // namespace

bool allocateSampleBlocks(uint32_t channelCount, uint32_t blockBytes, uint8_t*** blocks,
                          uint8_t*** cursors) {
    return takeSampleBlocks(allocateSampleBlock, channelCount, blockBytes, blocks, cursors);
}

bool reserveSampleBlocks(uint32_t channelCount, uint32_t blockBytes, uint8_t*** blocks,
                         uint8_t*** cursors) {
    return takeSampleBlocks(reserveSampleBlock, channelCount, blockBytes, blocks, cursors);
}

void releaseSampleBlocks(uint32_t channelCount, uint8_t*** blocks, uint8_t*** cursors) {
    if (*blocks != nullptr)
        for (uint32_t i = 0; i < channelCount; ++i)
            freeSampleBlock((*blocks)[i]);
    delete[] * blocks;
    delete[] * cursors;
    *blocks = nullptr;
    *cursors = nullptr;
}
