// A failure of the measurement: the exit code it ends with and the message
// that tells the user what was wrong.
#pragma once

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>

namespace measure {

class Failure : public std::runtime_error {
  public:
    Failure(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

  private:
    int code_;
};

// The JSON that stands in the results folder for a failed command, written
// there by this function, given the exit code and the message.
using FailureRecord = std::function<std::string(int code, const std::string& message)>;

// Runs a command's work. A Failure, or the memory running out (told as
// `noMemory`), is printed on `messages`; with a record, that record is made,
// and printed on standard output with --json. The exit code back.
int attempt(const std::function<void()>& work, const char* noMemory, std::FILE* messages,
            bool json = false, const FailureRecord& record = nullptr);

} // namespace measure
