#include "dsp/coherent_tone.h"

#include <algorithm>
#include <cmath>

#include "dsp/window_shapes.h"

namespace dsp {

size_t coherentBin(double hz, double rate, size_t window) {
    const double cycles = std::round(hz * static_cast<double>(window) / rate);
    return std::clamp<size_t>(static_cast<size_t>(std::max(cycles, 1.0)), 1, window / 2 - 1);
}

double binFrequency(size_t bin, double rate, size_t window) {
    return static_cast<double>(bin) * rate / static_cast<double>(window);
}

void addCoherentTone(std::vector<float>& samples, size_t start, size_t frames, size_t fade,
                     size_t bin, size_t window, double amplitude) {
    const double step = 2.0 * std::acos(-1.0) / static_cast<double>(window);
    const size_t end = std::min(samples.size(), start + frames);
    for (size_t i = start; i < end; ++i) {
        const size_t t = i - start;
        const double gain = std::min(halfHannRise(t, fade), halfHannRise(frames - 1 - t, fade));
        const size_t phase = (bin * (t % window)) % window;
        samples[i] += static_cast<float>(gain * amplitude * std::sin(step * phase));
    }
}

} // namespace dsp
