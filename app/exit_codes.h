// tandemwav's exit codes, the one list of them: README's table is tested
// against it, row for code.
#pragma once

#define TANDEMWAV_EXIT_CODES(X)                                                                    \
    X(kExitDone, 0)                                                                                \
    X(kExitUsage, 1)                                                                               \
    X(kExitPlaybackFile, 2)                                                                        \
    X(kExitNotFloat32, 3)                                                                          \
    X(kExitDriverNotLoaded, 4)                                                                     \
    X(kExitDriverInit, 5)                                                                          \
    X(kExitChannels, 6)                                                                            \
    X(kExitBufferSize, 7)                                                                          \
    X(kExitSampleRate, 8)                                                                          \
    X(kExitCreateBuffers, 9)                                                                       \
    X(kExitNativeFormat, 10)                                                                       \
    X(kExitStart, 11)                                                                              \
    X(kExitNoMemory, 12)                                                                           \
    X(kExitRecordingTooLarge, 13)                                                                  \
    X(kExitRecordFile, 14)                                                                         \
    X(kExitLostBlocks, 15)                                                                         \
    X(kExitInterrupted, 130)

#define TANDEM_EXIT_NAME(name, value) name = value,
#define TANDEM_EXIT_VALUE(name, value) value,

enum ExitCode : int { TANDEMWAV_EXIT_CODES(TANDEM_EXIT_NAME) };
constexpr int kTandemWavExitCodes[] = {TANDEMWAV_EXIT_CODES(TANDEM_EXIT_VALUE)};

// The recording writer's results (WriteResult) as the run's exit code: any
// failure to put the recording in place is the record file's.
int exitCodeOfWrite(int written);
