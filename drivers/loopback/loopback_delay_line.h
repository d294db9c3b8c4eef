// One channel's way from output back to input: a ring of `length` frames of
// native samples, read and written at the same cursor. At block n the cursor
// is n * B mod length, so what is written at frame t is read back at frame
// t + length: recording[t] == playback[t - length], zeros before.
#pragma once

#include <cstdint>

struct DelayLine {
    uint8_t* frames;
    int32_t length; // frames; never less than one block
    int32_t frameBytes;
};

// The block of `count` frames that went in `length` frames ago, into target.
void readDelayLine(const DelayLine& line, int32_t cursor, int32_t count, uint8_t* target);

// Stores a block of `count` frames at the cursor, replacing what was just read.
void writeDelayLine(const DelayLine& line, int32_t cursor, int32_t count, const uint8_t* source);

int32_t advanceDelayCursor(int32_t length, int32_t cursor, int32_t count);
