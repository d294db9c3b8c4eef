// Writes a large playback file for the whole-program benchmark: 32-bit float
// samples behind the canonical 44-byte header, a different tone per channel
// under low noise, so no sample is silent and the data compresses poorly.
//   make_bench_wav PATH CHANNELS SECONDS [RATE]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "wav/float_wav_writer.h"

namespace {

// One period of every channel's tone is repeated, so generating 460 MB takes
// no longer than writing it.
std::vector<float> tonePeriod(uint32_t channels, uint32_t frames) {
    std::vector<float> samples(size_t{frames} * channels);
    uint32_t noise = 12345;
    for (uint32_t f = 0; f < frames; ++f)
        for (uint32_t c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double phase = 2.0 * M_PI * (c + 1) * f / frames;
            const double dither = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 0.01;
            samples[size_t{f} * channels + c] = static_cast<float>(0.7 * std::sin(phase) + dither);
        }
    return samples;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: %s PATH CHANNELS SECONDS [RATE]\n", argv[0]);
        return 1;
    }
    const uint32_t channels = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const double seconds = std::strtod(argv[3], nullptr);
    const uint32_t rate =
        argc == 5 ? static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10)) : 48000u;
    const uint64_t frames = static_cast<uint64_t>(seconds * rate);
    const uint64_t dataBytes = frames * channels * 4;
    if (channels == 0 || channels > 64 || frames == 0 || dataBytes > 0xFFFFFFFFu - 36) {
        std::fprintf(stderr, "%s: no such file can be written\n", argv[0]);
        return 1;
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    uint8_t header[kWavHeaderBytes];
    composeFloatWavHeader(header, rate, channels, static_cast<uint32_t>(frames));
    std::fwrite(header, 1, sizeof header, out);
    const uint32_t periodFrames = 4800;
    const std::vector<float> period = tonePeriod(channels, periodFrames);
    for (uint64_t done = 0; done < frames; done += periodFrames) {
        const uint64_t now = frames - done < periodFrames ? frames - done : periodFrames;
        std::fwrite(period.data(), 4 * channels, now, out);
    }
    if (std::fclose(out) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
