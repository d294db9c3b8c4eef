// Any byte string as a playback file's header: never a crash, never a frame
// count without a whole frame behind it, never out-values on a refusal.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "wav/wav_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size),
                          std::ios::in | std::ios::binary);
    WavHeader header{};
    const WavHeader untouched = header;
    const int result = readWavHeaderFrom(in, &header);
    if (result < kWavOk || result > kWavOtherLayout)
        std::abort();
    if (result != kWavOk) {
        if (header.frameCount != untouched.frameCount || header.channelCount != 0)
            std::abort();
        return 0;
    }
    if (size < kWavHeaderBytes || header.channelCount == 0 || header.bitsPerSample < 8 ||
        header.frameCount == 0)
        std::abort();
    const uint64_t dataSize = uint64_t(data[40]) | uint64_t(data[41]) << 8 |
                              uint64_t(data[42]) << 16 | uint64_t(data[43]) << 24;
    if (uint64_t(header.frameCount) * header.channelCount * (header.bitsPerSample / 8) > dataSize)
        std::abort();
    return 0;
}
