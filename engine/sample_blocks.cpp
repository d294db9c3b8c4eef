#include "engine/sample_blocks.h"

#include <cstring>
#include <new>

#include "platform/sample_memory.h"

namespace {

// Block c starts c mod 64 cache lines (plus one) into a page, whatever the
// allocator gave. Large blocks would otherwise all begin at the same offset in
// a page, so every channel's cursor would cross into a new page in the same
// buffer switch, and that switch would pay for all of their first touches and
// TLB misses at once. Staggered, the crossings of 64 channels spread over a
// page's worth of switches. The allocation's own address is kept just before
// the block, for its release.
constexpr uintptr_t kPageBytes = 4096;
constexpr uintptr_t kStaggerBytes = 64;
constexpr uint32_t kStaggerSteps = 64;

uint8_t* takeStaggered(uint8_t* (*take)(size_t), uint32_t channel, uint32_t blockBytes) {
    uint8_t* allocation = take(size_t{blockBytes} + kPageBytes + sizeof(uint8_t*));
    if (allocation == nullptr)
        return nullptr;
    const uintptr_t wanted = ((channel % kStaggerSteps) + 1) * kStaggerBytes % kPageBytes;
    const uintptr_t at = reinterpret_cast<uintptr_t>(allocation) % kPageBytes;
    uintptr_t offset = (wanted + kPageBytes - at) % kPageBytes;
    if (offset < sizeof(uint8_t*))
        offset += kPageBytes;
    uint8_t* block = allocation + offset;
    std::memcpy(block - sizeof(uint8_t*), &allocation, sizeof(uint8_t*));
    return block;
}

void releaseStaggered(uint8_t* block) {
    uint8_t* allocation = nullptr;
    std::memcpy(&allocation, block - sizeof(uint8_t*), sizeof(uint8_t*));
    freeSampleBlock(allocation);
}

bool takeSampleBlocks(uint8_t* (*take)(size_t), uint32_t channelCount, uint32_t blockBytes,
                      uint8_t*** blocks, uint8_t*** cursors) {
    uint8_t** newBlocks = new (std::nothrow) uint8_t*[channelCount];
    uint8_t** newCursors = new (std::nothrow) uint8_t*[channelCount];
    bool complete = newBlocks != nullptr && newCursors != nullptr;
    uint32_t allocated = 0;
    while (complete && allocated < channelCount) {
        newBlocks[allocated] = takeStaggered(take, allocated, blockBytes);
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
            releaseStaggered((*blocks)[i]);
    delete[] * blocks;
    delete[] * cursors;
    *blocks = nullptr;
    *cursors = nullptr;
}
