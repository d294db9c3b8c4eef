// The steady signals of an interface measurement, played in sequence in one
// take per output: silence for the noise, then coherent tones, each faded in,
// given time to settle and then held for exactly one analysis window.
#pragma once

#include <cstddef>
#include <vector>

namespace measure {

enum class ToneUse { Noise, DynamicRange, Thdn, ThdnLevel, ThdnFrequency, Smpte, Ccif, Crosstalk };

struct ToneSegment {
    ToneUse use = ToneUse::Noise;
    double levelDbfs = 0.0;         // the whole signal's peak
    std::vector<size_t> bins;       // its tones, as whole cycles per window
    std::vector<double> amplitudes; // each tone's peak amplitude
    size_t start = 0, frames = 0;   // in the played take, fades included
    size_t analysisStart = 0;       // in the played take
    size_t analysisFrames = 0;      // the window, or the noise stretch
};

struct TonePlan {
    double rate = 0.0;
    size_t window = 0;      // frames of a tone's analysis window
    size_t noiseFrames = 0; // frames of the silence analysed for noise
    std::vector<ToneSegment> segments;
    size_t totalFrames = 0; // with the tail that brings the last segment back
};

constexpr double kDynamicRangeLevelDbfs = -60.0;
constexpr double kThdnLevelDbfs = -1.0;
constexpr double kToneHz = 997.0;

// quick: the noise, the dynamic range, THD+N at one level and frequency and
// crosstalk at 1 kHz. tailFrames: silence after the last segment, at least
// the loop's round trip.
TonePlan planTones(double rate, bool quick, size_t tailFrames);

// The samples of the plan, for the output under test.
std::vector<float> toneMaterial(const TonePlan& plan);

} // namespace measure
