#include "driversession/driver_session.h"

#include "asiohost/asio_calls.h"
#include "asiohost/driver_loader.h"
#include "engine/channel_buffers.h"
#include "platform/interrupts.h"

namespace {

const char* hungDriverLine = nullptr;
std::FILE* hungDriverStream = stdout;

} // namespace

void DriverSession::endOnSecondInterrupt(const char* line, std::FILE* stream) {
    hungDriverLine = line;
    hungDriverStream = stream;
}

DriverSession::~DriverSession() {
    close();
}

SessionState DriverSession::open(const char* driverName) {
    close();
    info_ = ASIODriverInfo{};
    if (hungDriverLine != nullptr)
        ::endOnSecondInterrupt(hungDriverLine, hungDriverStream);
    if (!loadDriverByName(driverName)) {
        keepOnSecondInterrupt();
        return SessionState::NotLoaded;
    }
    loaded_ = true;
    if (ASIOInit(&info_) != ASE_OK) {
        close();
        return SessionState::InitRefused;
    }
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
    buffersCreated_ = result == ASE_OK || channelBuffersHeld();
    return result;
}

void DriverSession::disposeBuffers() {
    if (buffersCreated_)
        ASIODisposeBuffers();
    buffersCreated_ = false;
}

void DriverSession::close() {
    if (loaded_)
        releaseLoadedDriver(buffersCreated_);
    buffersCreated_ = false;
    loaded_ = false;
    keepOnSecondInterrupt();
}
