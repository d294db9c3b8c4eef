#include "measure/interface_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "dsp/band_spectrum.h"
#include "dsp/coherent_tone.h"
#include "measure/device_run.h"
#include "wav/clipping.h"

namespace measure {

namespace {

using dsp::BandSpectrum;
using dsp::Weighting;

const char kAes17Response[] = "AES17 frequency response: level against frequency relative to "
                              "its value at 1 kHz, from the synchronized sweep";
const char kAes17Noise[] = "AES17 idle-channel noise: RMS of digital silence's return in the "
                           "band 20 Hz to 20 kHz, in dBFS";
const char kAes17NoiseA[] = "AES17 idle-channel noise, A-weighted (IEC 61672-1)";
const char kAes17DynamicRange[] = "AES17 dynamic range: the negated level in dBFS of the "
                                  "A-weighted THD+N of 997 Hz at -60 dBFS";
const char kAes17Thdn[] = "AES17 THD+N: the band's remainder without the fundamental against "
                          "the whole band, 997 Hz at -1 dBFS, unweighted";
const char kSmpte[] = "SMPTE RP120 IMD: 60 Hz and 7 kHz at 4:1, peak -1 dBFS; sidebands of "
                      "orders 2 to 4 against the 7-kHz tone, root-sum-square";
const char kCcif[] = "IEC 60268-3 difference-frequency distortion: 19 and 20 kHz at 1:1, peak "
                     "-1 dBFS; the 1-kHz and 18-kHz products against the tones' summed "
                     "amplitudes, root-sum-square";
const char kCrosstalk[] = "AES17 crosstalk: the level on each other chosen input against the "
                          "direct path, -1 dBFS on this output; the largest";
const char kLatency[] = "Round trip from the synchronized sweep's impulse response peak";

Figure value(const char* key, const char* label, const char* unit, const char* definition,
             double v) {
    return Figure{key, label, unit, definition, true, v, ""};
}

Figure marked(const char* key, const char* label, const char* unit, const char* definition,
              const std::string& mark) {
    return Figure{key, label, unit, definition, false, 0.0, mark};
}

double db(double ratio) {
    return 20.0 * std::log10(ratio);
}

std::string hzText(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f Hz", hz);
    return text;
}

// The response's level at hz, between the grid's points.
double levelAt(const std::vector<ResponsePoint>& r, double hz) {
    for (size_t i = 1; i < r.size(); ++i)
        if (r[i].hz >= hz) {
            const double t = std::log(hz / r[i - 1].hz) / std::log(r[i].hz / r[i - 1].hz);
            return r[i - 1].db + t * (r[i].db - r[i - 1].db);
        }
    return r.empty() ? 0.0 : r.back().db;
}

// Where the response, walked from 1 kHz in one direction, first falls below
// `drop` dB; false when it stays above it to the end of the swept band.
bool crossing(const std::vector<ResponsePoint>& r, double drop, bool upward, double* hz) {
    size_t i = 0;
    while (i < r.size() && r[i].hz < 1000.0)
        ++i;
    const long step = upward ? 1 : -1;
    for (long k = static_cast<long>(i); k >= 0 && k < static_cast<long>(r.size()); k += step) {
        if (r[k].db >= drop)
            continue;
        const long j = k - step;
        if (j < 0 || j >= static_cast<long>(r.size())) {
            *hz = r[k].hz;
            return true;
        }
        const double t = (drop - r[j].db) / (r[k].db - r[j].db);
        *hz = std::exp(std::log(r[j].hz) + t * (std::log(r[k].hz) - std::log(r[j].hz)));
        return true;
    }
    return false;
}

void addCrossing(InterfacePair& pair, const char* key, const char* label, double drop,
                 bool upward) {
    double hz = 0.0;
    if (crossing(pair.response, drop, upward, &hz)) {
        pair.figures.push_back(value(key, label, "Hz", kAes17Response, hz));
        return;
    }
    const double edge = upward ? pair.response.back().hz : pair.response.front().hz;
    pair.figures.push_back(
        marked(key, label, "Hz", kAes17Response,
               (upward ? "above " : "below ") + hzText(edge) + ", the swept band's end"));
}

// The recording of one segment's analysed stretch on one input.
const float* stretchOf(const ToneTake& take, const ToneSegment& s, size_t input) {
    return take.inputs[input].data() + s.analysisStart + take.delayFrames;
}

// Judged on the stretch the figure is read from: the tones around it may
// come back a little sooner or later than the sweep said.
bool segmentClips(const ToneTake& take, const ToneSegment& s, size_t input) {
    return clippedSamples(stretchOf(take, s, input), s.analysisFrames, 1, take.fullScale) > 0;
}

BandSpectrum spectrumOf(const ToneTake& take, const ToneSegment& s, size_t input) {
    return BandSpectrum::coherent(stretchOf(take, s, input), s.analysisFrames, take.plan.rate);
}

const ToneSegment* findSegment(const TonePlan& plan, ToneUse use, double hz = 0.0) {
    for (const ToneSegment& s : plan.segments)
        if (s.use == use &&
            (hz == 0.0 || s.bins[0] == dsp::coherentBin(hz, plan.rate, plan.window)))
            return &s;
    return nullptr;
}

class ToneReader {
  public:
    ToneReader(const ToneTake& take, InterfacePair& pair)
        : take_(take), pair_(pair), direct_(static_cast<size_t>(pair.input - take.firstInput)) {}

