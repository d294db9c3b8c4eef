#include "probe/driver_session.h"

#include "asiohost/asio_calls.h"
#include "asiohost/driver_loader.h"
#include "engine/channel_buffers.h"
#include "engine/device_state.h"

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

ASIOError DriverSession::createChannelBuffers(uint32_t frames, int32_t recordCount,
                                              int32_t recordStart, int32_t playCount,
                                              int32_t playStart) {
    disposeBuffers();
    const ASIOError result =
        ::createChannelBuffers(frames, recordCount, recordStart, playCount, playStart);
    // The engine fails after the driver made its buffers when a buffer is
    // missing or a channel description fails: those buffers are the driver's
    // all the same. The engine nulls every entry before asking.
    buffersCreated_ = result == ASE_OK;
    const int32_t total = deviceState.inputBufferCount + deviceState.outputBufferCount;
    for (int32_t k = 0; k < total && k < kMaxBufferEntries; ++k)
        if (deviceState.bufferInfos[k].buffers[0] != nullptr ||
            deviceState.bufferInfos[k].buffers[1] != nullptr)
            buffersCreated_ = true;
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
