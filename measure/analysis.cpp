#include "measure/analysis.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <thread>
#include <utility>

#include "dsp/noise_spectrum.h"
#include "dsp/real_fft.h"
#include "dsp/window_shapes.h"
#include "measure/recording_checks.h"

namespace measure {

namespace {

const double kPi = std::acos(-1.0);

// Where the deconvolution holds: 1 over the swept band, fading to nothing
// half an octave beyond each end (or at half the rate, where that comes
// first), so that noise where the sweep had no energy is not amplified.
double bandWeight(const SweepPlan& plan, double f) {
    const double f1 = plan.sweptFrom, f2 = plan.sweptTo;
    const double top = std::min(f2 * std::sqrt(2.0), plan.rate / 2.0);
    return dsp::raisedCosineStep(f, f1 / std::sqrt(2.0), f1) *
           (1.0 - dsp::raisedCosineStep(f, f2, top));
}

// The played sweep's spectrum divided out, exactly within the swept band:
// W conj(S) / (|S|^2 + (1 - W) e), with W the band's weight and e the mean
// of |S|^2 over the band. Where the weight fades, e keeps the division from
// amplifying what the sweep hardly held; where it is 0, so is the inverse.
void fillInverse(const SweepPlan& plan, const std::vector<dsp::Complex>& sweep, double hzPerBin,
                 std::vector<dsp::Complex>& inverse) {
    double sum = 0.0;
    size_t count = 0;
    for (size_t k = 0; k < sweep.size(); ++k) {
        const double f = static_cast<double>(k) * hzPerBin;
        if (f >= plan.sweptFrom && f <= plan.sweptTo) {
            sum += std::norm(sweep[k]);
            ++count;
        }
    }
    const double e = count > 0 ? sum / static_cast<double>(count) : 1.0;
    inverse.resize(sweep.size());
    for (size_t k = 0; k < sweep.size(); ++k) {
        const double weight = bandWeight(plan, static_cast<double>(k) * hzPerBin);
        const double denominator = std::norm(sweep[k]) + (1.0 - weight) * e;
        inverse[k] = weight > 0.0 && denominator > 0.0 ? weight * std::conj(sweep[k]) / denominator
                                                       : dsp::Complex(0.0, 0.0);
    }
}

constexpr double kShareBefore = 0.65;

// A stretch of the circular impulse response around one order's onset,
// measured in frames before and after it.
struct Cut {
    double onset = 0.0; // frame, fractional for the harmonics
    size_t before = 0;
    size_t after = 0;
};

// Order k starts L ln k before the linear response, and the next order
// L ln((k + 1) / k) before that. Each cut reaches most of the way back to the
// next order's onset, as band-limiting makes a response ring long before its
// onset at the low end, and a third of the way forward to the previous
// order's, enough for a device's own decay; the linear response keeps as much
// after its onset as before it.
Cut cutOf(const SweepPlan& plan, int64_t delay, int k) {
    const double rate = plan.rate, L = plan.rateConstant;
    auto gap = [&](int order) { return L * std::log((order + 1.0) / order) * rate; };
    Cut cut;
    cut.onset = static_cast<double>(delay) - L * std::log(static_cast<double>(k)) * rate;
    cut.before = static_cast<size_t>(gap(k) * kShareBefore);
    cut.after =
        static_cast<size_t>(k == 1 ? gap(1) * kShareBefore : gap(k - 1) * (1.0 - kShareBefore));
    return cut;
}

// In a take shared with other outputs, no cut may leave its output's own
// window around the order's onset: the linear response keeps its whole
// window, a harmonic the part of its usual cut that lies within its window.
// Limits of 0 leave the cut as a take of one output has it.
struct CutLimits {
    size_t before = 0, after = 0;
    bool any() const { return before + after > 0; }
};

Cut limitedCut(const SweepPlan& plan, int64_t peak, int k, const CutLimits& limits) {
    Cut cut = cutOf(plan, peak, k);
    if (!limits.any())
        return cut;
    cut.before = std::min(cut.before, limits.before);
    cut.after = k == 1 ? limits.after : std::min(cut.after, limits.after);
    return cut;
}

size_t wrapped(int64_t index, size_t size) {
    const int64_t n = static_cast<int64_t>(size);
    return static_cast<size_t>(((index % n) + n) % n);
}

// Twice zero-padded, so that reading between bins is close to exact. The
// cuts' lengths do not depend on the delay, so every channel shares the
// transforms.
size_t orderTransformSize(const Cut& cut) {
    return dsp::fastSizeAtLeast(2 * (cut.before + cut.after));
}

// One order's response, read at any frequency: the cut's spectrum with the
// onset at frame 0 (what lies before it wraps to the end), the fraction of a
// frame the onset falls between corrected by a linear phase.
class OrderSpectrum {
  public:
    // fft: of orderTransformSize(cut).
    OrderSpectrum(const std::vector<double>& h, const Cut& cut, const dsp::RealFft& shared,
                  double rate)
        : rate_(rate) {
        const size_t span = cut.before + cut.after;
        // A pair whose peak lies off its window's anchor has cuts of other
        // lengths than the shared transform was made for.
        std::unique_ptr<dsp::RealFft> own;
        if (orderTransformSize(cut) != shared.size())
            own = std::make_unique<dsp::RealFft>(orderTransformSize(cut));
        const dsp::RealFft& fft = own ? *own : shared;
        std::vector<double> samples(fft.size(), 0.0);
        const int64_t start = static_cast<int64_t>(std::floor(cut.onset));
        fraction_ = cut.onset - static_cast<double>(start);
        const size_t taper = span / 16;
        for (size_t s = 0; s < span; ++s) {
            const int64_t offset = static_cast<int64_t>(s) - static_cast<int64_t>(cut.before);
            const double value = h[wrapped(start + offset, h.size())];
            const double w = dsp::taperedWindow(s, span, taper);
            samples[wrapped(offset, samples.size())] = value * w;
            windowPower_ += w * w;
        }
        spectrum_.resize(fft.bins());
        fft.forward(samples.data(), spectrum_.data());
        binsPerHz_ = static_cast<double>(fft.size()) / rate;
        std::vector<double> power(spectrum_.size());
        for (size_t k = 0; k < power.size(); ++k)
            power[k] = std::norm(spectrum_[k]);
        power_ = dsp::PowerBins(power, 1.0 / binsPerHz_);
    }

