// What lies between the device under test and one input's converter: the
// time of flight, a whole number of frames, before the crosstalk and noise
// join, and the interface's own FIR after them. Memory is taken once, in
// prepare; process runs on the device clock's thread.
#pragma once

#include <cstddef>
#include <vector>

// The FIR over the `frames` that follow taps - 1 frames of history in
// `input`, into `output`; then the block's last frames become the history.
void filterBlock(const std::vector<double>& taps, double* input, size_t frames, double* output);

class LoopbackInputPath {
  public:
    // False without the memory.
    bool prepare(size_t delayFrames, const std::vector<double>& interfaceTaps, size_t frames);
    void restart();

    // The block `frames` long, delayed in place.
    void delay(double* block);
    // The block through the interface's filter, in place.
    void filter(double* block);

  private:
    std::vector<double> ring_; // the last delayFrames frames that went in
    size_t ringCursor_ = 0;
    std::vector<double> taps_;
    std::vector<double> history_; // taps - 1 frames, then the block
    size_t frames_ = 0;
};
