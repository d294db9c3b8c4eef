#include <cerrno>
#include <ctime>

#include "platform/posix_win32.h"

// The coarse clock is read without touching the hardware, a few times faster
// than the precise one, which matters in the buffer switch. Its resolution is
// the kernel's tick (1 to 10 ms), like Windows' own multimedia clock.
DWORD timeGetTime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    // Windows' multimedia clock wraps every 49.7 days; callers subtract readings.
    return static_cast<DWORD>(ms);
}

void Sleep(DWORD milliseconds) {
    timespec wanted{};
    wanted.tv_sec = static_cast<time_t>(milliseconds / 1000u);
    wanted.tv_nsec = static_cast<long>(milliseconds % 1000u) * 1000000L;
    // A signal must not cut the wait short.
    while (nanosleep(&wanted, &wanted) != 0 && errno == EINTR) {
    }
}
