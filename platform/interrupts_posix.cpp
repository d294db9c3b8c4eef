#include "platform/interrupts.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <semaphore.h>
#include <unistd.h>

namespace {

std::atomic<bool> requested{false};
std::atomic<const char*> lastWords{nullptr};
std::atomic<std::FILE*> lastWordsStream{stdout};
static_assert(std::atomic<bool>::is_always_lock_free,
              "the handler may only touch lock-free atomics");
static_assert(std::atomic<const char*>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

// A signal handler may not print or flush standard output; it only posts this
// to a thread that may.
sem_t secondInterrupt;

void onSignal(int) {
    if (requested.exchange(true) && lastWords.load() != nullptr)
        sem_post(&secondInterrupt);
}

void* endOnPost(void*) {
    while (sem_wait(&secondInterrupt) != 0) {
    }
    // What the main thread printed before it was held goes out first.
    std::fflush(stdout);
    std::FILE* stream = lastWordsStream.load();
    std::fputs(lastWords.load(), stream);
    std::fflush(stream);
    _exit(130);
}

void startEndingThread() {
    sem_init(&secondInterrupt, 0, 0);
    pthread_t thread;
    if (pthread_create(&thread, nullptr, endOnPost, nullptr) == 0)
        pthread_detach(thread);
}

} // namespace

void watchInterrupts() {
    static bool watching = false;
    if (!watching)
        startEndingThread();
    watching = true;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interruptRequested() {
    return requested.load(std::memory_order_relaxed);
}

void interruptHandled() {}

void endOnSecondInterrupt(const char* line, std::FILE* stream) {
    lastWordsStream.store(stream);
    lastWords.store(line);
}

void keepOnSecondInterrupt() {
    lastWords.store(nullptr);
}
