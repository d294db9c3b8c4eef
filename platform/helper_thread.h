// A helper thread for work done before the driver starts or after it has
// stopped, never while it runs.
#pragma once

#include <cstdint>

// Lives until the join: the thread reads its work from here.
struct HelperThread {
    void (*work)(void*);
    void* argument;
    uintptr_t handle;
    bool started;
};

// Runs work(argument) on a new thread. When no thread can be had it runs it
// here, before returning, so the caller need not care which happened.
void runHelper(HelperThread* helper, void (*work)(void*), void* argument);

// Waits for the work to end; at once when it ran inline or was joined before.
void joinHelper(HelperThread* helper);
