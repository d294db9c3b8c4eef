// Any byte string as a playback file's header. The stream walk (reads that
// stop at the end of the file, a seek, one identifier buffer reused) must come
// to the same verdict as reading the fixed offsets of the layout directly, and
// must never crash or hand out a frame count without a whole frame behind it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "wav/wav_stream.h"

namespace {

// The verdict from the fixed offsets alone. A file cut short fails the first
// identifier it does not hold completely: before offset 12 that is RIFF/WAVE,
// after it "fmt " or "data"; a cut inside the data size field is refused too.
int verdictAtOffsets(const uint8_t* data, size_t size, WavHeader* expected) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return kWavNotRiffWave;
    if (size < 44 || std::memcmp(data + 12, "fmt ", 4) != 0 || littleEndianU32(data + 16) != 16 ||
        std::memcmp(data + 36, "data", 4) != 0)
        return kWavOtherLayout;
    expected->formatTag = littleEndianU16(data + 20);
    expected->channelCount = littleEndianU16(data + 22);
    expected->sampleRate = littleEndianU32(data + 24);
    expected->bitsPerSample = littleEndianU16(data + 34);
    const uint32_t sampleBytes = expected->bitsPerSample / 8;
    if (expected->channelCount == 0 || sampleBytes == 0)
        return kWavOtherLayout;
    expected->frameCount = littleEndianU32(data + 40) / expected->channelCount / sampleBytes;
    return expected->frameCount == 0 ? kWavOtherLayout : kWavOk;
}

bool sameHeader(const WavHeader& a, const WavHeader& b) {
    return a.formatTag == b.formatTag && a.channelCount == b.channelCount &&
           a.sampleRate == b.sampleRate && a.bitsPerSample == b.bitsPerSample &&
           a.frameCount == b.frameCount;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size),
                          std::ios::in | std::ios::binary);
    const WavHeader untouched{7, 7, 7, 7, 7};
    WavHeader header = untouched;
    const int result = readWavHeaderFrom(in, &header);
    WavHeader expected{};
    if (result != verdictAtOffsets(data, size, &expected))
        std::abort();
    if (!sameHeader(header, result == kWavOk ? expected : untouched))
        std::abort();
    if (result == kWavOk && in.tellg() != std::streampos(kWavHeaderBytes))
        std::abort(); // the loader reads the samples from where the walk stops
    return 0;
}
