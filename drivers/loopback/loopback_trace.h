// The optional call trace: one line per driver operation, appended to a file
// and flushed at once, so that a test sees every call even if the host dies.
// Only the calling (host) thread writes it; the device clock never does.
#pragma once

class CallTrace {
  public:
    explicit CallTrace(const char* path) : path_(path) {}
    bool enabled() const { return path_[0] != '\0'; }
    __attribute__((format(printf, 2, 3))) void note(const char* format, ...) const;

  private:
    const char* path_;
};
