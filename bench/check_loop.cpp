// Checks a loopback recording against its playback file, bit for bit: input
// channel c must be output channel c LATENCY frames later, converted to
// BYTES-byte integers by the loader's rule and back to floats by the writer's,
// silence before; and the recording must have the padded playback length.
//   check_loop PLAY REC BYTES LATENCY BUFFER
// Prints "bit-exact" or what differs first; exit status 0 only when exact.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Wav {
    std::FILE* file;
    uint32_t channels;
    uint64_t frames;
};

bool openWav(const char* path, Wav* wav) {
    uint8_t header[44];
    wav->file = std::fopen(path, "rb");
    if (wav->file == nullptr || std::fread(header, 1, 44, wav->file) != 44)
        return false;
    wav->channels = header[22] | header[23] << 8;
    uint32_t dataBytes = 0;
    std::memcpy(&dataBytes, header + 40, 4);
    wav->frames = wav->channels == 0 ? 0 : dataBytes / 4u / wav->channels;
    return wav->channels != 0;
}

// What the device plays for a file sample and what the recording makes of it.
float looped(float x, int bytes) {
    const float scale = bytes == 2 ? 32767.0f : bytes == 3 ? 8388607.0f : 2147483648.0f;
    const float product = x * scale;
    int64_t wide = std::isnan(product)        ? 0
                   : product >= 2147483648.0f ? 2147483647
                   : product < -2147483648.0f ? INT64_C(-2147483648)
                                              : static_cast<int64_t>(product);
    const int bits = 8 * bytes;
    const uint32_t low =
        static_cast<uint32_t>(wide) & (bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1);
    const int32_t word = static_cast<int32_t>(low << (32 - bits));
    return static_cast<float>(word) / 2147483648.0f;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s PLAY REC BYTES LATENCY BUFFER\n", argv[0]);
        return 2;
    }
    Wav play{};
    Wav rec{};
    const int bytes = std::atoi(argv[3]);
    const uint64_t latency = std::strtoull(argv[4], nullptr, 10);
    const uint64_t buffer = std::strtoull(argv[5], nullptr, 10);
    if (!openWav(argv[1], &play) || !openWav(argv[2], &rec)) {
        std::printf("cannot read the files\n");
        return 2;
    }
    const uint64_t padded = (play.frames + buffer - 1) / buffer * buffer;
    if (rec.channels != play.channels || rec.frames != padded) {
        std::printf("recording is %u x %llu frames, expected %u x %llu\n", rec.channels,
                    static_cast<unsigned long long>(rec.frames), play.channels,
                    static_cast<unsigned long long>(padded));
        return 1;
    }
    // The playback is read `latency` frames behind the recording.
    const size_t channels = play.channels;
    std::vector<float> in(channels);
    std::vector<float> out(channels);
    uint64_t wrong = 0;
    for (uint64_t t = 0; t < rec.frames; ++t) {
        if (std::fread(out.data(), 4, channels, rec.file) != channels)
            break;
        const bool playing = t >= latency && t - latency < play.frames;
        if (playing && std::fread(in.data(), 4, channels, play.file) != channels)
            break;
        for (size_t c = 0; c < channels; ++c) {
            const float expected = playing ? looped(in[c], bytes) : 0.0f;
            if (std::memcmp(&expected, &out[c], 4) != 0 && wrong++ == 0)
                std::printf("first difference at frame %llu, channel %zu\n",
                            static_cast<unsigned long long>(t), c + 1);
        }
    }
    if (wrong != 0) {
        std::printf("%llu samples differ\n", static_cast<unsigned long long>(wrong));
        return 1;
    }
    std::printf("bit-exact\n");
    return 0;
}
