// A failure of the measurement: the exit code it ends with and the message
// that tells the user what was wrong.
#pragma once

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

} // namespace measure
