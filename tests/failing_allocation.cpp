#include "tests/failing_allocation.h"

#include <cstdlib>
#include <new>

// The array forms of new and delete are replaced together and all go to
// malloc and free, so every pairing stays consistent for the sanitizers.

namespace {
long refuseAt = -1;
long seen = 0;
} // namespace

void refuseCheckedAllocation(long n) {
    refuseAt = n;
    seen = 0;
}

long checkedAllocationsSeen() {
    return seen;
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    if (seen++ == refuseAt)
        return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* operator new[](std::size_t size) {
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}

void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
