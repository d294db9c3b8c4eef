// Putting a new file in a path's place in one step, as the recording writer
// does: written beside the target, on stable storage, then renamed over it
// with its folder synced. The path holds its old content or the whole new one
// at every instant.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

// The file could not be written; the message names it. The target is left
// as it was.
class FileWriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// `head` then `bodySize` bytes of `body`. Throws FileWriteError.
void replaceFileWith(const std::string& path, const std::string& head, const void* body = nullptr,
                     size_t bodySize = 0);
