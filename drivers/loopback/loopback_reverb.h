// A room inside the device model: after the direct sound, a tail of
// exponentially decaying Gaussian noise whose energy falls 60 dB in the
// reverberation time, the same in every band. The tail is one fixed response
// drawn from a fixed seed, applied to each output entry as a uniformly
// partitioned convolution in the frequency domain: one partition per block,
// so it adds no latency, and every buffer it needs is made beforehand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/real_fft.h"

class LoopbackReverb {
  public:
    // The tail starts this long after the direct sound and runs until its
    // energy has fallen this far below where it started.
    static constexpr double kStartSeconds = 0.002;
    static constexpr double kDecayDb = 100.0;
    static constexpr double kLongestSeconds = 10.0;
    static constexpr uint64_t kDefaultSeed = 0x5EED0F0A11C0FFEEull;

    void configure(double seconds, double tailDb, uint64_t seed);
    bool active() const { return seconds_ > 0.0; }

    // The tail at this rate and the buffers for `entries` output entries of
    // blocks of `frames`; false without the memory.
    bool prepare(size_t entries, size_t frames, double rate);

    // The tail's frames at the rate prepare was given, its delay included.
    size_t tailFrames() const { return tail_.size(); }
    const std::vector<double>& tail() const { return tail_; }

    // Each start begins from silence.
    void restart();

    // Adds the tail's response to the block of entry `entry`, in place. Real
    // time: no allocation, no lock.
    void process(size_t entry, double* block);

  private:
    struct Entry {
        std::vector<double> window;        // the last transformSize input frames
        std::vector<dsp::Complex> spectra; // one per partition, newest at head
        size_t head = 0;
    };

    void drawTail(double rate);

    double seconds_ = 0.0;
    double tailEnergy_ = 1.0;
    uint64_t seed_ = kDefaultSeed;
    size_t frames_ = 0;
    size_t partitions_ = 0;
    std::unique_ptr<dsp::RealFft> fft_;
    std::vector<double> tail_;
    std::vector<dsp::Complex> tailSpectra_; // partition k at k * bins
    std::vector<Entry> entries_;
    std::vector<dsp::Complex> sum_;
    std::vector<double> output_;
};
