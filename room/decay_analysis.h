// The decay of one response: where its decay meets the noise, found by the
// iterative method of Lundeby et al. (1995); the Schroeder backward integral
// of the squared response, truncated there and compensated for the energy
// the truncation loses; and least-squares lines over ranges of that curve.
#pragma once

#include <cstddef>
#include <vector>

namespace room {

// Lundeby's parameters: the first averaging interval, the share of the
// response the first noise estimate is read from, how far above the noise the
// first line ends, the intervals per 10 dB of decay after that, the margin
// below the crossing where the noise is read, the late decay's range and its
// distance from the noise, and the most iterations.
constexpr double kFirstIntervalSeconds = 0.010;
constexpr double kNoiseShare = 0.1;
constexpr double kFirstFitAboveNoiseDb = 10.0;
constexpr double kIntervalsPer10Db = 5.0;
constexpr double kNoiseBelowCrossingDb = 5.0;
constexpr double kLateFitRangeDb = 20.0;
constexpr double kLateFitAboveNoiseDb = 5.0;
constexpr int kMostIterations = 5;
// A late line needs this many intervals (a decay that ends in a step far above
// the noise, as a cut response does, leaves one or two there): with fewer the
// line before stays.
constexpr size_t kFewestLateIntervals = 5;

// What Lundeby's method found in a squared response (from the onset on).
struct NoiseDecay {
    bool found = false;
    size_t crossFrame = 0;        // where the late decay's line meets the noise
    double noiseMeanSquare = 0.0; // the noise, read from past the crossing
    double slopeDbPerSecond = 0.0;
    double onsetLevelDb = 0.0; // the late decay's line at the onset
    int iterations = 0;
    // How far the decay falls before it meets the noise: the line at the
    // onset less the noise, in dB.
    double rangeDb() const;
    double noiseDb() const;
};

NoiseDecay findNoiseDecay(const std::vector<double>& squared, double rate);

// The energy left from each frame on: the Schroeder integral up to the
// crossing plus the exponential tail the late decay's line gives past it.
class SchroederDecay {
  public:
    SchroederDecay(const std::vector<double>& squared, const NoiseDecay& decay, double rate);
    double energyFrom(size_t frame) const;
    double total() const { return energyFrom(0); }
    double levelDb(size_t frame) const; // against the total
    // The integral of t times the squared response, t in seconds from the onset.
    double firstMoment() const { return moment_; }
    size_t crossFrame() const { return cross_; }
    double rate() const { return rate_; }

  private:
    std::vector<double> left_; // from each frame to the crossing
    size_t cross_ = 0;
    double compensation_ = 0.0;
    double decayPerFrame_ = 0.0; // of the energy, natural log
    double moment_ = 0.0;
    double rate_ = 0.0;
};

struct LineFit {
    bool fitted = false;
    double fromSeconds = 0.0, toSeconds = 0.0; // the range's ends on the curve
    double slopeDbPerSecond = 0.0, interceptDb = 0.0;
    double correlation = 0.0; // r
    double seconds() const { return -60.0 / slopeDbPerSecond; }
    // ISO 3382-2's non-linearity, per mille.
    double nonLinearity() const { return 1000.0 * (1.0 - correlation * correlation); }
};

// The line over the curve from where it first falls to topDb to where it
// first falls to bottomDb; not fitted when that end lies past the crossing.
LineFit fitDecay(const SchroederDecay& curve, double topDb, double bottomDb);

} // namespace room
