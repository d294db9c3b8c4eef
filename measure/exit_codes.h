// tandemwav-measure's exit codes. Where it meets a failure tandemwav or the
// probe also knows, it uses their code; every bad input of its own has one.
#pragma once

namespace measure {

enum ExitCode : int {
    kDone = 0,
    kUsage = 1,              // unknown command or option, a value that is not a number
    kNotWav = 2,             // a file missing, unreadable or not a WAV file
    kUnsupportedFormat = 3,  // a WAV file in a sample format not read (8-bit PCM, ADPCM, ...)
    kNoMemory = 12,          // the recording or the transforms do not fit in memory
    kCannotWrite = 14,       // the sweep, its parameters or the results cannot be written
    kNoSignal = 16,          // no recorded channel responds to the sweep
    kNoParameters = 20,      // the sweep's parameters are missing, unreadable or not its own
    kRateMismatch = 21,      // the recording is at another rate than the sweep
    kRecordingTooShort = 22, // the recording holds fewer frames than the sweep file
    kBandAboveRate = 23,     // --to above 0.95 times half the rate
    kBadSweepSetting = 24,   // another sweep setting out of range
    kNoResults = 25,         // report: the folder's results.json is missing or no results
};

} // namespace measure
