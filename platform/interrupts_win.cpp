#include "platform/interrupts.h"

#include <atomic>
#include <cstdio>

#include "platform/win32api.h"

namespace {

std::atomic<bool> requested{false};
std::atomic<bool> handled{false};
std::atomic<const char*> lastWords{nullptr};
std::atomic<std::FILE*> lastWordsStream{stdout};

// The main thread is held inside a driver's call: what it printed before goes
// out first, then the line, and the process ends without waiting for anyone.
void endAtOnce(const char* line) {
    std::fflush(stdout);
    std::FILE* stream = lastWordsStream.load();
    std::fputs(line, stream);
    std::fflush(stream);
    TerminateProcess(GetCurrentProcess(), 130);
}

// Runs on a thread of its own. Windows ends the process as soon as this returns
// for a closing console, so it waits (a few seconds at most, as Windows allows)
// until the main thread has stopped the driver and written the recording.
BOOL WINAPI onConsoleEvent(DWORD event) {
    const bool again = requested.exchange(true);
    const char* line = lastWords.load();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        for (int waited = 0; waited < 4500 && !handled.load(); waited += 50)
            Sleep(50);
    } else if (again && line != nullptr) {
        endAtOnce(line);
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

void endOnSecondInterrupt(const char* line, std::FILE* stream) {
    lastWordsStream.store(stream);
    lastWords.store(line);
}

void keepOnSecondInterrupt() {
    lastWords.store(nullptr);
}
