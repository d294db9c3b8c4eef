// The optional call trace: one line per driver operation, appended to a file
// at once, so that a test sees every call even if the host dies. Only the
// host's calling thread writes it; a driver's real-time side never does.
#pragma once

class CallTrace {
  public:
    // An empty path is no trace. The text is read at each line, so it may be
    // filled in after construction.
    explicit CallTrace(const char* path) : path_(path) {}
    bool enabled() const { return path_[0] != '\0'; }
    __attribute__((format(printf, 2, 3))) void note(const char* format, ...) const;

  private:
    const char* path_;
};