    std::complex<double> at(double hz) const {
        const double x = hz * binsPerHz_;
        const size_t below = std::min(static_cast<size_t>(x), spectrum_.size() - 2);
        const double t = x - static_cast<double>(below);
        const std::complex<double> value = spectrum_[below] * (1.0 - t) + spectrum_[below + 1] * t;
        return value * std::polar(1.0, 2.0 * kPi * hz * fraction_ / rate_);
    }

    // The power this spectrum holds near hz, within the band (a single bin
    // of noise strays far from its mean: the mean over neighbours does not).
    double powerNear(double hz, const SweepPlan& plan) const {
        return power_.meanNear(hz, plan.from, plan.to);
    }

    // The power the noise holds near hz in this spectrum.
    double noisePowerNear(const dsp::NoiseSpectrum& noise, double hz, const SweepPlan& plan) const {
        return noise.levelNear(hz, plan.from, plan.to) * windowPower_;
    }

  private:
    double rate_;
    double fraction_ = 0.0;
    double binsPerHz_ = 0.0;
    double windowPower_ = 0.0; // the cut's window, squared and summed
    std::vector<dsp::Complex> spectrum_;
    dsp::PowerBins power_;
};

double decibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

// Frames of h that the whole inverse computed from recorded frames: the
// recording's length less the sweep's. Past them the noise thins out.
size_t fullyRecorded(const SweepPlan& plan, size_t recorded) {
    const size_t sweep = static_cast<size_t>(plan.sweepFrames);
    return recorded > sweep ? recorded - sweep : 0;
}

// Where the noise is read: after the linear response's cut, before the
// harmonics (which wrap to h's end), up to where the whole sweep came back. A
// peak too late to leave a tenth of a second there, as pure noise's may be
// (with a long sweep the cut alone can pass that point), is held against the
// longer stretch of h that came back on either side of its own
// neighbourhood: a response must stand out of the whole, not only of what
// follows it.
struct Stretch {
    size_t from = 0, to = 0;
    size_t size() const { return to > from ? to - from : 0; }
};

Stretch noiseStretch(const SweepPlan& plan, size_t recorded, size_t peak) {
    const size_t end = fullyRecorded(plan, recorded);
    const Stretch after{std::min(end, peak + cutOf(plan, static_cast<int64_t>(peak), 1).after),
                        end};
    if (after.size() >= static_cast<size_t>(plan.rate) / 10)
        return after;
    const size_t near = static_cast<size_t>(plan.rate) / 100;
    const Stretch before{0, std::min(end, peak > near ? peak - near : 0)};
    const Stretch beyond{std::min(end, peak + near), end};
    return before.size() > beyond.size() ? before : beyond;
}

// The noise floor is the noise's power within the reported band, so that
// what the band limit leaves outside it (its ringing lies below the band's
// start) is not read as the device's noise.
void readNoiseFloor(const SweepPlan& plan, const dsp::NoiseSpectrum& noise, ChannelResult& result) {
    const double power = noise.bandPower(plan.from, plan.to);
    if (power > 0.0) {
        result.noiseMeasured = true;
        result.noiseFloorDb = 10.0 * std::log10(power);
        result.snrDb = decibels(std::fabs(result.peak)) - result.noiseFloorDb;
    }
}

using OrderTransforms = std::vector<std::unique_ptr<dsp::RealFft>>;

// Index k - 1: the transform of order k's cut.
OrderTransforms orderTransforms(const SweepPlan& plan, int harmonics, const CutLimits& limits) {
    OrderTransforms transforms;
    for (int k = 1; k <= harmonics; ++k)
        transforms.push_back(
            std::make_unique<dsp::RealFft>(orderTransformSize(limitedCut(plan, 0, k, limits))));
    return transforms;
}

// The lowest frequency the linear response's cut resolves: three periods
// within it.
double resolvedFrom(const SweepPlan& plan, const CutLimits& limits) {
    const Cut linear = limitedCut(plan, 0, 1, limits);
    return 3.0 * plan.rate / static_cast<double>(linear.before + linear.after);
}

// A harmonic stands out of what its cut holds besides by this much in power
// (6 dB), or its reading is only a bound.
constexpr double kHarmonicAboveNoise = 4.0;

// HDk at each excitation frequency whose harmonic lies in the band: a figure
// where it stands out of what its cut holds besides, else the level it stays
// below. Besides noise, a cut holds the band limit's ringing at the low end,
// which a perfect loop's cut shows, in proportion to the response there.
HarmonicCurve harmonicCurve(const SweepPlan& plan, const std::vector<OrderSpectrum>& orders,
                            const std::vector<OrderSpectrum>& perfectLoop,
                            const dsp::NoiseSpectrum& noise, int k) {
    HarmonicCurve curve;
    curve.order = k;
    const double top = plan.to * (1.0 + 1e-9);
    const OrderSpectrum& order = orders[static_cast<size_t>(k - 1)];
    const double lowEnd = std::norm(orders[0].at(plan.from));
    for (double f : frequencyGrid(plan.from, plan.to)) {
        if (k * f > top)
            break;
        const double besides =
            order.noisePowerNear(noise, k * f, plan) +
            perfectLoop[static_cast<size_t>(k - 1)].powerNear(k * f, plan) * lowEnd;
        const bool measured = order.powerNear(k * f, plan) >= kHarmonicAboveNoise * besides;
        const double level =
            measured ? std::abs(order.at(k * f)) : std::sqrt(kHarmonicAboveNoise * besides);
        curve.points.push_back({f, decibels(level / std::abs(orders[0].at(f))), !measured});
    }
    return curve;
}

// THD from the orders measured at each frequency; none where none is.
std::vector<ThdPoint> thdOf(const std::vector<HarmonicCurve>& curves, int harmonics,
                            const SweepPlan& plan) {
    std::vector<ThdPoint> thd;
    const double top = plan.to * (1.0 + 1e-9);
    for (size_t i = 0; i < curves.front().points.size(); ++i) {
        const double f = curves.front().points[i].hz;
        if (harmonics * f > top)
            break;
        double power = 0.0;
        bool any = false;
        for (const HarmonicCurve& curve : curves) {
            const LevelPoint& p = curve.points[i];
            if (!p.belowNoise)
                power += std::pow(10.0, p.db / 10.0);
            any = any || !p.belowNoise;
        }
        if (any)
            thd.push_back({f, 100.0 * std::sqrt(power)});
    }
    return thd;
}

// Order k's response, cut out of h around its onset for a linear response
// peaking at h's index peak.
std::vector<OrderSpectrum> ordersOf(const SweepPlan& plan, const std::vector<double>& h,
                                    const OrderTransforms& transforms, int64_t peak,
                                    const CutLimits& limits = {}) {
    std::vector<OrderSpectrum> orders;
    for (int k = 1; k <= static_cast<int>(transforms.size()); ++k)
        orders.emplace_back(h, limitedCut(plan, peak, k, limits), *transforms[k - 1], plan.rate);
    return orders;
}

// What every channel's orders are read with: the cuts' transforms, a
// perfect loop's orders, and the lowest frequency the linear cut resolves.
struct OrderReading {
    OrderTransforms transforms;
    std::vector<OrderSpectrum> perfectLoop;
    double resolvedHz = 0.0;
};

// The linear response on the grid, its phase about the onset.
std::vector<ResponsePoint> responseOf(const SweepPlan& plan, const OrderSpectrum& linear,
                                      double resolvedHz) {
    std::vector<ResponsePoint> response;
    for (double f : frequencyGrid(plan.from, plan.to)) {
        const std::complex<double> value = linear.at(f);
        response.push_back(
            {f, decibels(std::abs(value)), std::arg(value) * 180.0 / kPi, f < resolvedHz});
    }
    return response;
}

void measureOrders(const SweepPlan& plan, const std::vector<double>& h, const OrderReading& reading,
                   const dsp::NoiseSpectrum& noise, int64_t peak, const CutLimits& limits,
                   ChannelResult& result) {
    const int harmonics = static_cast<int>(reading.transforms.size());
    const std::vector<OrderSpectrum> orders = ordersOf(plan, h, reading.transforms, peak, limits);
    result.response = responseOf(plan, orders[0], reading.resolvedHz);
    for (int k = 2; k <= harmonics; ++k)
        result.harmonics.push_back(harmonicCurve(plan, orders, reading.perfectLoop, noise, k));
    if (harmonics >= 2)
        result.thd = thdOf(result.harmonics, harmonics, plan);
}

// The largest absolute sample of h from index `from` to `to`, both included,
// read circularly; the first of equals.
int64_t peakBetween(const std::vector<double>& h, int64_t from, int64_t to) {
    int64_t peak = from;
    for (int64_t n = from + 1; n <= to; ++n)
        if (std::fabs(h[wrapped(n, h.size())]) > std::fabs(h[wrapped(peak, h.size())]))
            peak = n;
    return peak;
}

// One output's response in h: the index of its linear response's peak, the
// index its sweep's first frame has there, and how far its cuts may reach.
struct ResponseAt {
    int64_t peak = 0;
    int64_t start = 0;
    CutLimits limits;
};

// The peak is a sample of the whole band: whether it stands out of the
// noise is judged against all of the noise, not the band's share.
bool standsOut(const SweepPlan& plan, const dsp::NoiseSpectrum& noise,
               const ChannelResult& result) {
    if (result.peak == 0.0)
        return false;
    const double wholeNoise = noise.bandPower(0.0, plan.rate / 2.0);
    return !result.noiseMeasured ||
           decibels(std::fabs(result.peak)) - 10.0 * std::log10(wholeNoise) >= kMinResponseSnrDb;
}

ChannelResult analyseResponse(const SweepPlan& plan, const std::vector<double>& h, size_t recorded,
                              const ResponseAt& at, const dsp::NoiseSpectrum& noise,
                              const OrderReading& reading, ResponseKept kept) {
    ChannelResult result;
    result.delayFrames = at.peak - at.start;
    result.peakRecordingFrame = plan.silenceBefore + at.peak;
    result.peak = h[wrapped(at.peak, h.size())];
    readNoiseFloor(plan, noise, result);
    if (!standsOut(plan, noise, result)) {
        result.belowNoise = true;
        return result;
    }
    refuseLateResponse(plan, result.delayFrames);
    // A room's decay outlasts the linear window: its response is kept to
    // where the whole sweep came back.
    const int64_t window =
        at.peak + static_cast<int64_t>(limitedCut(plan, at.peak, 1, at.limits).after);
    const int64_t tail =
        kept == ResponseKept::wholeRecording
            ? std::max<int64_t>(window, static_cast<int64_t>(fullyRecorded(plan, recorded)))
            : window;
    result.impulseSamples.reserve(static_cast<size_t>(std::max<int64_t>(tail - at.start, 0)));
    for (int64_t n = at.start; n < tail; ++n)
        result.impulseSamples.push_back(h[wrapped(n, h.size())]);
    measureOrders(plan, h, reading, noise, at.peak, at.limits, result);
    return result;
}

ChannelResult analyseChannel(const SweepPlan& plan, const std::vector<double>& h, size_t recorded,
                             const OrderReading& reading, ResponseKept kept) {
    // h is read from the sweep's first frame in both the played file and the
    // recording, so its index is the lag between them: the delay, whatever
    // silence comes before the sweep. The search spans every lag the
    // recording holds any of the sweep at: a loop longer than the file holds
    // peaks past where the whole sweep came back, and must be found there
    // (and refused), not taken for its own harmonic that came back earlier.
    const int64_t last = static_cast<int64_t>(std::min(recorded, h.size())) - 1;
    const ResponseAt at{peakBetween(h, 0, last), 0, {}};
    const Stretch stretch = noiseStretch(plan, recorded, static_cast<size_t>(at.peak));
    const dsp::NoiseSpectrum noise(h.data() + stretch.from, stretch.size(), plan.rate);
    return analyseResponse(plan, h, recorded, at, noise, reading, kept);
}

// The reference's linear response, cut out of its impulse response where it
// lies (its harmonics and noise left behind), as a divisor per bin:
// conj(R) / (|R|^2 + d), d far below the band's level, so that outside the
// band, where R fades to nothing, the quotient fades too instead of growing.
class ReferenceDivisor {
  public:
    ReferenceDivisor(const SweepPlan& plan, const std::vector<double>& h, int64_t delay,
                     const dsp::RealFft& fft, const OrderReading& reading)
        : linear_(h, cutOf(plan, delay, 1), *reading.transforms[0], plan.rate) {
        const Cut cut = cutOf(plan, delay, 1);
        const size_t span = cut.before + cut.after;
        const size_t taper = span / 16;
        std::vector<double> linear(fft.size(), 0.0);
        for (size_t s = 0; s < span; ++s) {
            const size_t n = wrapped(
                delay - static_cast<int64_t>(cut.before) + static_cast<int64_t>(s), h.size());
            linear[n] = h[n] * dsp::taperedWindow(s, span, taper);
        }
        divisor_.resize(fft.bins());
        fft.forward(linear.data(), divisor_.data());
        double largest = 0.0;
        for (const dsp::Complex& r : divisor_)
            largest = std::max(largest, std::norm(r));
        const double floor = largest * 1e-12;
        for (dsp::Complex& r : divisor_)
            r = std::norm(r) + floor > 0.0 ? std::conj(r) / (std::norm(r) + floor)
                                           : dsp::Complex(0.0, 0.0);
    }

