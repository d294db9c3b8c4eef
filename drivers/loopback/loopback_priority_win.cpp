#include <windows.h>

#include "drivers/loopback/loopback_priority.h"

namespace {

using SetCharacteristics = HANDLE(WINAPI*)(LPCSTR, LPDWORD);
using RevertCharacteristics = BOOL(WINAPI*)(HANDLE);

thread_local HMODULE avrt = nullptr;
thread_local HANDLE mmcssTask = nullptr;
thread_local bool finerTimer = false;

// avrt.dll is looked up at run time: older systems and some Wine prefixes
// lack it, and the thread priority below is then the fallback. It is loaded
// once per clock thread and freed as the thread ends.
FARPROC avrtFunction(const char* name) {
    if (avrt == nullptr)
        avrt = LoadLibraryA("avrt.dll");
    return avrt != nullptr ? GetProcAddress(avrt, name) : nullptr;
}

} // namespace

const char* raiseClockPriority() {
    // The waits between halves are only as fine as the system timer.
    finerTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
    auto set = reinterpret_cast<SetCharacteristics>(
        reinterpret_cast<void*>(avrtFunction("AvSetMmThreadCharacteristicsA")));
    DWORD taskIndex = 0;
    if (set != nullptr && (mmcssTask = set("Pro Audio", &taskIndex)) != nullptr)
        return "mmcss";
    if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL))
        return "time-critical";
    return "normal";
}

void restoreClockPriority() {
    if (mmcssTask != nullptr) {
        auto revert = reinterpret_cast<RevertCharacteristics>(
            reinterpret_cast<void*>(avrtFunction("AvRevertMmThreadCharacteristics")));
        if (revert != nullptr)
            revert(mmcssTask);
        mmcssTask = nullptr;
    }
    if (avrt != nullptr)
        FreeLibrary(avrt);
    avrt = nullptr;
    if (finerTimer)
        timeEndPeriod(1);
    finerTimer = false;
}
