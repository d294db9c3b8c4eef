// Calibration files, as microphone makers and measurement tools write them:
// one point a line, frequency in Hz and dB, optionally phase in degrees. Their
// curve is divided out of a measured response, read between its points
// linearly on a logarithmic frequency axis and never beyond them.
#pragma once

#include <string>
#include <vector>

#include "commandline/option_parser.h"
#include "measure/results.h"

namespace measure {

struct CalibrationCurve {
    std::string path; // full
    std::vector<double> hz, db, deg;
    bool hasPhase = false;
};

// The curve subtracted from every point within its range; the points outside
// it are left as they are and marked not calibrated.
void calibrate(const CalibrationCurve& curve, std::vector<ResponsePoint>& response);

// Which calibration applies to which input: one per input, or one for every
// input but the reference (input 0).
struct CalibrationChoice {
    int input = 0;
    std::string file;
};

// --cal, repeatable: "N=FILE" or "FILE", each one more choice; a channel
// that is not one is refused.
commandline::Take calibrations(std::vector<CalibrationChoice>* choices);

// Every file read once, in the order chosen. Throws Failure(kBadCalibration)
// naming the file, the line and what is wrong when a file cannot be read or
// is not such a file.
std::vector<CalibrationCurve> readCalibrations(const std::vector<CalibrationChoice>& choices);

// The curve that applies to the channel's input divided out of its response,
// and named in it.
void applyCalibration(const std::vector<CalibrationChoice>& choices,
                      const std::vector<CalibrationCurve>& curves, int reference,
                      ChannelResult& channel);

} // namespace measure
