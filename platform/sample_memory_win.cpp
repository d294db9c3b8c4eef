#include "platform/sample_memory.h"

// The smallest page of any Windows system; writing more often costs nothing.
constexpr size_t kPageBytes = 4096;

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
