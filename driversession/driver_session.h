// One installed driver, loaded and initialised exactly as tandemwav does it
// (same list, same loader, same name matching), and always handed back: its
// buffers disposed if any were created, the driver exited and released,
// whichever way the owner leaves.
#pragma once

#include <cstdint>
#include <cstdio>

#include "asiohost/asio.h"

enum class SessionState { Ready, NotLoaded, InitRefused };

class DriverSession {
  public:
    DriverSession() = default;
    ~DriverSession();
    DriverSession(const DriverSession&) = delete;
    DriverSession& operator=(const DriverSession&) = delete;

    // A driver may never return from a call, and then cannot be released.
    // While a session holds a driver, from its loading to its release, a
    // second interrupt prints this line on the stream and ends the process
    // with 130. Each program sets its own line once, before any session.
    static void endOnSecondInterrupt(const char* line, std::FILE* stream);

    SessionState open(const char* driverName);
    // The driver's name, version and, after a refused init, its message.
    const ASIODriverInfo& info() const { return info_; }

    ASIOError createBuffers(ASIOBufferInfo* entries, int32_t count, int32_t frames,
                            ASIOCallbacks* callbacks);
    // tandemwav's own buffers (the engine's createChannelBuffers), disposed
    // with the session like any other.
    ASIOError createChannelBuffers(uint32_t frames, int32_t recordCount, int32_t recordStart,
                                   int32_t playCount, int32_t playStart);
    void disposeBuffers();
    void close();

  private:
    ASIODriverInfo info_{};
    bool loaded_ = false;
    bool buffersCreated_ = false;
};
