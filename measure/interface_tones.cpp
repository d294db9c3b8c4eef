#include "measure/interface_tones.h"

#include <cmath>

#include "dsp/coherent_tone.h"
#include "dsp/real_fft.h"

namespace measure {

namespace {

constexpr double kNoiseSeconds = 2.0;
constexpr double kFadeSeconds = 0.005;
// From a tone's start to its window: its fade, the device's own settling
// (a DC-blocking filter's tail at 20 Hz) and a margin for the latency's
// variation between the sweep and this take.
constexpr double kSettleSeconds = 0.15;
// After the window, before the fade-out: room for a loop that comes back a
// little sooner in this take than in the sweep's.
constexpr double kHoldSeconds = 0.05;
// A window of at least this long: bins of under 1.5 Hz, so that 20 Hz is
// some fourteen cycles and the 60-Hz sidebands of the SMPTE test stand apart.
constexpr double kWindowSeconds = 0.6;

size_t powerOfTwoAtLeast(double frames) {
    size_t n = 1;
    while (static_cast<double>(n) < frames)
        n *= 2;
    return n;
}

double amplitudeOf(double dbfs) {
    return std::pow(10.0, dbfs / 20.0);
}

class Planner {
  public:
    explicit Planner(double rate) {
        plan_.rate = rate;
        plan_.window = powerOfTwoAtLeast(kWindowSeconds * rate);
        plan_.noiseFrames =
            dsp::fastSizeAtLeast(static_cast<size_t>(std::ceil(kNoiseSeconds * rate)));
        settle_ = static_cast<size_t>(std::round(kSettleSeconds * rate));
        fade_ = static_cast<size_t>(std::round(kFadeSeconds * rate));
        hold_ = static_cast<size_t>(std::round(kHoldSeconds * rate));
    }

    void silence() {
        ToneSegment s;
        s.use = ToneUse::Noise;
        s.levelDbfs = -INFINITY;
        s.frames = settle_ + plan_.noiseFrames + hold_;
        s.analysisFrames = plan_.noiseFrames;
        add(s);
    }

    // Tones at relative amplitudes whose sum peaks at dbfs.
    void tones(ToneUse use, double dbfs, const std::vector<double>& hz,
               const std::vector<double>& shares) {
        ToneSegment s;
        s.use = use;
        s.levelDbfs = dbfs;
        double total = 0.0;
        for (double share : shares)
            total += share;
        for (size_t i = 0; i < hz.size(); ++i) {
            s.bins.push_back(dsp::coherentBin(hz[i], plan_.rate, plan_.window));
            s.amplitudes.push_back(amplitudeOf(dbfs) * shares[i] / total);
        }
        s.frames = settle_ + plan_.window + hold_ + fade_;
        s.analysisFrames = plan_.window;
        add(s);
    }

    void tone(ToneUse use, double dbfs, double hz) { tones(use, dbfs, {hz}, {1.0}); }

    TonePlan finish(size_t tailFrames) {
        plan_.totalFrames = next_ + tailFrames;
        return plan_;
    }

  private:
    void add(ToneSegment& s) {
        s.start = next_;
        s.analysisStart = next_ + settle_;
        next_ += s.frames;
        plan_.segments.push_back(s);
    }

    TonePlan plan_;
    size_t settle_ = 0, fade_ = 0, hold_ = 0, next_ = 0;
};

// The third-octave centres from 20 Hz to 20 kHz (IEC 61260's base-10 series).
std::vector<double> thirdOctaveCentres() {
    std::vector<double> centres;
    // Band n's exact centre is 1000 * 10^(n / 10) Hz; n = -17 is 20 Hz, 13 is 20 kHz.
    for (int n = -17; n <= 13; ++n)
        centres.push_back(1000.0 * std::pow(10.0, n / 10.0));
    return centres;
}

} // namespace

TonePlan planTones(double rate, bool quick, size_t tailFrames) {
    Planner p(rate);
    p.silence();
    p.tone(ToneUse::DynamicRange, kDynamicRangeLevelDbfs, kToneHz);
    p.tone(ToneUse::Thdn, kThdnLevelDbfs, kToneHz);
    if (!quick) {
        for (double level = -60.0; level <= 0.0; level += 6.0)
            p.tone(ToneUse::ThdnLevel, level, kToneHz);
        for (double hz : thirdOctaveCentres())
            if (hz < rate / 2.0)
                p.tone(ToneUse::ThdnFrequency, kThdnLevelDbfs, hz);
        // The SMPTE sidebands reach 7180 Hz, and must stay under half the rate.
        if (rate > 2.0 * 7180.0)
            p.tones(ToneUse::Smpte, kThdnLevelDbfs, {60.0, 7000.0}, {4.0, 1.0});
        // Below 44.1 kHz the 20-kHz tone does not fit under half the rate.
        if (rate >= 44100.0)
            p.tones(ToneUse::Ccif, kThdnLevelDbfs, {19000.0, 20000.0}, {1.0, 1.0});
        p.tone(ToneUse::Crosstalk, kThdnLevelDbfs, 100.0);
    }
    p.tone(ToneUse::Crosstalk, kThdnLevelDbfs, 1000.0);
    if (!quick && rate > 2.0 * 10000.0)
        p.tone(ToneUse::Crosstalk, kThdnLevelDbfs, 10000.0);
    return p.finish(tailFrames);
}

std::vector<float> toneMaterial(const TonePlan& plan) {
    std::vector<float> samples(plan.totalFrames, 0.0f);
    const size_t fade = static_cast<size_t>(std::round(kFadeSeconds * plan.rate));
    for (const ToneSegment& s : plan.segments)
        for (size_t i = 0; i < s.bins.size(); ++i)
            dsp::addCoherentTone(samples, s.start, s.frames, fade, s.bins[i], plan.window,
                                 s.amplitudes[i]);
    return samples;
}

} // namespace measure
