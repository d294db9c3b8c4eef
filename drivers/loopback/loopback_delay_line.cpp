#include "drivers/loopback/loopback_delay_line.h"

#include <cstring>

namespace {

// Frames up to the end of the ring; the rest continue at its start. A block
// is never longer than the ring, so one wrap at most.
int32_t framesBeforeWrap(const DelayLine& line, int32_t cursor, int32_t count) {
    const int32_t room = line.length - cursor;
    return count < room ? count : room;
}

} // namespace

void readDelayLine(const DelayLine& line, int32_t cursor, int32_t count, uint8_t* target) {
    const size_t bytes = static_cast<size_t>(line.frameBytes);
    const int32_t first = framesBeforeWrap(line, cursor, count);
    std::memcpy(target, line.frames + bytes * static_cast<size_t>(cursor),
                bytes * static_cast<size_t>(first));
    std::memcpy(target + bytes * static_cast<size_t>(first), line.frames,
                bytes * static_cast<size_t>(count - first));
}

void writeDelayLine(const DelayLine& line, int32_t cursor, int32_t count, const uint8_t* source) {
    const size_t bytes = static_cast<size_t>(line.frameBytes);
    const int32_t first = framesBeforeWrap(line, cursor, count);
    std::memcpy(line.frames + bytes * static_cast<size_t>(cursor), source,
                bytes * static_cast<size_t>(first));
    std::memcpy(line.frames, source + bytes * static_cast<size_t>(first),
                bytes * static_cast<size_t>(count - first));
}

int32_t advanceDelayCursor(int32_t length, int32_t cursor, int32_t count) {
    const int32_t next = cursor + count;
    return next >= length ? next - length : next;
}
