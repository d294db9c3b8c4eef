// The optional call trace: one line per driver operation, appended to a file
// at once, so that a test sees every call even if the host dies. Only the
// host's calling thread writes it; the JACK process cycle never does.
#pragma once

class JackCallTrace {
  public:
    explicit JackCallTrace(const char* path) : path_(path) {}
    __attribute__((format(printf, 2, 3))) void note(const char* format, ...) const;

  private:
    const char* path_;
};
