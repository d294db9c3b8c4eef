// The files that other tools read, one pair of them per measured pair:
// a frequency-response text file (.frd: Hz, dB, degrees, with comment lines
// starting with '*'), as crossover and loudspeaker design tools read it, and
// a CSV table of every figure on the frequency grid, as spreadsheets do.
#pragma once

#include <string>

#include "measure/results.h"

namespace measure {

// How the final response was made, for the files' headers; the channel
// names its calibration file itself.
struct ResponseMaking {
    std::string pair;    // "output 1 -> input 2" or "input 2"
    int reference = 0;   // the results' reference; named where it divides the channel
    double gateMs = 0.0; // 0: not gated
    int smoothing = 0;   // 1/N octave; 0: not smoothed
};

// One row per grid frequency: Hz, dB, degrees, group delay in ms, HD2 to HDK
// in dB, THD in %, then the smoothed and gated dB where there are. A cell
// with no figure is empty.
std::string csvText(const ChannelResult& channel, int harmonicsCounted);

// Writes the channel's impulse response, "ir-NAME.wav", and both files
// beside it, "response-NAME.frd" and ".csv", and records their names in the
// channel.
void writeChannelFiles(const std::string& dir, const std::string& name, int rate,
                       ChannelResult& channel, const ResponseMaking& making, int harmonicsCounted);

} // namespace measure
