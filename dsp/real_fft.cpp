#include "dsp/real_fft.h"

#include <cmath>
#include <kissfft.hh>

namespace dsp {

// One complex transform of half the size serves both directions: the inverse
// is the forward transform of the conjugate, conjugated.
struct RealFft::Plan {
    explicit Plan(size_t half) : complexFft(half, false) {}
    kissfft<double> complexFft;
};

namespace {

bool isFast(size_t half) {
    for (size_t factor : {2, 3, 5})
        while (half % factor == 0)
            half /= factor;
    return half == 1;
}

// exp(i * 2 pi k / size) for k = 0, 1, 2, ...: a rotation applied step by
// step, started afresh often enough that rounding never builds up.
class Rotation {
  public:
    explicit Rotation(size_t size) : angle_(2.0 * std::acos(-1.0) / static_cast<double>(size)) {}
    Complex next() {
        const Complex value = k_ % kRestart == 0 ? std::polar(1.0, angle_ * static_cast<double>(k_))
                                                 : current_ * step_;
        current_ = value;
        ++k_;
        return value;
    }

  private:
    static constexpr size_t kRestart = 256;
    double angle_;
    Complex step_ = std::polar(1.0, angle_);
    Complex current_{1.0, 0.0};
    size_t k_ = 0;
};

// Bin k of the half-length signal whose real and imaginary parts are the even
// and odd samples, from bins k and half - k of the whole spectrum; twiddle is
// exp(i * 2 pi k / size). Conjugated, so that a forward transform inverts it.
Complex packedBin(Complex k, Complex mirror, Complex twiddle) {
    const Complex even = 0.5 * (k + std::conj(mirror));
    const Complex odd = 0.5 * (k - std::conj(mirror)) * twiddle;
    return std::conj(even + Complex(0.0, 1.0) * odd);
}

} // namespace

size_t fastSizeAtLeast(size_t n) {
    size_t half = n / 2 + n % 2;
    if (half == 0)
        half = 1;
    while (!isFast(half))
        ++half;
    return 2 * half;
}

RealFft::RealFft(size_t size) : size_(size), plan_(std::make_unique<Plan>(size / 2)) {}

RealFft::~RealFft() = default;

void RealFft::forward(const double* samples, Complex* spectrum) const {
    plan_->complexFft.transform_real(samples, spectrum);
    // The transform packs the real values at 0 and at half the rate into one bin.
    const double nyquist = spectrum[0].imag();
    spectrum[0] = Complex(spectrum[0].real(), 0.0);
    spectrum[size_ / 2] = Complex(nyquist, 0.0);
}

void RealFft::inverse(Complex* spectrum, double* samples) const {
    const size_t half = size_ / 2;
    Rotation rotation(size_);
    for (size_t k = 0; 2 * k <= half; ++k) {
        const size_t m = half - k;
        const Complex twiddle = rotation.next();
        const Complex atK = spectrum[k];
        const Complex atM = spectrum[m];
        spectrum[k] = packedBin(atK, atM, twiddle);
        // exp(i * 2 pi (half - k) / size) = -conj(twiddle); bin half is not
        // part of the half-length signal.
        if (m != k && m < half)
            spectrum[m] = packedBin(atM, atK, -std::conj(twiddle));
    }
    Complex* out = reinterpret_cast<Complex*>(samples);
    plan_->complexFft.transform(spectrum, out);
    const double scale = 1.0 / static_cast<double>(half);
    for (size_t n = 0; n < half; ++n)
        out[n] = std::conj(out[n]) * scale;
}

} // namespace dsp
