// The blocks behind both sample stores, resident before they are used: one
// block per channel and two pointer arrays beside them, allocated and released
// the same way for both. Each channel's block starts one cache line further
// into its page than the one before, so that the channels' cursors cross into
// new pages in different buffer switches.
#pragma once

#include <cstdint>

// Every allocation is checked; on failure whatever was allocated is released,
// the out-values are left alone and the result is false. Cursors start at
// their blocks.
bool allocateSampleBlocks(uint32_t channelCount, uint32_t blockBytes, uint8_t*** blocks,
                          uint8_t*** cursors);

// The same without making the pages resident (see makeSampleBlockResident).
bool reserveSampleBlocks(uint32_t channelCount, uint32_t blockBytes, uint8_t*** blocks,
                         uint8_t*** cursors);

// Releases the blocks and both arrays and clears the two pointers, so a second
// release does nothing. Null arrays are allowed.
void releaseSampleBlocks(uint32_t channelCount, uint8_t*** blocks, uint8_t*** cursors);