    void addAll() {
        addNoise();
        addDynamicRange();
        addThdn();
        addThdnCurves();
        addSmpte();
        addCcif();
        for (double hz : {100.0, 1000.0, 10000.0})
            addCrosstalk(hz);
    }

  private:
    const ToneTake& take_;
    InterfacePair& pair_;
    size_t direct_;

    void add(Figure f) { pair_.figures.push_back(std::move(f)); }

    // Why a signal of the full measurement was not played.
    std::string absent(const char* atThisRate) const {
        return take_.quick ? "not measured with --quick" : atThisRate;
    }

    void addNoise() {
        const ToneSegment& s = *findSegment(take_.plan, ToneUse::Noise);
        const BandSpectrum noise =
            BandSpectrum::hann(stretchOf(take_, s, direct_), s.analysisFrames, take_.plan.rate);
        const double plain = noise.bandPower(Weighting::None);
        const double weighted = noise.bandPower(Weighting::A);
        const char* silent = "digital silence: no noise to measure";
        add(plain > 0.0 ? value("noise", "Noise level, unweighted", "dBFS", kAes17Noise,
                                dsp::dbfsOfPower(plain))
                        : marked("noise", "Noise level, unweighted", "dBFS", kAes17Noise, silent));
        add(weighted > 0.0
                ? value("noiseA", "Noise level, A-weighted", "dBFS", kAes17NoiseA,
                        dsp::dbfsOfPower(weighted))
                : marked("noiseA", "Noise level, A-weighted", "dBFS", kAes17NoiseA, silent));
        pair_.noiseBinHz = noise.binHz(1);
        noiseSpectrum(noise);
    }

    // Mean power per bin over twelfth-octave cells, so the page stays small.
    void noiseSpectrum(const BandSpectrum& noise) {
        const double cell = std::pow(2.0, 1.0 / 12.0);
        size_t k = 1;
        for (double low = dsp::kBandLowHz; low < dsp::kBandHighHz; low *= cell) {
            double sum = 0.0;
            int count = 0;
            for (; k < noise.bins() && noise.binHz(k) < low * cell; ++k)
                if (noise.binHz(k) >= low) {
                    sum += noise.power(k);
                    ++count;
                }
            if (count > 0 && sum > 0.0)
                pair_.noiseSpectrum.push_back(
                    {low * std::sqrt(cell), dsp::dbfsOfPower(sum / count), false});
        }
    }

    void addDynamicRange() {
        const char* label = "Dynamic range (A-weighted)";
        const ToneSegment& s = *findSegment(take_.plan, ToneUse::DynamicRange);
        if (segmentClips(take_, s, direct_))
            return add(marked("dynamicRange", label, "dB", kAes17DynamicRange, "clipped"));
        const dsp::ThdPlusN t =
            dsp::thdPlusN(spectrumOf(take_, s, direct_), s.bins[0], Weighting::A);
        add(std::isfinite(t.remainderDbfs)
                ? value("dynamicRange", label, "dB", kAes17DynamicRange, -t.remainderDbfs)
                : marked("dynamicRange", label, "dB", kAes17DynamicRange,
                         "nothing but the tone came back"));
    }

