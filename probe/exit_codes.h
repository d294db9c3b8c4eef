// tandemwav-probe's exit codes, the one list of them: README's table is
// tested against it, row for code. Where the probe meets a failure that
// tandemwav also knows, it uses tandemwav's code.
#pragma once

#define TANDEM_PROBE_EXIT_CODES(X)                                                                 \
    X(kProbeDone, 0)                                                                               \
    X(kProbeUsage, 1)                                                                              \
    X(kProbeDriverNotLoaded, 4)                                                                    \
    X(kProbeDriverInit, 5)                                                                         \
    X(kProbeChannels, 6)                                                                           \
    X(kProbeBufferSize, 7)                                                                         \
    X(kProbeSampleRate, 8)                                                                         \
    X(kProbeCreateBuffers, 9)                                                                      \
    X(kProbeNativeFormat, 10)                                                                      \
    X(kProbeStart, 11)                                                                             \
    X(kProbeNoMemory, 12)                                                                          \
    X(kProbeNoSignal, 16)                                                                          \
    X(kProbeInterrupted, 130)

#define TANDEM_PROBE_EXIT_NAME(name, value) name = value,
#define TANDEM_PROBE_EXIT_VALUE(name, value) value,

enum ProbeExitCode : int { TANDEM_PROBE_EXIT_CODES(TANDEM_PROBE_EXIT_NAME) };
constexpr int kProbeExitCodes[] = {TANDEM_PROBE_EXIT_CODES(TANDEM_PROBE_EXIT_VALUE)};
