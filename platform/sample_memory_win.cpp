#include "platform/sample_memory.h"

#include <new>

// The smallest page of any Windows system; writing more often costs nothing.
constexpr size_t kPageBytes = 4096;

uint8_t* reserveSampleBlock(size_t bytes) {
    return new (std::nothrow) uint8_t[bytes];
}

// Committed memory is still mapped on first use, page by page; one write per
// page does that now rather than in the real-time thread. Volatile, so that no
// write to memory nobody has read yet is left out.
bool makeSampleBlockResident(uint8_t* block, size_t bytes) {
    if (bytes == 0)
        return true;
    volatile uint8_t* bytesOf = block;
    for (size_t at = 0; at < bytes; at += kPageBytes)
        bytesOf[at] = 0;
    bytesOf[bytes - 1] = 0;
    return true;
}

uint8_t* allocateSampleBlock(size_t bytes) {
    uint8_t* block = reserveSampleBlock(bytes);
    if (block != nullptr)
        makeSampleBlockResident(block, bytes);
    return block;
}

void freeSampleBlock(uint8_t* block) {
    delete[] block;
}
