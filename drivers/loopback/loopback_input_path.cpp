#include "drivers/loopback/loopback_input_path.h"

#include <algorithm>
#include <cstring>
#include <new>

bool LoopbackInputPath::prepare(size_t delayFrames, const std::vector<double>& interfaceTaps,
                                size_t frames) {
    frames_ = frames;
    try {
        ring_.assign(delayFrames, 0.0);
        taps_ = interfaceTaps.empty() ? std::vector<double>(1, 1.0) : interfaceTaps;
        history_.assign(taps_.size() - 1 + frames, 0.0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    ringCursor_ = 0;
    return true;
}

void LoopbackInputPath::restart() {
    std::fill(ring_.begin(), ring_.end(), 0.0);
    std::fill(history_.begin(), history_.end(), 0.0);
    ringCursor_ = 0;
}

void LoopbackInputPath::delay(double* block) {
    if (ring_.empty())
        return;
    for (size_t t = 0; t < frames_; ++t) {
        std::swap(block[t], ring_[ringCursor_]);
        ringCursor_ = ringCursor_ + 1 == ring_.size() ? 0 : ringCursor_ + 1;
    }
}

void LoopbackInputPath::filter(double* block) {
    if (taps_.size() == 1 && taps_[0] == 1.0)
        return;
    std::copy(block, block + frames_, history_.end() - static_cast<std::ptrdiff_t>(frames_));
    filterBlock(taps_, history_.data(), frames_, block);
}

void filterBlock(const std::vector<double>& taps, double* input, size_t frames, double* output) {
    const size_t history = taps.size() - 1;
    for (size_t t = 0; t < frames; ++t) {
        const double* newest = input + history + t;
        double sum = 0.0;
        for (size_t k = 0; k < taps.size(); ++k)
            sum += taps[k] * *(newest - k);
        output[t] = sum;
    }
    std::memmove(input, input + frames, history * sizeof(double));
}
