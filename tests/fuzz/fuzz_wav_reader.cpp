// Any byte string as a recording for the general WAV reader. It must never
// crash, hand out more frames than the file holds behind its data chunk's
// start, or count more clipped samples than a channel has; and where the
// playback header walk takes the same bytes as a float file, both readers
// must agree on what the file is.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "wav/wav_reader.h"
#include "wav/wav_stream.h"

namespace {

void checkRecording(const WavRecording& r, size_t size) {
    const uint64_t channels = static_cast<uint64_t>(r.info.channels);
    const uint64_t frames = static_cast<uint64_t>(r.info.frames);
    // The smallest sample is 2 bytes, and no data starts before byte 44.
    if (channels == 0 || r.info.rate <= 0 || frames * channels * 2 + 44 > size)
        std::abort();
    if (r.samples.size() != frames * channels || r.clipped.size() != channels)
        std::abort();
    for (uint64_t clipped : r.clipped)
        if (clipped > frames)
            std::abort();
}

// A canonical float file reads the same through both walks.
void checkAgainstPlaybackWalk(const uint8_t* data, size_t size, const WavRecording& r) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size),
                          std::ios::in | std::ios::binary);
    WavHeader header{};
    if (readWavHeaderFrom(in, &header) != kWavOk || header.formatTag != kWavFormatFloat ||
        header.bitsPerSample != kWavFloatBits)
        return;
    if (static_cast<uint32_t>(r.info.channels) != header.channelCount ||
        static_cast<uint32_t>(r.info.rate) != header.sampleRate ||
        static_cast<uint64_t>(r.info.frames) > header.frameCount)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (file == nullptr)
        return 0; // an empty input has no stream
    try {
        const WavRecording r = readWavRecordingFrom(file, "input");
        checkRecording(r, size);
        checkAgainstPlaybackWalk(data, size, r);
    } catch (const WavReadError&) {
    }
    std::fclose(file);
    return 0;
}
