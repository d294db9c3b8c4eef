#include <process.h>
#include <windows.h>

#include "platform/helper_thread.h"

namespace {

// Through the C runtime's own thread start, since the work uses its streams.
unsigned __stdcall runWork(void* record) {
    const HelperThread* helper = static_cast<const HelperThread*>(record);
    helper->work(helper->argument);
    return 0;
}

} // namespace

void runHelper(HelperThread* helper, void (*work)(void*), void* argument) {
    helper->work = work;
    helper->argument = argument;
    const uintptr_t thread = _beginthreadex(nullptr, 0, runWork, helper, 0, nullptr);
    helper->started = thread != 0;
    helper->handle = thread;
    if (!helper->started)
        work(argument);
}

void joinHelper(HelperThread* helper) {
    if (helper->started) {
        HANDLE thread = reinterpret_cast<HANDLE>(helper->handle);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    helper->started = false;
}
