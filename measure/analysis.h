// The analysis of a recorded synchronized sweep: deconvolution by the played
// sweep's own spectrum, then, per channel, the linear response and the
// harmonic responses cut out of one impulse response.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "measure/measure_files.h"
#include "measure/results.h"

namespace measure {

// How far a channel's peak must stand above the RMS of its noise over the
// whole band for it to count as responding: pure noise's largest sample of
// some 10^5 stands about 13 dB above its RMS.
constexpr double kMinResponseSnrDb = 20.0;

// Points per octave of the response's and the distortion's frequency grid.
constexpr int kPointsPerOctave = 48;

// The reported band on a logarithmic grid, both ends included.
std::vector<double> frequencyGrid(double from, double to);

// Analyses every channel of a recording of the sweep; harmonics orders 2 to
// harmonics. The recording must hold the whole sweep file, at its rate.
// Fills every figure but the file names; complete stays false.
// How much of each impulse response ChannelResult::impulseSamples keeps:
// the linear response's window, or all that the whole sweep came back in.
enum class ResponseKept { linearWindow, wholeRecording };

// With a reference (a channel from 1; 0 for none), every other responding
// channel's response, harmonics and relative delay are its own divided by
// the reference's linear response. A reference below its noise leaves the
// other channels unanalysed: referenceFails tells.
Results analyseRecording(const SweepPlan& plan, const Recording& recording, int harmonics,
                         ResponseKept kept = ResponseKept::linearWindow, int reference = 0);

// Whether a reference was asked for and stayed below its noise.
bool referenceFails(const Results& results);

// How many frames of the linear response, from its peak on, the response
// kept holds (without ResponseKept::wholeRecording).
size_t linearFramesFromPeak(const SweepPlan& plan);

// A take in which every output plays the same sweep, output j starting
// starts[j] frames after the first (starts[0] is 0). In each input's impulse
// response every order of every output owns a window of `before` frames
// before its onset and `after` frames after it, apart from the other
// outputs' windows.
struct StaggeredOutputs {
    std::vector<int64_t> starts;
    size_t before = 0;
    size_t after = 0;
};

// One Results per output, as analyseRecording gives them for a take of that
// output alone: one deconvolution per input, each output's orders cut out of
// its own windows and the noise read where no window lies. The recording
// holds the sweep file's silence before the first output's sweep.
std::vector<Results> analyseStaggeredRecording(const SweepPlan& plan,
                                               const StaggeredOutputs& outputs,
                                               const Recording& recording, int harmonics);

} // namespace measure
