// One whole run: set-up, streaming, tear-down and the recording.
#pragma once

enum ExitCode : int {
    kExitDone = 0,
    kExitUsage = 1,
    kExitPlaybackFile = 2,
    kExitNotFloat32 = 3,
    kExitDriverNotLoaded = 4,
    kExitDriverInit = 5,
    kExitChannels = 6,
    kExitBufferSize = 7,
    kExitSampleRate = 8,
    kExitCreateBuffers = 9,
    kExitNativeFormat = 10,
    kExitStart = 11,
    kExitNoMemory = 12,
    kExitRecordingTooLarge = 13,
    kExitRecordFile = 14,
    kExitLostBlocks = 15,
    kExitInterrupted = 130,
};

int runTandemWav(int argc, char** argv);
