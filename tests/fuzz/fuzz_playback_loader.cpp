// Any playback file at any sample width and buffer length. The input's first
// three bytes choose the width (including the invalid 0 and 1) and the buffer
// length (including 0); the rest is the file, written to a private temporary
// file because the loader takes a path.
//
// Checked on every input: the loader's verdict against the header walk; on
// success the padded length, and every byte of every block against the
// per-sample conversion rule, with silence wherever the file holds no sample;
// on failure nothing allocated. ASan catches any access outside the blocks.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "engine/device_state.h"
#include "engine/sample_stores.h"
#include "wav/playback_loader.h"
#include "wav/sample_conversion.h"
#include "wav/wav_stream.h"

namespace {

// Material beyond this is declared, not present; loading it would only
// measure the allocator, so such inputs are skipped unless they are refused
// before any allocation.
constexpr uint64_t kMaxMaterialBytes = uint64_t{64} << 10;

// The file is unlinked as soon as it is made and reached through its
// descriptor, so that no run, not even a crashing one, leaves it behind.
int fileDescriptor = -1;
char filePath[64];

bool writeFile(const uint8_t* data, size_t size) {
    if (ftruncate(fileDescriptor, 0) != 0)
        return false;
    return pwrite(fileDescriptor, data, size, 0) == static_cast<ssize_t>(size);
}

int headerVerdict(const uint8_t* data, size_t size, WavHeader* header) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size),
                          std::ios::in | std::ios::binary);
    return readWavHeaderFrom(in, header);
}

uint64_t paddedFrames(uint32_t frames, uint32_t buffer) {
    return (uint64_t{frames} + buffer - 1) / buffer * buffer;
}

// Channel c, frame f of the file, if the file holds all four bytes of it.
const uint8_t* fileSample(const uint8_t* file, size_t size, const WavHeader& h, uint64_t f,
                          uint32_t c) {
    const uint64_t offset = kWavHeaderBytes + (f * h.channelCount + c) * 4;
    return offset + 4 <= size ? file + offset : nullptr;
}

void checkBlocks(const uint8_t* file, size_t size, const WavHeader& h, uint64_t padded) {
    static const uint8_t silence[4] = {0, 0, 0, 0};
    for (uint32_t c = 0; c < h.channelCount; ++c) {
        const uint8_t* block = playbackStore.blocks[c];
        if (playbackStore.cursors[c] != block)
            std::abort();
        for (uint64_t f = 0; f < padded; ++f) {
            const uint8_t* sample = f < h.frameCount ? fileSample(file, size, h, f, c) : nullptr;
            uint8_t expected[4];
            if (sample != nullptr)
                playbackSampleReference(sample, bytesPerSample, expected);
            else
                std::memcpy(expected, silence, 4);
            if (std::memcmp(block + f * bytesPerSample, expected, bytesPerSample) != 0)
                std::abort();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || *dir == '\0')
        dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    char path[512];
    std::snprintf(path, sizeof path, "%s/tandem_fuzz_loader_XXXXXX", dir);
    fileDescriptor = mkstemp(path);
    if (fileDescriptor < 0)
        std::abort();
    unlink(path);
    std::snprintf(filePath, sizeof filePath, "/proc/self/fd/%d", fileDescriptor);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    const uint32_t width = data[0] % 5u;
    const uint32_t buffer = static_cast<uint32_t>(data[1] | data[2] << 8);
    const uint8_t* file = data + 3;
    const size_t fileSize = size - 3;

    WavHeader header{};
    const int verdict = headerVerdict(file, fileSize, &header);
    const bool usable = verdict == kWavOk && width >= 2 && buffer != 0;
    const uint64_t padded = usable ? paddedFrames(header.frameCount, buffer) : 0;
    const bool tooLarge = padded * width > UINT32_MAX;
    if (usable && !tooLarge && padded * width * header.channelCount > kMaxMaterialBytes)
        return 0;
    if (!writeFile(file, fileSize))
        std::abort();

    bytesPerSample = width;
    bufferSize = buffer;
    playbackStore = PlaybackStore{};
    const int result = loadPlaybackSamples(filePath);
    const int expected = verdict != kWavOk ? verdict
                         : !usable         ? kWavOtherLayout
                         : tooLarge        ? kWavNoMemory
                                           : kWavOk;
    if (result != expected)
        std::abort();
    if (result != kWavOk) {
        if (playbackStore.blocks != nullptr || playbackStore.cursors != nullptr ||
            playbackStore.remainingFrames != 0)
            std::abort();
        return 0;
    }
    if (playbackStore.channelCount != header.channelCount ||
        playbackStore.remainingFrames != padded || padded % buffer != 0)
        std::abort();
    checkBlocks(file, fileSize, header, padded);
    freePlaybackStore();
    return 0;
}
