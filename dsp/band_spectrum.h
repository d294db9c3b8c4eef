// The power spectrum of one stretch of a recording, and the figures read from
// it within the audio band as AES17 defines them: levels in dBFS (a
// full-scale sine reads 0 dBFS), band power with the bins outside 20 Hz to
// 20 kHz left out, A-weighted or not.
#pragma once

#include <cstddef>
#include <vector>

namespace dsp {

constexpr double kBandLowHz = 20.0;
constexpr double kBandHighHz = 20000.0;

// A level in dBFS from a mean square: 10 log10(2 p). Minus infinity for 0.
double dbfsOfPower(double meanSquare);

enum class Weighting { None, A };

class BandSpectrum {
  public:
    // Unwindowed, for coherent tones: their energy stays in their bins.
    static BandSpectrum coherent(const float* samples, size_t frames, double rate);
    // Under a Hann window, for noise, so that what lies outside the band
    // (a DC offset, hum below 20 Hz) does not leak into it; corrected for the
    // window's power.
    static BandSpectrum hann(const float* samples, size_t frames, double rate);

    size_t bins() const { return power_.size(); }
    double binHz(size_t bin) const { return static_cast<double>(bin) * rate_ / frames_; }
    // The bin's share of the stretch's mean square.
    double power(size_t bin) const { return power_[bin]; }
    // The peak amplitude of a sine that lies in the bin.
    double amplitude(size_t bin) const;
    // The mean square in the band, weighted, without the bins listed.
    double bandPower(Weighting weighting, const std::vector<size_t>& without = {}) const;

  private:
    BandSpectrum(const float* samples, size_t frames, double rate, bool hann);
    double rate_;
    double frames_;
    std::vector<double> power_;
};

// THD+N of a coherent tone in bin `fundamental`: what remains in the band
// with that bin removed.
struct ThdPlusN {
    double remainderDbfs = 0.0; // the remainder's level
    double ratio = 0.0;         // the remainder against the whole signal in the band
};
ThdPlusN thdPlusN(const BandSpectrum& spectrum, size_t fundamental, Weighting weighting);

// Intermodulation, as amplitude ratios: per order, then the root of their
// squares' sum.
struct Intermodulation {
    std::vector<double> orders; // SMPTE: 2nd, 3rd, 4th; CCIF: 2nd, 3rd
    double total = 0.0;
};

// SMPTE: low and high tones; sidebands high +- n low, n = 1 to 3, summed per
// order and referred to the high tone.
Intermodulation smpteImd(const BandSpectrum& spectrum, size_t lowBin, size_t highBin);

// IEC 60268-3 difference-frequency distortion of two tones f1 < f2: the
// products at f2 - f1 and 2 f1 - f2, referred to the two tones' amplitudes
// summed (twice one tone's).
Intermodulation ccifImd(const BandSpectrum& spectrum, size_t bin1, size_t bin2);

} // namespace dsp
