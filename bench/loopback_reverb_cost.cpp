// What the loopback device model's room costs on the device clock's thread:
// the time one output entry's block takes through the tail's partitioned
// convolution, per buffer length and reverberation time, and the channels
// that fit in half of a period at that cost.
//   loopback_reverb_cost [RATE]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "drivers/loopback/loopback_reverb.h"

int main(int argc, char** argv) {
    const double rate = argc > 1 ? std::atof(argv[1]) : 48000.0;
    std::printf("rate %.0f Hz\n%8s %8s %12s %14s %12s\n", rate, "T (s)", "buffer", "tail frames",
                "us per block", "channels");
    for (double seconds : {0.8, 2.0})
        for (size_t frames : {64u, 256u, 1024u}) {
            LoopbackReverb reverb;
            reverb.configure(seconds, -10.0, LoopbackReverb::kDefaultSeed);
            if (!reverb.prepare(1, frames, rate))
                return 1;
            std::vector<double> block(frames, 0.25);
            const int blocks = static_cast<int>(4.0 * rate / static_cast<double>(frames));
            const auto start = std::chrono::steady_clock::now();
            for (int b = 0; b < blocks; ++b)
                reverb.process(0, block.data());
            const double us =
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                    .count() /
                blocks;
            const double period = 1e6 * static_cast<double>(frames) / rate;
            std::printf("%8.1f %8zu %12zu %14.1f %12.0f\n", seconds, frames, reverb.tailFrames(),
                        us, 0.5 * period / us);
        }
    return 0;
}
