#include "wav/playback_loader.h"

#include <cstring>
#include <fstream>
#include <new>

#include "engine/device_state.h"
#include "engine/sample_blocks.h"
#include "engine/sample_stores.h"
#include "platform/helper_thread.h"
#include "platform/interrupts.h"
#include "wav/sample_conversion.h"
#include "wav/wav_stream.h"

namespace {

// Reads and converts the n frames of the data chunk. A file that ends early
// leaves the missing samples silent: the tail of a partial frame is zeroed
// here, whole frames are left to the padding that follows.
void convertDataChunk(std::istream& in, uint32_t frames, uint32_t channels, uint8_t* chunk,
                      uint8_t** cursors) {
    const size_t chunkFrames = framesPerChunk(channels);
    const size_t bytesPerFrame = size_t{4} * channels;
    const size_t width = bytesPerSample;
    size_t remaining = frames;
    // The user may interrupt a long load: the run then throws the store away.
    while (remaining > 0 && !interruptRequested()) {
        const size_t wanted = remaining < chunkFrames ? remaining : chunkFrames;
        const size_t wantedBytes = wanted * bytesPerFrame;
        in.read(reinterpret_cast<char*>(chunk), static_cast<std::streamsize>(wantedBytes));
        const size_t wholeSamples = static_cast<size_t>(in.gcount()) / 4;
        const size_t framesRead = (wholeSamples + channels - 1) / channels;
        std::memset(chunk + wholeSamples * 4, 0, framesRead * bytesPerFrame - wholeSamples * 4);
        convertPlaybackFrames(chunk, framesRead, channels, bytesPerSample, cursors);
        for (uint32_t c = 0; c < channels; ++c)
            cursors[c] += framesRead * width;
        if (framesRead < wanted)
            return;
        remaining -= wanted;
    }
}

// Zeroes what a segment left unconverted, up to frame `end`, and leaves each
// cursor there.
void silenceRestOfSegment(uint32_t channels, uint8_t** cursors, size_t end) {
    for (uint32_t c = 0; c < channels; ++c) {
        uint8_t* segmentEnd = playbackStore.blocks[c] + end * bytesPerSample;
        std::memset(cursors[c], 0, static_cast<size_t>(segmentEnd - cursors[c]));
        cursors[c] = segmentEnd;
    }
}

// The second half of a large file is read and converted by a helper thread,
// through a stream of its own, while the first half is done here: the kernel's
// copies and the conversion of one half overlap those of the other. Every
// frame is converted by the same rule whichever thread does it.
constexpr size_t kSplitBytes = size_t{2} << 20;

struct SecondHalf {
    const char* path;
    std::streamoff dataStart;
    uint32_t firstFrame;
    uint32_t frames;
    uint32_t channels;
    uint8_t* chunk;
    uint8_t** cursors;
};

void convertSecondHalf(void* job) {
    const SecondHalf& half = *static_cast<const SecondHalf*>(job);
    for (uint32_t c = 0; c < half.channels; ++c)
        half.cursors[c] = playbackStore.blocks[c] + size_t{half.firstFrame} * bytesPerSample;
    std::ifstream in(half.path, std::ios::in | std::ios::binary);
    in.seekg(half.dataStart + static_cast<std::streamoff>(half.firstFrame) * 4 * half.channels);
    if (in.good())
        convertDataChunk(in, half.frames, half.channels, half.chunk, half.cursors);
    silenceRestOfSegment(half.channels, half.cursors, size_t{half.firstFrame} + half.frames);
}

// Falls back to one thread, the first's, when the second's buffers cannot be had.
void convertWholeFile(const char* path, std::ifstream& in, uint32_t frames, uint32_t channels,
                      uint8_t* chunk, uint8_t** cursors) {
    const size_t chunkBytes = framesPerChunk(channels) * 4 * channels;
    SecondHalf half{path, in.tellg(), frames / 2, frames - frames / 2, channels, nullptr, nullptr};
    const bool split = size_t{frames} * 4 * channels >= kSplitBytes && half.dataStart >= 0;
    if (split) {
        half.chunk = new (std::nothrow) uint8_t[chunkBytes];
        half.cursors = half.chunk != nullptr ? new (std::nothrow) uint8_t*[channels] : nullptr;
    }
    if (half.cursors == nullptr) {
        delete[] half.chunk;
        convertDataChunk(in, frames, channels, chunk, cursors);
        silenceRestOfSegment(channels, cursors, frames);
        return;
    }
    HelperThread helper;
    runHelper(&helper, convertSecondHalf, &half);
    convertDataChunk(in, half.firstFrame, channels, chunk, cursors);
    silenceRestOfSegment(channels, cursors, half.firstFrame);
    joinHelper(&helper);
    for (uint32_t c = 0; c < channels; ++c)
        cursors[c] = half.cursors[c];
    delete[] half.cursors;
    delete[] half.chunk;
}

void padWithSilence(uint32_t channels, size_t blockBytes) {
    for (uint32_t c = 0; c < channels; ++c) {
        uint8_t* end = playbackStore.blocks[c] + blockBytes;
        std::memset(playbackStore.cursors[c], 0,
                    static_cast<size_t>(end - playbackStore.cursors[c]));
        playbackStore.cursors[c] = playbackStore.blocks[c];
    }
}

} // namespace

int loadPlaybackSamples(const char* path) {
    std::ifstream in;
    WavHeader header;
    const int result = openWavFile(path, in, &header);
    if (result != kWavOk)
        return result;
    playbackStore.channelCount = header.channelCount;
    // Preconditions of the run sequence, checked so nothing divides by zero.
    if (bufferSize == 0 || bytesPerSample < 2 || bytesPerSample > 4)
        return kWavOtherLayout;
    // Rounded up in 64 bits: a length that no longer fits 32 bits, or a block
    // of 4 GiB or more, cannot be held.
    const uint64_t padded = wholeBufferFrames(header.frameCount);
    const uint64_t blockBytes = padded * bytesPerSample;
    if (blockBytes > UINT32_MAX)
        return kWavNoMemory;
    const size_t chunkFrames = framesPerChunk(header.channelCount);
    uint8_t* chunk = new (std::nothrow) uint8_t[chunkFrames * 4 * header.channelCount];
    uint8_t** blocks = nullptr;
    uint8_t** cursors = nullptr;
    if (chunk == nullptr ||
        !allocateSampleBlocks(header.channelCount, static_cast<uint32_t>(blockBytes), &blocks,
                              &cursors)) {
        delete[] chunk;
        return kWavNoMemory;
    }
    playbackStore.blocks = blocks;
    playbackStore.cursors = cursors;
    playbackStore.remainingFrames = static_cast<uint32_t>(padded);
    convertWholeFile(path, in, header.frameCount, header.channelCount, chunk, cursors);
    delete[] chunk;
    padWithSilence(header.channelCount, static_cast<size_t>(blockBytes));
    return kWavOk;
}