    // h, a whole circular impulse response, divided by the reference.
    void divide(std::vector<double>& h, std::vector<dsp::Complex>& spectrum,
                const dsp::RealFft& fft) const {
        fft.forward(h.data(), spectrum.data());
        for (size_t k = 0; k < spectrum.size(); ++k)
            spectrum[k] *= divisor_[k];
        fft.inverse(spectrum.data(), h.data());
    }

    // The reference's linear response at any frequency.
    double magnitudeAt(double hz) const { return std::abs(linear_.at(hz)); }

  private:
    OrderSpectrum linear_;
    std::vector<dsp::Complex> divisor_;
};

// HDk(f0) |R(f0)| / |R(k f0)|: each harmonic over the reference's linear
// response at its own frequency, the fundamental over it at f0. Read from the
// pair's own orders, so that whether a harmonic stands out of the noise is
// the pair's own finding, not one of the division.
std::vector<HarmonicCurve> referencedHarmonics(std::vector<HarmonicCurve> curves,
                                               const ReferenceDivisor& divisor) {
    for (HarmonicCurve& curve : curves)
        for (LevelPoint& p : curve.points)
            p.db += decibels(divisor.magnitudeAt(p.hz) / divisor.magnitudeAt(curve.order * p.hz));
    return curves;
}

// The lag of a circular response's largest sample (negative in its second
// half), and that lag refined by a parabola through the sample and its two
// neighbours, to a hundredth of a frame.
double refinedPeak(const std::vector<double>& h, int64_t* peak) {
    size_t at = 0;
    for (size_t n = 1; n < h.size(); ++n)
        if (std::fabs(h[n]) > std::fabs(h[at]))
            at = n;
    *peak = at < h.size() / 2 ? static_cast<int64_t>(at)
                              : static_cast<int64_t>(at) - static_cast<int64_t>(h.size());
    const double sign = h[at] < 0.0 ? -1.0 : 1.0;
    const double a = sign * h[wrapped(static_cast<int64_t>(at) - 1, h.size())];
    const double b = sign * h[at];
    const double c = sign * h[wrapped(static_cast<int64_t>(at) + 1, h.size())];
    const double curvature = a - 2.0 * b + c;
    const double offset = curvature < 0.0 ? 0.5 * (a - c) / curvature : 0.0;
    return std::round((static_cast<double>(*peak) + offset) * 100.0) / 100.0;
}

// The pair's figures from its impulse response divided by the reference's:
// the response, the harmonics (each order over the reference's linear
// response at its own frequency) and the relative delay. The delay, the
// noise and the peak stay the pair's own.
void referenceChannel(const SweepPlan& plan, const std::vector<double>& h, size_t recorded,
                      const OrderReading& reading, ResponseKept kept,
                      const ReferenceDivisor& divisor, ChannelResult& result) {
    int64_t lag = 0;
    result.relativeDelayFrames = refinedPeak(h, &lag);
    result.hasRelativeDelay = true;
    const OrderSpectrum linear(h, cutOf(plan, lag, 1), *reading.transforms[0], plan.rate);
    result.unreferencedResponse = std::move(result.response);
    result.response = responseOf(plan, linear, reading.resolvedHz);
    const int harmonics = static_cast<int>(reading.transforms.size());
    result.harmonics = referencedHarmonics(std::move(result.harmonics), divisor);
    if (harmonics >= 2)
        result.thd = thdOf(result.harmonics, harmonics, plan);
    const size_t onset = static_cast<size_t>(std::max<int64_t>(lag, 0));
    const size_t window = onset + cutOf(plan, lag, 1).after;
    const size_t tail = kept == ResponseKept::wholeRecording
                            ? std::max(window, fullyRecorded(plan, recorded))
                            : window;
    result.impulseSamples.assign(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(tail));
}

// The channel's samples from the sweep's first frame, zero-padded. Its mean
// stays: the deconvolution drops what lies at 0 Hz, far below the band.
void loadChannel(const SweepPlan& plan, const Recording& recording, int channel,
                 std::vector<double>& samples) {
    const size_t channels = static_cast<size_t>(recording.info.channels);
    const size_t first = static_cast<size_t>(plan.silenceBefore);
    const size_t frames = static_cast<size_t>(recording.info.frames) - first;
    for (size_t n = 0; n < frames; ++n)
        samples[n] = recording.samples[(first + n) * channels + static_cast<size_t>(channel)];
    std::fill(samples.begin() + static_cast<std::ptrdiff_t>(frames), samples.end(), 0.0);
}

// The largest energy of a circular response in each step of the band
// limit's energy-time curve, in dB of its energy at frame 0.
std::vector<double> energyTimeOf(const std::vector<double>& h, int rate) {
    const double peak = h[0] * h[0];
    std::vector<double> db;
    for (int step = 0; step < kBandLimitEtcSteps; ++step) {
        const double ms = kBandLimitEtcFromMs + step * kBandLimitEtcStepMs;
        const int64_t first = static_cast<int64_t>(std::floor(ms * rate / 1000.0));
        const int64_t last =
            static_cast<int64_t>(std::floor((ms + kBandLimitEtcStepMs) * rate / 1000.0));
        double energy = 0.0;
        for (int64_t n = first; n < std::max(last, first + 1); ++n)
            energy = std::max(energy, h[wrapped(n, h.size())] * h[wrapped(n, h.size())]);
        db.push_back(energy > 0.0 && peak > 0.0 ? std::max(10.0 * std::log10(energy / peak), -200.0)
                                                : -200.0);
    }
    return db;
}

// The impulse response of one channel: the deconvolved recording, circular
// (responses before frame 0, the harmonics, lie at its end).
class Deconvolver {
  public:
    Deconvolver(const SweepPlan& plan, size_t recordedFrames)
        // Long enough that the sweep, divided out, never wraps the recording's
        // end onto its start.
        : fft_(dsp::fastSizeAtLeast(recordedFrames + static_cast<size_t>(plan.sweepFrames))) {
        // The sweep as it was played: the file's float samples.
        std::vector<double> samples(fft_.size(), 0.0);
        const std::vector<float> sweep = sweepSamples(plan);
        std::copy(sweep.begin(), sweep.end(), samples.begin());
        std::vector<dsp::Complex> spectrum(fft_.bins());
        fft_.forward(samples.data(), spectrum.data());
        const double hzPerBin = static_cast<double>(plan.rate) / static_cast<double>(fft_.size());
        fillInverse(plan, spectrum, hzPerBin, inverse_);
        // A perfect loop's response: the sweep deconvolved by itself.
        for (size_t k = 0; k < spectrum.size(); ++k)
            spectrum[k] *= inverse_[k];
        fft_.inverse(spectrum.data(), samples.data());
        bandLimitEtcDb_ = energyTimeOf(samples, plan.rate);
        perfectLoop_ = std::move(samples);
    }
    size_t size() const { return fft_.size(); }
    // samples holds size() values: the recording from the sweep's first frame
    // on, zero-padded; replaced by the impulse response. spectrum is scratch
    // space of bins() values.
    void run(std::vector<double>& samples, std::vector<dsp::Complex>& spectrum) const {
        fft_.forward(samples.data(), spectrum.data());
        for (size_t k = 0; k < spectrum.size(); ++k)
            spectrum[k] *= inverse_[k];
        fft_.inverse(spectrum.data(), samples.data());
    }
    size_t bins() const { return fft_.bins(); }
    const dsp::RealFft& transform() const { return fft_; }
    // A perfect loop's impulse response after this deconvolution, what the
    // band limit alone leaves: handed over once, as it is as large as h.
    std::vector<double> takePerfectLoop() { return std::move(perfectLoop_); }
    // Its energy-time curve.
    const std::vector<double>& bandLimitEtcDb() const { return bandLimitEtcDb_; }

