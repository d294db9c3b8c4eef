#include "measure/analysis.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <thread>

#include "dsp/window_shapes.h"
#include "measure/recording_checks.h"

namespace measure {

namespace {

const double kPi = std::acos(-1.0);

// The sweep's spectrum divided out: 1 / X(f), with
// X(f) = (1/2) sqrt(L / f) exp(i (2 pi f L (1 - ln(f / f1)) - pi / 4)),
// scaled by 1 / (rate * amplitude) so that unit gain comes out as 1.0. It
// holds only where the sweep had energy: half an octave beyond each end of
// the swept band it fades to nothing, so noise there is not amplified.
std::complex<double> inverseSweep(const SweepPlan& plan, double f) {
    const double f1 = plan.sweptFrom, f2 = plan.sweptTo, L = plan.rateConstant;
    const double weight = dsp::raisedCosineStep(f, f1 / std::sqrt(2.0), f1) *
                          (1.0 - dsp::raisedCosineStep(f, f2, f2 * std::sqrt(2.0)));
    if (weight == 0.0)
        return 0.0;
    // The phase in cycles, its whole turns dropped before they cost precision.
    const double cycles = f * L * (1.0 - std::log(f / f1)) - 0.125;
    const double turn = cycles - std::floor(cycles);
    const double gain = 2.0 * std::sqrt(f / L) * weight / (plan.rate * plan.amplitude);
    return std::polar(gain, -2.0 * kPi * turn);
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
    OrderSpectrum(const std::vector<double>& h, const Cut& cut, const dsp::RealFft& fft,
                  double rate)
        : rate_(rate) {
        const size_t span = cut.before + cut.after;
        std::vector<double> samples(fft.size(), 0.0);
        const int64_t start = static_cast<int64_t>(std::floor(cut.onset));
        fraction_ = cut.onset - static_cast<double>(start);
        const size_t taper = span / 16;
        for (size_t s = 0; s < span; ++s) {
            const int64_t offset = static_cast<int64_t>(s) - static_cast<int64_t>(cut.before);
            const double value = h[wrapped(start + offset, h.size())];
            samples[wrapped(offset, samples.size())] = value * dsp::taperedWindow(s, span, taper);
        }
        spectrum_.resize(fft.bins());
        fft.forward(samples.data(), spectrum_.data());
        binsPerHz_ = static_cast<double>(fft.size()) / rate;
    }

    std::complex<double> at(double hz) const {
        const double x = hz * binsPerHz_;
        const size_t below = std::min(static_cast<size_t>(x), spectrum_.size() - 2);
        const double t = x - static_cast<double>(below);
        const std::complex<double> value = spectrum_[below] * (1.0 - t) + spectrum_[below + 1] * t;
        return value * std::polar(1.0, 2.0 * kPi * hz * fraction_ / rate_);
    }

  private:
    double rate_;
    double fraction_ = 0.0;
    double binsPerHz_ = 0.0;
    std::vector<dsp::Complex> spectrum_;
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

// The noise is read after the linear response's cut, before the harmonics
// (which wrap to h's end), up to where the whole sweep came back. A peak too
// late to leave a tenth of a second there, as pure noise's may be (with a
// long sweep the cut alone can pass that point), is held against all of h
// that came back but its own neighbourhood: a response must stand out of the
// whole stretch, not only of what follows it.
void measureNoise(const SweepPlan& plan, const std::vector<double>& h, size_t recorded,
                  ChannelResult& result) {
    const Cut linear = cutOf(plan, result.delayFrames, 1);
    const size_t end = fullyRecorded(plan, recorded);
    const size_t peak = static_cast<size_t>(result.delayFrames);
    const size_t minimum = static_cast<size_t>(plan.rate) / 10;
    double sum = 0.0;
    size_t count = 0;
    auto add = [&](size_t from, size_t to) {
        for (size_t n = from; n < to; ++n)
            sum += h[n] * h[n];
        count += to > from ? to - from : 0;
    };
    add(std::min(end, peak + linear.after), end);
    if (count < minimum) {
        const size_t near = static_cast<size_t>(plan.rate) / 100;
        sum = 0.0;
        count = 0;
        add(0, std::min(end, peak > near ? peak - near : 0));
        add(std::min(end, peak + near), end);
    }
    if (count < 16 || sum == 0.0)
        return;
    const double rms = std::sqrt(sum / static_cast<double>(count));
    result.noiseMeasured = true;
    result.noiseFloorDb = decibels(rms);
    result.snrDb = decibels(std::fabs(result.peak) / rms);
}

using OrderTransforms = std::vector<std::unique_ptr<dsp::RealFft>>;

// Index k - 1: the transform of order k's cut.
OrderTransforms orderTransforms(const SweepPlan& plan, int harmonics) {
    OrderTransforms transforms;
    for (int k = 1; k <= harmonics; ++k)
        transforms.push_back(std::make_unique<dsp::RealFft>(orderTransformSize(cutOf(plan, 0, k))));
    return transforms;
}

void measureOrders(const SweepPlan& plan, const std::vector<double>& h,
                   const OrderTransforms& transforms, ChannelResult& result) {
    const int harmonics = static_cast<int>(transforms.size());
    std::vector<OrderSpectrum> orders;
    for (int k = 1; k <= harmonics; ++k)
        orders.emplace_back(h, cutOf(plan, result.delayFrames, k), *transforms[k - 1], plan.rate);
    const std::vector<double> grid = frequencyGrid(plan.from, plan.to);
    const double top = plan.to * (1.0 + 1e-9);
    for (double f : grid) {
        const std::complex<double> value = orders[0].at(f);
        result.response.push_back({f, decibels(std::abs(value)), std::arg(value) * 180.0 / kPi});
    }
    for (int k = 2; k <= harmonics; ++k) {
        HarmonicCurve curve;
        curve.order = k;
        for (double f : grid)
            if (k * f <= top)
                curve.points.push_back(
                    {f, decibels(std::abs(orders[k - 1].at(k * f)) / std::abs(orders[0].at(f)))});
        result.harmonics.push_back(std::move(curve));
    }
    for (double f : grid) {
        if (harmonics < 2 || harmonics * f > top)
            break;
        double power = 0.0;
        for (int k = 2; k <= harmonics; ++k)
            power += std::norm(orders[k - 1].at(k * f));
        result.thd.push_back({f, 100.0 * std::sqrt(power) / std::abs(orders[0].at(f))});
    }
}

ChannelResult analyseChannel(const SweepPlan& plan, const std::vector<double>& h, size_t recorded,
                             const OrderTransforms& transforms, ResponseKept kept) {
    ChannelResult result;
    // h is read from the sweep's first frame in both the played file and the
    // recording, so its index is the lag between them: the delay, whatever
    // silence comes before the sweep. The search spans every lag the
    // recording holds any of the sweep at: a loop longer than the file holds
    // peaks past where the whole sweep came back, and must be found there
    // (and refused), not taken for its own harmonic that came back earlier.
    size_t peak = 0;
    const size_t last = std::min(recorded, h.size()) - 1;
    for (size_t n = 1; n <= last; ++n)
        if (std::fabs(h[n]) > std::fabs(h[peak]))
            peak = n;
    result.delayFrames = static_cast<int64_t>(peak);
    result.peakRecordingFrame = plan.silenceBefore + result.delayFrames;
    result.peak = h[peak];
    measureNoise(plan, h, recorded, result);
    if (result.peak == 0.0 || (result.noiseMeasured && result.snrDb < kMinResponseSnrDb)) {
        result.belowNoise = true;
        return result;
    }
    refuseLateResponse(plan, result.delayFrames);
    // A room's decay outlasts the linear window: its response is kept to
    // where the whole sweep came back.
    const size_t window = peak + cutOf(plan, result.delayFrames, 1).after;
    const size_t tail = kept == ResponseKept::wholeRecording
                            ? std::max(window, fullyRecorded(plan, recorded))
                            : window;
    result.impulseSamples.assign(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(tail));
    measureOrders(plan, h, transforms, result);
    return result;
}

// The channel's samples from the sweep's first frame, mean removed, zero-padded.
void loadChannel(const SweepPlan& plan, const Recording& recording, int channel,
                 std::vector<double>& samples) {
    const size_t channels = static_cast<size_t>(recording.info.channels);
    const size_t first = static_cast<size_t>(plan.silenceBefore);
    const size_t frames = static_cast<size_t>(recording.info.frames) - first;
    double sum = 0.0;
    for (size_t n = 0; n < frames; ++n) {
        samples[n] = recording.samples[(first + n) * channels + static_cast<size_t>(channel)];
        sum += samples[n];
    }
    const double mean = sum / static_cast<double>(frames);
    for (size_t n = 0; n < frames; ++n)
        samples[n] -= mean;
    std::fill(samples.begin() + static_cast<std::ptrdiff_t>(frames), samples.end(), 0.0);
}

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

Deconvolver::Deconvolver(const SweepPlan& plan, size_t recordedFrames)
    // Long enough that the sweep's inverse, as long as the sweep, never wraps
    // the recording's end onto its start.
    : fft_(dsp::fastSizeAtLeast(recordedFrames + static_cast<size_t>(plan.sweepFrames))) {
    inverse_.resize(fft_.bins());
    const double hzPerBin = static_cast<double>(plan.rate) / static_cast<double>(fft_.size());
    auto fill = [&](size_t first, size_t last) {
        for (size_t k = first; k < last; ++k)
            inverse_[k] =
                std::complex<float>(inverseSweep(plan, static_cast<double>(k) * hzPerBin));
    };
    // Half of the bins on a helper thread: the machine has two cores at least.
    const size_t half = inverse_.size() / 2;
    std::thread helper(fill, half, inverse_.size());
    fill(0, half);
    helper.join();
}

void Deconvolver::run(std::vector<double>& samples, std::vector<dsp::Complex>& spectrum) const {
    fft_.forward(samples.data(), spectrum.data());
    for (size_t k = 0; k < spectrum.size(); ++k)
        spectrum[k] *= std::complex<double>(inverse_[k]);
    fft_.inverse(spectrum.data(), samples.data());
}

Results analyseRecording(const SweepPlan& plan, const Recording& recording, int harmonics,
                         ResponseKept kept) {
    refuseNonFiniteSamples(recording);
    Results results;
    results.sweep = plan;
    results.harmonicsCounted = harmonics;
    const size_t recorded =
        static_cast<size_t>(recording.info.frames) - static_cast<size_t>(plan.silenceBefore);
    const Deconvolver deconvolver(plan, recorded);
    const OrderTransforms transforms = orderTransforms(plan, harmonics);
    const int channels = recording.info.channels;
    results.channels.resize(static_cast<size_t>(channels));
    // Channels are independent: two workers, each with its own buffers,
    // share the transform and take channels in turn.
    const int workers = std::min(channels, 2);
    std::vector<std::exception_ptr> failures(static_cast<size_t>(workers));
    auto analyseChannels = [&](int worker) {
        std::vector<double> samples(deconvolver.size());
        std::vector<dsp::Complex> spectrum(deconvolver.bins());
        for (int c = worker; c < channels; c += workers) {
            loadChannel(plan, recording, c, samples);
            deconvolver.run(samples, spectrum);
            ChannelResult& result = results.channels[static_cast<size_t>(c)];
            result = analyseChannel(plan, samples, recorded, transforms, kept);
            result.input = c + 1;
            result.clippedSamples = recording.clipped[static_cast<size_t>(c)];
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
    for (const ChannelResult& channel : results.channels)
        results.clippedSamples += channel.clippedSamples;
    return results;
}

} // namespace measure
