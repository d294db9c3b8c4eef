#include "platform/sample_memory.h"

#include <cerrno>
#include <sys/mman.h>
#include <unistd.h>

// One call faults every page in, far cheaper than one fault per page (kernels
// before 5.14 lack it; the writes below then fault them in one by one). The
// range starts at the block's first page, which the allocator owns as well.
// Populated is not yet written: on a guest with shadow paging the first write
// to each page still traps to the hypervisor, some microseconds a page, and
// with many channels those traps would all fall in the same buffer switch.
// Writing each page once takes them all now; elsewhere it costs next to nothing.
bool makeSampleBlockResident(uint8_t* block, size_t bytes) {
    if (bytes == 0)
        return true;
    const size_t pageBytes = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t first = reinterpret_cast<uintptr_t>(block) / pageBytes * pageBytes;
    const uintptr_t end = reinterpret_cast<uintptr_t>(block) + bytes;
    if (madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE) != 0 &&
        errno != EINVAL)
        return false;
    // One write per page. Volatile, so that no write to memory nobody has read
    // yet is left out.
    volatile uint8_t* bytesOf = block;
    for (size_t at = 0; at < bytes; at += pageBytes)
        bytesOf[at] = 0;
    bytesOf[bytes - 1] = 0;
    return true;
}