    // THD+N of one segment: false when it clips or nothing remains.
    bool thdnOf(const ToneSegment& s, double* ratio, std::string* why) {
        if (segmentClips(take_, s, direct_)) {
            *why = "clipped";
            return false;
        }
        *ratio = dsp::thdPlusN(spectrumOf(take_, s, direct_), s.bins[0], Weighting::None).ratio;
        *why = "nothing but the tone came back";
        return *ratio > 0.0;
    }

    void addThdn() {
        double ratio = 0.0;
        std::string why;
        const bool measured = thdnOf(*findSegment(take_.plan, ToneUse::Thdn), &ratio, &why);
        addRatio("thdn", "THD+N, 997 Hz at -1 dBFS", kAes17Thdn, measured, why, ratio);
    }

    // Against level up to the first that clips; every level above it is
    // marked clipped too, as it is not played into a clipping device again.
    void addThdnCurves() {
        bool clipped = false;
        for (const ToneSegment& s : take_.plan.segments) {
            if (s.use != ToneUse::ThdnLevel && s.use != ToneUse::ThdnFrequency)
                continue;
            double ratio = 0.0;
            std::string why;
            const bool level = s.use == ToneUse::ThdnLevel;
            const bool measured = !(level && clipped) && thdnOf(s, &ratio, &why);
            clipped = clipped || (level && why == "clipped");
            const double x = level
                                 ? s.levelDbfs
                                 : dsp::binFrequency(s.bins[0], take_.plan.rate, take_.plan.window);
            CurvePoint p{x, measured ? db(ratio) : 0.0, !measured};
            (level ? pair_.thdnAgainstLevel : pair_.thdnAgainstFrequency).push_back(p);
        }
    }

    // Per bin in dBFS over a linear span, the largest in each of some 600
    // cells, so that the products stand out as they do bin by bin.
    static std::vector<CurvePoint> spectrumPlot(const BandSpectrum& sp, double from, double to) {
        std::vector<CurvePoint> points;
        const double width = std::max(sp.binHz(1), (to - from) / 600.0);
        size_t k = 1;
        for (double low = from; low < to; low += width) {
            double most = 0.0;
            for (; k < sp.bins() && sp.binHz(k) < low + width; ++k)
                if (sp.binHz(k) >= low)
                    most = std::max(most, sp.amplitude(k));
            if (most > 0.0)
                points.push_back({low + width / 2.0, db(most), false});
        }
        return points;
    }

    // The ratio in dB and in %, or both marked: why it was not measured, or
    // that nothing came back.
    void addRatio(const char* key, const char* label, const char* definition, bool measured,
                  const std::string& why, double ratio) {
        const std::string percentKey = std::string(key) + "Percent";
        const std::string percentLabel = std::string(label) + ", in %";
        if (measured && ratio > 0.0) {
            add(value(key, label, "dB", definition, db(ratio)));
            add(value(percentKey.c_str(), percentLabel.c_str(), "%", definition, 100.0 * ratio));
            return;
        }
        const std::string mark = measured ? "no products came back" : why;
        add(marked(key, label, "dB", definition, mark));
        add(marked(percentKey.c_str(), percentLabel.c_str(), "%", definition, mark));
    }

    void addSmpte() {
        const char* label = "IMD, SMPTE (60 Hz + 7 kHz, 4:1)";
        const ToneSegment* s = findSegment(take_.plan, ToneUse::Smpte);
        if (!s)
            return addRatio("smpteImd", label, kSmpte, false,
                            absent("not measured below 14.4 kHz: the sidebands do not fit under "
                                   "half the rate"),
                            0.0);
        if (segmentClips(take_, *s, direct_))
            return addRatio("smpteImd", label, kSmpte, false, "clipped", 0.0);
        const BandSpectrum sp = spectrumOf(take_, *s, direct_);
        addRatio("smpteImd", label, kSmpte, true, "",
                 dsp::smpteImd(sp, s->bins[0], s->bins[1]).total);
        pair_.smpteSpectrum = spectrumPlot(sp, 6500.0, 7500.0);
    }

