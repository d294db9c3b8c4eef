// Power spectra read over stretches of frequency: a stretch of noise under a
// Hann window, and the mean of any spectrum's power near a frequency.
#pragma once

#include <cstddef>
#include <vector>

namespace dsp {

// A spectrum's power per bin, summed or averaged over a band in O(1).
class PowerBins {
  public:
    PowerBins() = default;
    PowerBins(const std::vector<double>& power, double hzPerBin);

    bool empty() const { return sums_.size() < 2; }
    // The bins from `from` to `to` Hz, both ends included, summed.
    double sum(double from, double to) const;
    // The mean over a sixth of an octave either side of hz, kept within
    // [from, to], and over five bins around hz at least: a short stretch has
    // few bins there at the low end.
    double meanNear(double hz, double from, double to) const;

  private:
    double total(size_t first, size_t last) const { return sums_[last + 1] - sums_[first]; }
    std::vector<double> sums_; // sums_[k]: bins 0 to k - 1
    double hzPerBin_ = 1.0;
};

// The power spectrum of a stretch of noise under a Hann window, corrected for
// the window's power: white noise of variance s^2 reads s^2 in every bin, and
// the bins of a band add up to the variance the noise has in that band.
class NoiseSpectrum {
  public:
    // count samples at rate; empty when count is below 16.
    NoiseSpectrum(const double* samples, size_t count, double rate);

    bool empty() const { return level_.empty(); }

    // The noise's variance within [from, to] Hz: the window-corrected power
    // of the bins there, one-sided.
    double bandPower(double from, double to) const;

    // The variance white noise would need to read as this noise does near hz
    // (PowerBins::meanNear). Noise of that level holds power
    // levelNear(hz) * sum(w^2) at hz in the spectrum of a stretch under a
    // window w. Read per bin as the median of five parts of the stretch, so
    // that what passes through at one time only (a digital device's folded
    // harmonics sweep down through the stretch) does not count as noise at
    // every time.
    double levelNear(double hz, double from, double to) const;

  private:
    PowerBins level_;       // per bin: |X|^2 / sum(w^2)
    PowerBins steadyLevel_; // the same, the median of the parts
    size_t size_ = 0;       // of the transform
};

} // namespace dsp
