// tandemwav-measure's exit codes, the one list of them: README's table is
// tested against it, row for code. Where it meets a failure tandemwav or the
// probe also knows, it uses their code; every bad input of its own has one.
#pragma once

#define TANDEM_MEASURE_EXIT_CODES(X)                                                               \
    X(kDone, 0)                                                                                    \
    X(kUsage, 1)             /* unknown command or option, a value that is not a number */         \
    X(kNotWav, 2)            /* a file missing, unreadable or not a WAV file */                    \
    X(kUnsupportedFormat, 3) /* a WAV sample format not read (8-bit PCM, ADPCM, ...) */            \
    X(kDriverNotLoaded, 4)                                                                         \
    X(kDriverInit, 5)                                                                              \
    X(kChannels, 6)                                                                                \
    X(kBufferSize, 7)                                                                              \
    X(kSampleRate, 8)                                                                              \
    X(kCreateBuffers, 9)                                                                           \
    X(kNativeFormat, 10)                                                                           \
    X(kStart, 11)                                                                                  \
    X(kNoMemory, 12)          /* the recording or the transforms do not fit in memory */           \
    X(kCannotWrite, 14)       /* the sweep, its parameters or the results cannot be written */     \
    X(kDamagedTake, 15)       /* run, interface: a take still lost blocks after its retakes */     \
    X(kNoSignal, 16)          /* no recorded channel responds to the sweep */                      \
    X(kNoParameters, 20)      /* the sweep's parameters are missing, unreadable or not its own */  \
    X(kRateMismatch, 21)      /* the recording is at another rate than the sweep */                \
    X(kRecordingTooShort, 22) /* the recording holds fewer frames than the sweep file */           \
    X(kBandAboveRate, 23)     /* --to above 0.93 times half the rate */                            \
    X(kBadSweepSetting, 24)   /* another sweep setting out of range */                             \
    X(kNoResults, 25)         /* report: the folder's results.json is missing or no results */     \
    X(kNotFinite, 26)         /* a recorded sample is NaN or infinite */                           \
    X(kBadCalibration, 27)    /* a calibration file missing, unreadable or malformed */            \
    X(kOverlapTooLong, 28)    /* run --overlap: the response's window does not fit the sweep */    \
    X(kInterrupted, 130)

namespace measure {

#define TANDEM_MEASURE_EXIT_NAME(name, value) name = value,
#define TANDEM_MEASURE_EXIT_VALUE(name, value) value,

enum ExitCode : int { TANDEM_MEASURE_EXIT_CODES(TANDEM_MEASURE_EXIT_NAME) };
constexpr int kExitCodes[] = {TANDEM_MEASURE_EXIT_CODES(TANDEM_MEASURE_EXIT_VALUE)};

} // namespace measure
