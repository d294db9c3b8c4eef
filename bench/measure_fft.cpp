// The FFT's share of an analysis: one forward and one inverse real transform
// at the size tandemwav-measure uses, repeated, the median in milliseconds.
//   measure_fft SIZE [REPEATS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "dsp/real_fft.h"

int main(int argc, char** argv) {
    if (argc < 2)
        return 1;
    const size_t size = std::strtoull(argv[1], nullptr, 10);
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 9;
    const dsp::RealFft fft(size);
    std::vector<double> samples(size);
    for (size_t n = 0; n < size; ++n)
        samples[n] = static_cast<double>((n * 7919) % 1000) / 1000.0 - 0.5;
    std::vector<dsp::Complex> spectrum(fft.bins());
    std::vector<double> times;
    for (int r = 0; r < repeats; ++r) {
        const auto start = std::chrono::steady_clock::now();
        fft.forward(samples.data(), spectrum.data());
        fft.inverse(spectrum.data(), samples.data());
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    std::printf("%.3f\n", times[times.size() / 2]);
    return 0;
}
