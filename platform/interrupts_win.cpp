#include "platform/interrupts.h"

#include <atomic>

#include "platform/win32api.h"

namespace {

std::atomic<bool> requested{false};
std::atomic<bool> handled{false};

// Runs on a thread of its own. Windows ends the process as soon as this returns
// for a closing console, so it waits (a few seconds at most, as Windows allows)
// until the main thread has stopped the driver and written the recording.
BOOL WINAPI onConsoleEvent(DWORD event) {
    requested.store(true, std::memory_order_relaxed);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        for (int waited = 0; waited < 4500 && !handled.load(); waited += 50)
            Sleep(50);
    }
    return TRUE;
}

} // namespace

void watchInterrupts() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool interruptRequested() {
    return requested.load(std::memory_order_relaxed);
}

void interruptHandled() {
    handled.store(true);
}
