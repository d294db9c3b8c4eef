// What is the same on every system; making the pages resident is not.
#include "platform/sample_memory.h"

#include <new>

uint8_t* reserveSampleBlock(size_t bytes) {
    return new (std::nothrow) uint8_t[bytes];
}

uint8_t* allocateSampleBlock(size_t bytes) {
    uint8_t* block = reserveSampleBlock(bytes);
    if (block != nullptr && !makeSampleBlockResident(block, bytes)) {
        freeSampleBlock(block);
        return nullptr;
    }
    return block;
}

void freeSampleBlock(uint8_t* block) {
    delete[] block;
}