    void addCcif() {
        const char* label = "IMD, CCIF (19 kHz + 20 kHz, 1:1)";
        const ToneSegment* s = findSegment(take_.plan, ToneUse::Ccif);
        if (!s) {
            const std::string why = absent("not measured below 44.1 kHz: 20 kHz does not fit "
                                           "under half the rate");
            return addRatio("ccifImd", label, kCcif, false, why, 0.0);
        }
        if (segmentClips(take_, *s, direct_))
            return addRatio("ccifImd", label, kCcif, false, "clipped", 0.0);
        const BandSpectrum sp = spectrumOf(take_, *s, direct_);
        addRatio("ccifImd", label, kCcif, true, "", dsp::ccifImd(sp, s->bins[0], s->bins[1]).total);
        pair_.ccifSpectrum = spectrumPlot(sp, 0.0, std::min(take_.plan.rate / 2.0, 22000.0));
    }

    void addCrosstalk(double hz) {
        const std::string key = "crosstalk" + std::to_string(static_cast<int>(hz));
        const std::string label =
            "Crosstalk at " +
            (hz >= 1000.0 ? std::to_string(int(hz / 1000)) + " kHz" : hzText(hz)) + " (largest)";
        const ToneSegment* s = findSegment(take_.plan, ToneUse::Crosstalk, hz);
        auto mark = [&](const std::string& why) {
            add(marked(key.c_str(), label.c_str(), "dB", kCrosstalk, why));
        };
        if (!s)
            return mark(absent("not measured at this rate: the tone does not fit under half "
                               "the rate"));
        if (take_.inputs.size() < 2)
            return mark("one pair: no other input to leak into");
        if (segmentClips(take_, *s, direct_))
            return mark("clipped");
        const double direct = spectrumOf(take_, *s, direct_).amplitude(s->bins[0]);
        double largest = -INFINITY;
        for (size_t c = 0; c < take_.inputs.size(); ++c) {
            if (c == direct_)
                continue;
            const double leak = spectrumOf(take_, *s, c).amplitude(s->bins[0]);
            CrosstalkReading r{take_.firstInput + static_cast<int>(c),
                               dsp::binFrequency(s->bins[0], take_.plan.rate, take_.plan.window),
                               leak > 0.0 && direct > 0.0, 0.0};
            if (r.measured) {
                r.db = db(leak / direct);
                largest = std::max(largest, r.db);
            }
            pair_.crosstalk.push_back(r);
        }
        if (std::isfinite(largest))
            add(value(key.c_str(), label.c_str(), "dB", kCrosstalk, largest));
        else
            mark("the other inputs returned digital silence");
    }
};

} // namespace

void addResponseFigures(const ChannelResult& sweep, InterfacePair& pair) {
    const double reference = levelAt(sweep.response, 1000.0);
    double low = INFINITY, high = -INFINITY;
    for (ResponsePoint p : sweep.response) {
        p.db -= reference;
        pair.response.push_back(p);
        if (p.hz >= dsp::kBandLowHz && p.hz <= dsp::kBandHighHz) {
            low = std::min(low, p.db);
            high = std::max(high, p.db);
        }
    }
    pair.figures.push_back(value("responseRange", "Frequency response, 20 Hz to 20 kHz (range)",
                                 "dB", kAes17Response, high - low));
    addCrossing(pair, "responseLow05", "-0.5 dB point, low", -0.5, false);
    addCrossing(pair, "responseHigh05", "-0.5 dB point, high", -0.5, true);
    addCrossing(pair, "responseLow3", "-3 dB point, low", -3.0, false);
    addCrossing(pair, "responseHigh3", "-3 dB point, high", -3.0, true);
}

void addLatencyFigures(const ChannelResult& sweep, const DeviceSetup& setup, InterfacePair& pair) {
    const double frames = static_cast<double>(sweep.delayFrames);
    pair.figures.push_back(
        value("latency", "Latency, measured round trip", "frames", kLatency, frames));
    pair.figures.push_back(value("latencyMs", "Latency, measured round trip, in ms", "ms", kLatency,
                                 1000.0 * frames / setup.rate));
    const char* reported = "Latency, the driver's report (input + output)";
    pair.figures.push_back(
        setup.latencyResult == ASE_OK
            ? value("reportedLatency", reported, "frames", "ASIOGetLatencies",
                    static_cast<double>(setup.inputLatency + setup.outputLatency))
            : marked("reportedLatency", reported, "frames", "ASIOGetLatencies",
                     "the driver does not report its latencies"));
    pair.latencyVerdict = verdictOf(setup, sweep.delayFrames);
}

void addToneFigures(const ToneTake& take, InterfacePair& pair) {
    ToneReader(take, pair).addAll();
}

} // namespace measure
