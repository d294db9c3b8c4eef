// The figures of room acoustics (ISO 3382-1 and -2) from one impulse
// response: per band and broadband, the early decay time and the
// reverberation times T20 and T30 with their lines' correlation and
// non-linearity, clarity C50 and C80, definition D50, centre time Ts and the
// peak-to-noise ratio. A figure the response cannot carry is absent, with
// the reason.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "room/band_filters.h"
#include "room/decay_analysis.h"

namespace room {

// The decay range above the noise each reverberation figure needs (ISO
// 3382-1): its evaluation range and 10 dB more (EDT: 10 dB more than its own).
constexpr double kEdtNeedsDb = 20.0;
constexpr double kT20NeedsDb = 35.0;
constexpr double kT30NeedsDb = 45.0;
// A decay read through a band filter run forwards is the filter's own as
// well unless the bandwidth times the decay time reaches this.
constexpr double kLeastBandwidthTime = 16.0;
// Less than this after its peak holds no decay worth the name.
constexpr double kShortestDecaySeconds = 0.1;
// The decay curve on the page and in the results: one level per step.
constexpr double kCurveStepSeconds = 0.005;

struct Figure {
    bool given = false;
    double value = 0.0;
    std::string reason; // when not given
};

struct DecayFigure {
    bool given = false;
    LineFit fit; // fit.seconds(): the figure
    std::string reason;
};

struct BandFigures {
    std::string name; // "broadband" or the nominal mid-band frequency
    double mid = 0.0; // 0 for broadband
    double bandwidth = 0.0;
    bool decayFound = false;
    double noiseDb = 0.0; // per sample, against full scale
    double decayRangeDb = 0.0;
    size_t crossFrame = 0; // from the onset
    DecayFigure edt, t20, t30;
    Figure c50, c80, d50, ts;    // dB, dB, percent, ms
    Figure peakToNoise;          // dB
    std::vector<double> curveDb; // the decay curve, kCurveStepSeconds apart, to the crossing
};

struct RoomFigures {
    bool found = false;
    std::string reason; // when nothing could be found
    double rate = 0.0;
    BandWidth width = BandWidth::octave;
    size_t onsetFrame = 0;          // in the response given
    std::vector<BandFigures> bands; // broadband first
};

RoomFigures analyseRoom(const std::vector<float>& response, double rate, BandWidth width);

const char* bandWidthName(BandWidth width);

} // namespace room
