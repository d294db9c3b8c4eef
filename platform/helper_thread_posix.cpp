#include <pthread.h>

#include "platform/helper_thread.h"

namespace {

void* runWork(void* record) {
    const HelperThread* helper = static_cast<const HelperThread*>(record);
    helper->work(helper->argument);
    return nullptr;
}

} // namespace

static_assert(sizeof(pthread_t) <= sizeof(uintptr_t), "a thread id fits the handle");

void runHelper(HelperThread* helper, void (*work)(void*), void* argument) {
    helper->work = work;
    helper->argument = argument;
    pthread_t thread;
    helper->started = pthread_create(&thread, nullptr, runWork, helper) == 0;
    helper->handle = helper->started ? static_cast<uintptr_t>(thread) : 0;
    if (!helper->started)
        work(argument);
}

void joinHelper(HelperThread* helper) {
    if (helper->started)
        pthread_join(static_cast<pthread_t>(helper->handle), nullptr);
    helper->started = false;
}
