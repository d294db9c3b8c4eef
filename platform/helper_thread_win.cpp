#include <windows.h>

#include "platform/helper_thread.h"

namespace {

DWORD WINAPI runWork(void* record) {
    const HelperThread* helper = static_cast<const HelperThread*>(record);
    helper->work(helper->argument);
    return 0;
}

} // namespace

void runHelper(HelperThread* helper, void (*work)(void*), void* argument) {
    helper->work = work;
    helper->argument = argument;
    HANDLE thread = CreateThread(nullptr, 0, runWork, helper, 0, nullptr);
    helper->started = thread != nullptr;
    helper->handle = reinterpret_cast<uintptr_t>(thread);
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
