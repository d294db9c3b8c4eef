// What the interface command found, as plain records before they become
// JSON, a console summary or a page: one list of data-sheet figures per
// (output, input) pair, and the curves behind them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "measure/device_capture.h"
#include "measure/device_run.h"
#include "measure/results.h"

namespace measure {

// One figure of the data sheet. A figure the measurement cannot stand behind
// (clipped, not measurable at this rate, beyond the swept band, an input that
// returned digital silence) has no value but a mark saying why.
struct Figure {
    std::string key;        // its name in results.json
    std::string label;      // its row in the summary
    std::string unit;       // "dB", "dBFS", "%", "Hz", "frames", "ms"
    std::string definition; // the published definition it follows
    bool measured = false;
    double value = 0.0;
    std::string mark; // why there is no value, or what bounds it
};

// A point of a curve; clipped points have no level.
struct CurvePoint {
    double x = 0.0;
    double y = 0.0;
    bool clipped = false;
};

struct CrosstalkReading {
    int input = 0; // the input it leaks into, from 1
    double hz = 0.0;
    bool measured = false; // false: that input returned digital silence
    double db = 0.0;       // against the direct path, at the tone's bin
};

struct InterfacePair {
    int output = 0, input = 0; // from 1
    std::vector<Figure> figures;
    std::vector<ResponsePoint> response;      // from the sweep, 0 dB at 1 kHz
    std::vector<CurvePoint> noiseSpectrum;    // Hz, dBFS per bin
    std::vector<CurvePoint> thdnAgainstLevel; // dBFS, dB
    std::vector<CurvePoint> thdnAgainstFrequency;
    std::vector<CurvePoint> smpteSpectrum; // Hz, dBFS
    std::vector<CurvePoint> ccifSpectrum;
    std::vector<CrosstalkReading> crosstalk; // this pair's output into the other inputs
    double noiseBinHz = 0.0;
    std::string latencyVerdict; // the probe's words
};

struct InterfaceResults {
    bool complete = false;
    std::string error;
    std::string device; // the name asked for
    DeviceSetup setup;
    bool quick = false;
    int64_t windowFrames = 0; // the coherent analysis window
    int64_t noiseFrames = 0;
    double takeSeconds = 0.0; // played and recorded, retakes included
    int retakes = 0;
    std::vector<TakeRecord> takes; // repeat 1: an output's sweep take, 2: its tone take
    std::string date;
    std::vector<InterfacePair> pairs;
};

} // namespace measure
