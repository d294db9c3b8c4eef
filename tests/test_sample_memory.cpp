#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/sample_memory.h"

namespace {

// Sizes around page boundaries, where an off-by-one in making the pages
// resident would write before or beyond the block (the sanitizer build
// catches that).
TEST(SampleMemory, BlocksOfAnySizeHoldWhatIsWrittenAndAreReleased) {
    const size_t sizes[] = {0, 1, 3, 4095, 4096, 4097, (size_t{3} << 20) + 5};
    for (size_t bytes : sizes) {
        uint8_t* block = allocateSampleBlock(bytes);
        ASSERT_NE(block, nullptr) << bytes;
        std::vector<uint8_t> pattern(bytes);
        for (size_t i = 0; i < bytes; ++i)
            pattern[i] = static_cast<uint8_t>(i * 7 + 1);
        if (bytes > 0) {
            std::memcpy(block, pattern.data(), bytes);
            EXPECT_EQ(std::memcmp(block, pattern.data(), bytes), 0) << bytes;
        }
        freeSampleBlock(block);
    }
    freeSampleBlock(nullptr);
}

TEST(SampleMemory, BlocksAreDistinct) {
    uint8_t* first = allocateSampleBlock(100);
    uint8_t* second = allocateSampleBlock(100);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    std::memset(first, 0x11, 100);
    std::memset(second, 0x22, 100);
    EXPECT_EQ(first[99], 0x11);
    EXPECT_EQ(second[0], 0x22);
    freeSampleBlock(first);
    freeSampleBlock(second);
}

} // namespace
