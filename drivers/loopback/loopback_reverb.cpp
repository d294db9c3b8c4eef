#include "drivers/loopback/loopback_reverb.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "drivers/loopback/loopback_random.h"

namespace {

// Gaussian values from a 64-bit generator of their own, so that the tail
// does not move the device's noise and is the same wherever it is drawn.
class TailNoise {
  public:
    explicit TailNoise(uint64_t seed) : state_(seed) {}
    double next() {
        const double radius = std::sqrt(-2.0 * std::log(uniform()));
        return radius * std::cos(6.283185307179586 * uniform());
    }

  private:
    double uniform() { return nextUniform(state_); }
    uint64_t state_;
};

} // namespace

void LoopbackReverb::configure(double seconds, double tailDb, uint64_t seed) {
    seconds_ = seconds;
    tailEnergy_ = std::pow(10.0, tailDb / 10.0);
    seed_ = seed;
}

// Gaussian noise, each millisecond of it scaled to the energy an exponential
// decay of energy e^(-t / tau) (60 dB down at T = 6 tau ln 10) holds there,
// so that the drawn tail decays as asked and not only on average; the whole
// scaled to exactly the asked ratio to the direct sound's energy of 1.
void LoopbackReverb::drawTail(double rate) {
    const size_t delay = static_cast<size_t>(std::lround(kStartSeconds * rate));
    const size_t decay = static_cast<size_t>(std::ceil(kDecayDb / 60.0 * seconds_ * rate));
    const size_t segment = std::max<size_t>(1, static_cast<size_t>(std::lround(0.001 * rate)));
    const double framesPerTau = seconds_ / (6.0 * std::log(10.0)) * rate;
    tail_.assign(delay + decay, 0.0);
    TailNoise noise(seed_);
    double energy = 0.0;
    for (size_t from = 0; from < decay; from += segment) {
        const size_t to = std::min(decay, from + segment);
        double drawn = 0.0;
        for (size_t n = from; n < to; ++n) {
            tail_[delay + n] = noise.next();
            drawn += tail_[delay + n] * tail_[delay + n];
        }
        const double wanted = std::exp(-static_cast<double>(from) / framesPerTau) *
                              -std::expm1(-static_cast<double>(to - from) / framesPerTau);
        const double scale = drawn > 0.0 ? std::sqrt(wanted / drawn) : 0.0;
        for (size_t n = from; n < to; ++n)
            tail_[delay + n] *= scale;
        energy += wanted;
    }
    const double scale = std::sqrt(tailEnergy_ / energy);
    for (double& value : tail_)
        value *= scale;
}

bool LoopbackReverb::prepare(size_t entries, size_t frames, double rate) {
    if (!active())
        return true;
    try {
        drawTail(rate);
        frames_ = frames;
        fft_ = std::make_unique<dsp::RealFft>(dsp::fastSizeAtLeast(2 * frames));
        const size_t size = fft_->size(), bins = fft_->bins();
        partitions_ = (tail_.size() + frames - 1) / frames;
        tailSpectra_.assign(partitions_ * bins, dsp::Complex());
        std::vector<double> padded(size);
        for (size_t k = 0; k < partitions_; ++k) {
            std::fill(padded.begin(), padded.end(), 0.0);
            const size_t from = k * frames, to = std::min(tail_.size(), from + frames);
            std::copy(tail_.begin() + static_cast<std::ptrdiff_t>(from),
                      tail_.begin() + static_cast<std::ptrdiff_t>(to), padded.begin());
            fft_->forward(padded.data(), tailSpectra_.data() + k * bins);
        }
        entries_.assign(entries, Entry{std::vector<double>(size, 0.0),
                                       std::vector<dsp::Complex>(partitions_ * bins), 0});
        sum_.assign(bins, dsp::Complex());
        output_.assign(size, 0.0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void LoopbackReverb::restart() {
    for (Entry& e : entries_) {
        std::fill(e.window.begin(), e.window.end(), 0.0);
        std::fill(e.spectra.begin(), e.spectra.end(), dsp::Complex());
        e.head = 0;
    }
}

// Overlap-save: the window holds the last transform-size input frames; its
// spectrum joins the delay line of spectra, each partition of the tail meets
// the spectrum as old as it is late, and the last block of the inverse
// transform is the tail's response to everything played so far.
void LoopbackReverb::process(size_t entry, double* block) {
    if (!active() || entry >= entries_.size())
        return;
    Entry& e = entries_[entry];
    const size_t size = fft_->size(), bins = fft_->bins();
    std::memmove(e.window.data(), e.window.data() + frames_, (size - frames_) * sizeof(double));
    std::memcpy(e.window.data() + size - frames_, block, frames_ * sizeof(double));
    e.head = (e.head + 1) % partitions_;
    fft_->forward(e.window.data(), e.spectra.data() + e.head * bins);
    std::fill(sum_.begin(), sum_.end(), dsp::Complex());
    for (size_t k = 0; k < partitions_; ++k) {
        const size_t age = (e.head + partitions_ - k) % partitions_;
        const dsp::Complex* input = e.spectra.data() + age * bins;
        const dsp::Complex* tail = tailSpectra_.data() + k * bins;
        // Written out: the library's complex product checks for infinities.
        for (size_t b = 0; b < bins; ++b) {
            const double re = input[b].real() * tail[b].real() - input[b].imag() * tail[b].imag();
            const double im = input[b].real() * tail[b].imag() + input[b].imag() * tail[b].real();
            sum_[b] += dsp::Complex(re, im);
        }
    }
    fft_->inverse(sum_.data(), output_.data());
    for (size_t t = 0; t < frames_; ++t)
        block[t] += output_[size - frames_ + t];
}
