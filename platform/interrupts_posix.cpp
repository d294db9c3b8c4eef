#include "platform/interrupts.h"

#include <atomic>
#include <csignal>

namespace {

std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free,
              "the handler may only touch a lock-free flag");

void onSignal(int) {
    requested.store(true, std::memory_order_relaxed);
}

} // namespace

void watchInterrupts() {
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interruptRequested() {
    return requested.load(std::memory_order_relaxed);
}

void interruptHandled() {}