  private:
    dsp::RealFft fft_;
    std::vector<dsp::Complex> inverse_; // the played sweep's, band-limited, per bin
    std::vector<double> perfectLoop_;
    std::vector<double> bandLimitEtcDb_;
};

} // namespace

std::vector<double> frequencyGrid(double from, double to) {
    const int steps =
        std::max(1, static_cast<int>(std::ceil(kPointsPerOctave * std::log2(to / from))));
    std::vector<double> grid;
    for (int i = 0; i <= steps; ++i)
        grid.push_back(from * std::pow(to / from, static_cast<double>(i) / steps));
    grid.back() = to;
    return grid;
}

size_t linearFramesFromPeak(const SweepPlan& plan) {
    return cutOf(plan, 0, 1).after;
}

namespace {

// Channels are independent: two workers, each with its own buffers, share
// the transform and take channels in turn. perChannel(c, h) gets channel c's
// impulse response.
template <typename PerChannel>
void forEachResponse(const SweepPlan& plan, const Recording& recording,
                     const Deconvolver& deconvolver, PerChannel perChannel) {
    const int channels = recording.info.channels;
    const int workers = std::min(channels, 2);
    std::vector<std::exception_ptr> failures(static_cast<size_t>(workers));
    auto analyseChannels = [&](int worker) {
        std::vector<double> samples(deconvolver.size());
        std::vector<dsp::Complex> spectrum(deconvolver.bins());
        for (int c = worker; c < channels; c += workers) {
            loadChannel(plan, recording, c, samples);
            deconvolver.run(samples, spectrum);
            perChannel(c, samples);
        }
    };
    auto work = [&](int worker) noexcept {
        try {
            analyseChannels(worker);
        } catch (...) {
            failures[static_cast<size_t>(worker)] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; ++w)
        threads.emplace_back(work, w);
    work(0);
    for (std::thread& thread : threads)
        thread.join();
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}

Results emptyResults(const SweepPlan& plan, int harmonics, const Deconvolver& deconvolver,
                     int channels) {
    Results results;
    results.sweep = plan;
    results.harmonicsCounted = harmonics;
    results.bandLimitEtcDb = deconvolver.bandLimitEtcDb();
    results.channels.resize(static_cast<size_t>(channels));
    return results;
}

size_t recordedFrames(const SweepPlan& plan, const Recording& recording) {
    return static_cast<size_t>(recording.info.frames) - static_cast<size_t>(plan.silenceBefore);
}

// The output whose sweep started last at or before h's index `lag`: a
// response belongs to the output that played before it, and a round trip is
// shorter than the stagger between two outputs.
size_t outputBefore(const StaggeredOutputs& outputs, int64_t lag) {
    size_t output = 0;
    for (size_t j = 0; j < outputs.starts.size(); ++j)
        if (outputs.starts[j] <= lag)
            output = j;
    return output;
}

// Where no output's window lies: after the last output's linear window, up
// to where the whole take came back; the last tenth of a second before that
// point when a long round trip leaves less.
Stretch staggeredNoise(const SweepPlan& plan, const StaggeredOutputs& outputs, size_t recorded,
                       int64_t roundTrip) {
    const int64_t end = static_cast<int64_t>(fullyRecorded(plan, recorded));
    const int64_t least = plan.rate / 10;
    const int64_t from = std::min(
        outputs.starts.back() + roundTrip + static_cast<int64_t>(outputs.after), end - least);
    return Stretch{static_cast<size_t>(std::max<int64_t>(from, 0)), static_cast<size_t>(end)};
}

// Each output's response on one input: its peak within its window, placed at
// the input's round trip after the output's start, and its cuts held within
// that window wherever the peak lies in it.
ResponseAt staggeredResponse(const std::vector<double>& h, const StaggeredOutputs& outputs,
                             size_t output, int64_t roundTrip) {
    const int64_t anchor = outputs.starts[output] + roundTrip;
    const int64_t before = static_cast<int64_t>(outputs.before);
    const int64_t after = static_cast<int64_t>(outputs.after);
    ResponseAt at;
    at.start = outputs.starts[output];
    at.peak = peakBetween(h, anchor - before, anchor + after);
    const int64_t offset = at.peak - anchor;
    at.limits.before = static_cast<size_t>(before + offset);
    at.limits.after = static_cast<size_t>(after - offset);
    return at;
}

// The reference channel analysed first, on its own: every other channel is
// divided by its linear response. None when it is below its noise.
std::unique_ptr<ReferenceDivisor> analyseReference(const SweepPlan& plan,
                                                   const Recording& recording, size_t recorded,
                                                   const Deconvolver& deconvolver,
                                                   const OrderReading& reading, ResponseKept kept,
                                                   int reference, ChannelResult& result) {
    std::vector<double> samples(deconvolver.size());
    std::vector<dsp::Complex> spectrum(deconvolver.bins());
    loadChannel(plan, recording, reference - 1, samples);
    deconvolver.run(samples, spectrum);
    result = analyseChannel(plan, samples, recorded, reading, kept);
    result.input = reference;
    result.clippedSamples = recording.clipped[static_cast<size_t>(reference - 1)];
    if (result.belowNoise)
        return nullptr;
    return std::make_unique<ReferenceDivisor>(plan, samples, result.delayFrames,
                                              deconvolver.transform(), reading);
}

} // namespace

Results analyseRecording(const SweepPlan& plan, const Recording& recording, int harmonics,
                         ResponseKept kept, int reference) {
    refuseNonFiniteSamples(recording);
    const size_t recorded = recordedFrames(plan, recording);
    Deconvolver deconvolver(plan, recorded);
    Results results = emptyResults(plan, harmonics, deconvolver, recording.info.channels);
    results.reference = reference;
    OrderReading reading{orderTransforms(plan, harmonics, {}), {}, resolvedFrom(plan, {})};
    reading.perfectLoop = ordersOf(plan, deconvolver.takePerfectLoop(), reading.transforms, 0);
    std::unique_ptr<ReferenceDivisor> divisor;
    if (reference > 0) {
        divisor = analyseReference(plan, recording, recorded, deconvolver, reading, kept, reference,
                                   results.channels[static_cast<size_t>(reference - 1)]);
        if (!divisor)
            return results;
    }
    forEachResponse(plan, recording, deconvolver, [&](int c, const std::vector<double>& h) {
        if (c + 1 == reference)
            return;
        ChannelResult& result = results.channels[static_cast<size_t>(c)];
        result = analyseChannel(plan, h, recorded, reading, kept);
        result.input = c + 1;
        result.clippedSamples = recording.clipped[static_cast<size_t>(c)];
        if (divisor && !result.belowNoise) {
            std::vector<double> divided = h;
            std::vector<dsp::Complex> spectrum(deconvolver.bins());
            divisor->divide(divided, spectrum, deconvolver.transform());
            referenceChannel(plan, divided, recorded, reading, kept, *divisor, result);
        }
    });
    for (const ChannelResult& channel : results.channels)
        results.clippedSamples += channel.clippedSamples;
    return results;
}

std::vector<Results> analyseStaggeredRecording(const SweepPlan& plan,
                                               const StaggeredOutputs& outputs,
                                               const Recording& recording, int harmonics) {
    refuseNonFiniteSamples(recording);
    const size_t recorded = recordedFrames(plan, recording);
    Deconvolver deconvolver(plan, recorded);
    const CutLimits window{outputs.before, outputs.after};
    OrderReading reading{orderTransforms(plan, harmonics, window), {}, resolvedFrom(plan, window)};
    reading.perfectLoop =
        ordersOf(plan, deconvolver.takePerfectLoop(), reading.transforms, 0, window);
    std::vector<Results> results(
        outputs.starts.size(), emptyResults(plan, harmonics, deconvolver, recording.info.channels));
    const int64_t last = static_cast<int64_t>(std::min(recorded, deconvolver.size())) - 1;
    forEachResponse(plan, recording, deconvolver, [&](int c, const std::vector<double>& h) {
        // The input's round trip: its strongest response's, from the start
        // of the output that played it.
        const int64_t strongest = peakBetween(h, 0, last);
        const int64_t roundTrip = strongest - outputs.starts[outputBefore(outputs, strongest)];
        const Stretch stretch = staggeredNoise(plan, outputs, recorded, roundTrip);
        const dsp::NoiseSpectrum noise(h.data() + stretch.from, stretch.size(), plan.rate);
        for (size_t j = 0; j < outputs.starts.size(); ++j) {
            ChannelResult& result = results[j].channels[static_cast<size_t>(c)];
            result = analyseResponse(plan, h, recorded, staggeredResponse(h, outputs, j, roundTrip),
                                     noise, reading, ResponseKept::linearWindow);
            result.input = c + 1;
            result.clippedSamples = recording.clipped[static_cast<size_t>(c)];
        }
    });
    for (Results& r : results)
        for (const ChannelResult& channel : r.channels)
            r.clippedSamples += channel.clippedSamples;
    return results;
}

bool referenceFails(const Results& results) {
    const size_t channel = static_cast<size_t>(results.reference - 1);
    return results.reference > 0 && channel < results.channels.size() &&
           results.channels[channel].belowNoise;
}

} // namespace measure
