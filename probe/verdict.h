// Whether tandemwav can record with a probed device, and if so the command
// line that does it: the suggested buffer length and the channel ranges that
// tandemwav's checks admit on this device.
#pragma once

#include <cstdint>
#include <string>

struct DeviceFacts;

struct Verdict {
    bool usable = false;
    std::string reason; // why not; empty when usable
    int32_t bufferFrames = 0;
    int32_t recordChannels = 0; // inputs recorded from channel 1
    int32_t playChannels = 0;   // the most channels a playback file may have
    std::string commandLine;
};

Verdict judgeDevice(const DeviceFacts& facts);
