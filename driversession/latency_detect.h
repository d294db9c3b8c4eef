// Where a known signal lies in a recording: the lag of the strongest
// cross-correlation, and how clearly it stands out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Below this the peak could be noise: the largest of some 10^5 lags of pure
// noise stands about 14 dB above their mean.
constexpr double kMinDetectionSnrDb = 20.0;

struct Detection {
    bool found = false;
    int32_t lag = 0;       // frames from the signal's start to its copy in the recording
    double snrDb = 0.0;    // the peak's power over the mean power of the lags away from it;
                           // infinite when nothing else correlates, -infinite when nothing does
    bool inverted = false; // the copy came back with its polarity reversed
    // A clear copy came back later than the window looked for: no figure is
    // given, since a loop a little longer still would leave only part of the
    // copy in the recording, and that part can correlate anywhere.
    bool beyondWindow = false;
};

// Looks for lags 0 to recording.size() - signal.size() and accepts a copy at
// lags 0 to windowFrames. The recording should reach at least one signal
// length past the window, so that a loop just beyond it is seen as such.
Detection detectSignal(const std::vector<float>& signal, const std::vector<float>& recording,
                       size_t windowFrames);
