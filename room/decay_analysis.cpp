#include "room/decay_analysis.h"

#include <algorithm>
#include <cmath>

namespace room {

namespace {

// A level for silence, far below anything recorded, that keeps sums finite.
constexpr double kSilenceDb = -400.0;

double decibels(double meanSquare) {
    return meanSquare > 0.0 ? std::max(10.0 * std::log10(meanSquare), kSilenceDb) : kSilenceDb;
}

double meanSquare(const std::vector<double>& squared, size_t from, size_t to) {
    double sum = 0.0;
    for (size_t n = from; n < to; ++n)
        sum += squared[n];
    return to > from ? sum / static_cast<double>(to - from) : 0.0;
}

// The squared response averaged over intervals of `frames`: levels in dB at
// the intervals' middles, in seconds from the onset.
struct Envelope {
    std::vector<double> seconds, db;
};

// `noise`, a mean square, is taken off each interval first: near the noise
// the decay's own level is the excess over it.
Envelope envelopeOf(const std::vector<double>& squared, size_t frames, double rate,
                    double noise = 0.0) {
    Envelope e;
    for (size_t from = 0; from + frames <= squared.size(); from += frames) {
        e.seconds.push_back((static_cast<double>(from) + 0.5 * static_cast<double>(frames)) / rate);
        e.db.push_back(decibels(meanSquare(squared, from, from + frames) - noise));
    }
    return e;
}

struct Line {
    bool fitted = false;
    double slope = 0.0, intercept = 0.0, correlation = 0.0;
};

// Least squares of y on x; sums taken about the means, so that long ranges
// of large x lose nothing to rounding.
template <typename X, typename Y> Line regression(size_t first, size_t last, X x, Y y) {
    Line line;
    const size_t count = last >= first ? last - first + 1 : 0;
    if (count < 2)
        return line;
    double meanX = 0.0, meanY = 0.0;
    for (size_t i = first; i <= last; ++i) {
        meanX += x(i);
        meanY += y(i);
    }
    meanX /= static_cast<double>(count);
    meanY /= static_cast<double>(count);
    double sxx = 0.0, sxy = 0.0, syy = 0.0;
    for (size_t i = first; i <= last; ++i) {
        const double dx = x(i) - meanX, dy = y(i) - meanY;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    if (sxx <= 0.0)
        return line;
    line.fitted = true;
    line.slope = sxy / sxx;
    line.intercept = meanY - line.slope * meanX;
    line.correlation = syy > 0.0 ? sxy / std::sqrt(sxx * syy) : -1.0;
    return line;
}

// The envelope's intervals from the first at or below `top` (the loudest,
// when it is already below) to the last above `bottom`; no line from fewer
// than `fewest` of them. With `stepDb`, when the interval two before the
// first stands more than that above `top`, the decay stepped past the whole range
// (what lies in it is some other, lower floor): the line is fitted to as
// many dB of the decay just above its step.
Line fitBetween(const Envelope& e, double top, double bottom, size_t fewest = 2,
                double stepDb = INFINITY) {
    const size_t loudest =
        static_cast<size_t>(std::max_element(e.db.begin(), e.db.end()) - e.db.begin());
    size_t first = loudest;
    while (first < e.db.size() && e.db[first] > top)
        ++first;
    size_t last = first;
    while (last + 1 < e.db.size() && e.db[last + 1] > bottom)
        ++last;
    if (first < e.db.size() && first > loudest + 2 && e.db[first - 2] > top + stepDb) {
        // The range's span is fitted just above the step instead, leaving
        // out the two intervals a band filter's own ringing spreads the step
        // over, whose levels it has lowered.
        last = first - 3;
        first = last;
        while (first > loudest && e.db[first - 1] <= e.db[last] + (top - bottom))
            --first;
    }
    if (first >= e.db.size() || last + 1 < first + fewest)
        return Line{};
    return regression(
        first, last, [&](size_t i) { return e.seconds[i]; }, [&](size_t i) { return e.db[i]; });
}

double crossingSeconds(const Line& line, double noiseDb, double lengthSeconds) {
    return std::clamp((noiseDb - line.intercept) / line.slope, 0.0, lengthSeconds);
}

} // namespace

double NoiseDecay::noiseDb() const {
    return decibels(noiseMeanSquare);
}

double NoiseDecay::rangeDb() const {
    return onsetLevelDb - noiseDb();
}

// Lundeby et al., "Uncertainties of measurements in room acoustics", Acustica
// 81 (1995): a first line from the loudest interval to 10 dB above the noise
// of the response's last tenth gives a first crossing; then, with intervals
// of a fifth of 10 dB of that decay, the noise is read from 5 dB below the
// crossing on (the last tenth at least), the late decay's line is fitted
// from 25 to 5 dB above it, and the crossing found again, until it moves by
// less than one interval. Unlike the paper, the late line is fitted to the
// intervals' excess over the noise: their level near the noise is partly
// noise, which would flatten the line and lower its start. A decay that
// steps past the whole late range (a response that ends, as a digital
// reverb's does, far above a floor of rounding that slopes on its own)
// leaves nothing of itself there: its line is fitted to the same span of
// its own end instead.
NoiseDecay findNoiseDecay(const std::vector<double>& squared, double rate) {
    NoiseDecay result;
    const size_t length = squared.size();
    const double lengthSeconds = static_cast<double>(length) / rate;
    const size_t lastShare = std::max<size_t>(1, static_cast<size_t>(kNoiseShare * length));
    const size_t firstInterval =
        std::max<size_t>(1, static_cast<size_t>(std::lround(kFirstIntervalSeconds * rate)));
    if (length < 4 * firstInterval)
        return result;
    double noise = meanSquare(squared, length - lastShare, length);
    Line line = fitBetween(envelopeOf(squared, firstInterval, rate), INFINITY,
                           decibels(noise) + kFirstFitAboveNoiseDb);
    if (!line.fitted || line.slope >= 0.0)
        return result;
    double cross = crossingSeconds(line, decibels(noise), lengthSeconds);
    for (int i = 0; i < kMostIterations; ++i) {
        result.iterations = i + 1;
        const double intervalSeconds = 10.0 / -line.slope / kIntervalsPer10Db;
        const size_t interval = std::clamp<size_t>(
            static_cast<size_t>(std::lround(intervalSeconds * rate)), 1, length / 4);
        const double noiseFrom = (cross + kNoiseBelowCrossingDb / -line.slope) * rate;
        const size_t from =
            std::min(static_cast<size_t>(std::max(noiseFrom, 0.0)), length - lastShare);
        noise = meanSquare(squared, from, length);
        const double noiseDb = decibels(noise);
        const Line late =
            fitBetween(envelopeOf(squared, interval, rate, noise),
                       noiseDb + kLateFitAboveNoiseDb + kLateFitRangeDb,
                       noiseDb + kLateFitAboveNoiseDb, kFewestLateIntervals, kLateFitRangeDb);
        if (!late.fitted || late.slope >= 0.0)
            break;
        line = late;
        const double next = crossingSeconds(line, noiseDb, lengthSeconds);
        const bool settled = std::fabs(next - cross) < static_cast<double>(interval) / rate;
        cross = next;
        if (settled)
            break;
    }
    result.found = true;
    result.crossFrame = std::min(length, static_cast<size_t>(std::lround(cross * rate)));
    result.noiseMeanSquare = noise;
    result.slopeDbPerSecond = line.slope;
    result.onsetLevelDb = line.intercept;
    return result;
}

SchroederDecay::SchroederDecay(const std::vector<double>& squared, const NoiseDecay& decay,
                               double rate)
    : cross_(std::min(decay.crossFrame, squared.size())), rate_(rate) {
    left_.assign(cross_ + 1, 0.0);
    for (size_t n = cross_; n-- > 0;) {
        left_[n] = left_[n + 1] + squared[n];
        moment_ += static_cast<double>(n) / rate * squared[n];
    }
    // Past the crossing the late decay's line stands in for what the noise
    // hides: its level there, decaying at its slope, summed to infinity.
    decayPerFrame_ = -decay.slopeDbPerSecond * std::log(10.0) / 10.0 / rate;
    const double crossSeconds = static_cast<double>(cross_) / rate;
    const double level = decay.onsetLevelDb + decay.slopeDbPerSecond * crossSeconds;
    const double atCross = std::pow(10.0, level / 10.0);
    compensation_ = decayPerFrame_ > 0.0 ? atCross / -std::expm1(-decayPerFrame_) : 0.0;
    const double decayPerSecond = decayPerFrame_ * rate;
    if (decayPerSecond > 0.0)
        moment_ += compensation_ * (crossSeconds + 1.0 / decayPerSecond);
}

double SchroederDecay::energyFrom(size_t frame) const {
    if (frame < cross_)
        return left_[frame] + compensation_;
    return compensation_ * std::exp(-decayPerFrame_ * static_cast<double>(frame - cross_));
}

double SchroederDecay::levelDb(size_t frame) const {
    const double all = total();
    return all > 0.0 ? decibels(energyFrom(frame) / all) : kSilenceDb;
}

LineFit fitDecay(const SchroederDecay& curve, double topDb, double bottomDb) {
    LineFit fit;
    const size_t cross = curve.crossFrame();
    size_t first = 0;
    while (first < cross && curve.levelDb(first) > topDb)
        ++first;
    size_t last = first;
    while (last < cross && curve.levelDb(last) > bottomDb)
        ++last;
    if (last >= cross)
        return fit;
    const double rate = curve.rate();
    const Line line = regression(
        first, last, [&](size_t n) { return static_cast<double>(n) / rate; },
        [&](size_t n) { return curve.levelDb(n); });
    if (!line.fitted || line.slope >= 0.0)
        return fit;
    fit.fitted = true;
    fit.fromSeconds = static_cast<double>(first) / rate;
    fit.toSeconds = static_cast<double>(last) / rate;
    fit.slopeDbPerSecond = line.slope;
    fit.interceptDb = line.intercept;
    fit.correlation = line.correlation;
    return fit;
}

} // namespace room
