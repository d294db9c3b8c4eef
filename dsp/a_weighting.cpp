#include "dsp/a_weighting.h"

#include <cmath>

namespace dsp {

namespace {

// The pole frequencies of IEC 61672-1, Annex E, in Hz.
constexpr double kF1 = 20.598997;
constexpr double kF2 = 107.65265;
constexpr double kF3 = 737.86223;
constexpr double kF4 = 12194.217;

double unnormalised(double hz) {
    const double f2 = hz * hz;
    return kF4 * kF4 * f2 * f2 /
           ((f2 + kF1 * kF1) * std::sqrt((f2 + kF2 * kF2) * (f2 + kF3 * kF3)) * (f2 + kF4 * kF4));
}

} // namespace

double aWeightingGain(double hz) {
    // Dividing by the 1-kHz value, rather than adding the standard's rounded
    // 2.000 dB, makes 1 kHz read exactly 0 dB.
    static const double atOneKilohertz = unnormalised(1000.0);
    return unnormalised(hz) / atOneKilohertz;
}

} // namespace dsp
