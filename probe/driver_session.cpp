#include "probe/driver_session.h"

#include "asiohost/asio_calls.h"
#include "asiohost/driver_loader.h"

DriverSession::~DriverSession() {
    close();
}

SessionState DriverSession::open(const char* driverName) {
    close();
    info_ = ASIODriverInfo{};
    if (!loadDriverByName(driverName))
        return SessionState::NotLoaded;
    loaded_ = true;
    if (ASIOInit(&info_) != ASE_OK) {
        // The call layer already let go of the refused driver; its list entry
        // still holds the object.
        close();
        return SessionState::InitRefused;
    }
    initialised_ = true;
    return SessionState::Ready;
}

ASIOError DriverSession::createBuffers(ASIOBufferInfo* entries, int32_t count, int32_t frames,
                                       ASIOCallbacks* callbacks) {
    disposeBuffers();
    const ASIOError result = ASIOCreateBuffers(entries, count, frames, callbacks);
    buffersCreated_ = result == ASE_OK;
    return result;
}

void DriverSession::disposeBuffers() {
    if (buffersCreated_)
        ASIODisposeBuffers();
    buffersCreated_ = false;
}

void DriverSession::close() {
    disposeBuffers();
    if (initialised_)
        ASIOExit();
    // As tandemwav: the list entry releases the object even when the call
    // layer no longer points at it.
    if (loaded_ && driverLoader != nullptr)
        driverLoader->unloadCurrent();
    initialised_ = false;
    loaded_ = false;
}
