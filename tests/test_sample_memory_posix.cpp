// The record store's pages must be resident before the driver starts: the
// buffer switch writes into them in the real-time thread.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "engine/device_state.h"
#include "engine/sample_stores.h"

namespace {

size_t pagesNotResident(const uint8_t* block, size_t bytes) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t first = reinterpret_cast<uintptr_t>(block) / page * page;
    const size_t length = reinterpret_cast<uintptr_t>(block) + bytes - first;
    std::vector<unsigned char> resident((length + page - 1) / page);
    if (mincore(reinterpret_cast<void*>(first), length, resident.data()) != 0)
        return resident.size();
    size_t missing = 0;
    for (unsigned char flags : resident)
        missing += (flags & 1u) == 0 ? 1 : 0;
    return missing;
}

TEST(SampleMemory, TheRecordStoreIsResidentBeforeAnythingIsWritten) {
    recordStore.channelCount = 3;
    recordStore.frameCount = 1000003; // 4 MB a channel, not a whole number of pages
    bytesPerSample = 4;
    ASSERT_TRUE(allocateRecordStore());
    for (uint32_t c = 0; c < recordStore.channelCount; ++c)
        EXPECT_EQ(pagesNotResident(recordStore.blocks[c], 4000012), 0u) << c;
    freeRecordStore();
}

} // namespace
