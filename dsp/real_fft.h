// A real-input FFT of any even size whose half is a product of 2, 3 and 5, in
// double precision, with its inverse. One transform object serves any number
// of threads at once: its calls change only the buffers they are given.
#pragma once

#include <complex>
#include <cstddef>
#include <memory>

namespace dsp {

using Complex = std::complex<double>;

// The smallest even size at least n whose half has no prime factor above 5,
// the sizes the transform is fast at.
size_t fastSizeAtLeast(size_t n);

class RealFft {
  public:
    // size: even, and fast (see fastSizeAtLeast) for speed.
    explicit RealFft(size_t size);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    size_t size() const { return size_; }
    // Bins of a spectrum: 0 to size / 2, both ends included.
    size_t bins() const { return size_ / 2 + 1; }

    // spectrum[k] = sum over n of samples[n] * exp(-2 pi i k n / size); samples holds size()
    // values, spectrum bins().
    void forward(const double* samples, Complex* spectrum) const;
    // The exact inverse of forward (scaled by 1 / size). It uses the spectrum as its scratch
    // space, so the spectrum is lost.
    void inverse(Complex* spectrum, double* samples) const;

  private:
    struct Plan;
    size_t size_;
    std::unique_ptr<Plan> plan_;
};

} // namespace dsp
