// The playback loader's and the recording writer's conversions at each native
// width: the block loops alone, the per-sample rules they must equal, the
// whole loader and writer on a file in the page cache, and plain reading and
// writing of the same bytes as the limit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/device_state.h"
#include "engine/sample_stores.h"
#include "wav/float_wav_writer.h"
#include "wav/playback_loader.h"
#include "wav/recording_writer.h"
#include "wav/sample_conversion.h"

namespace {

constexpr uint32_t kChannels = 8;
// One loader chunk: 1 MiB of interleaved floats.
constexpr size_t kChunkFrames = (size_t{1} << 20) / (4 * kChannels);
// The file for the whole loader and writer: 64 MiB of samples.
constexpr uint32_t kFileFrames = (uint32_t{64} << 20) / (4 * kChannels);

std::vector<uint8_t> audioBytes(size_t samples) {
    std::vector<uint8_t> bytes(samples * 4);
    std::mt19937 random(1);
    std::uniform_real_distribution<float> audio(-1.0f, 1.0f);
    for (size_t i = 0; i < samples; ++i)
        floatToLittleEndian(audio(random), &bytes[4 * i]);
    return bytes;
}

std::vector<uint8_t> nativeBytes(size_t samples) {
    std::vector<uint8_t> bytes(samples * 4);
    std::mt19937 random(2);
    for (auto& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

struct NativeBlocks {
    std::vector<std::vector<uint8_t>> storage;
    std::vector<uint8_t*> pointers;
    NativeBlocks(uint32_t channels, size_t bytes) : storage(channels, nativeBytes(bytes / 4 + 1)) {
        for (auto& block : storage)
            pointers.push_back(block.data());
    }
};

void reportSamples(benchmark::State& state, size_t samples, uint32_t width) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * samples));
    // Bytes of the file side: the 4-byte floats read or written.
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * samples * 4));
    state.counters["width"] = width;
}

// One chunk of the file side and of each channel's natives at the width
// asked for, converted by `convert(file, natives, width)` each iteration.
template <typename Convert> void chunkBenchmark(benchmark::State& state, Convert convert) {
    const uint32_t width = static_cast<uint32_t>(state.range(0));
    std::vector<uint8_t> file = audioBytes(kChunkFrames * kChannels);
    NativeBlocks natives(kChannels, kChunkFrames * width);
    for (auto _ : state) {
        convert(file.data(), natives.pointers.data(), width);
        benchmark::ClobberMemory();
    }
    reportSamples(state, kChunkFrames * kChannels, width);
}

void BM_PlaybackConversion(benchmark::State& state) {
    chunkBenchmark(state, [](uint8_t* file, uint8_t* const* natives, uint32_t width) {
        convertPlaybackFrames(file, kChunkFrames, kChannels, width, natives);
    });
}

// The per-sample rule applied in file order: what the loader would cost done
// one sample at a time from memory, before any stream calls.
void BM_PlaybackPerSampleRule(benchmark::State& state) {
    chunkBenchmark(state, [](uint8_t* sample, uint8_t* const* natives, uint32_t width) {
        for (size_t f = 0; f < kChunkFrames; ++f)
            for (uint32_t c = 0; c < kChannels; ++c, sample += 4)
                playbackSampleReference(sample, width, natives[c] + f * width);
    });
}

void BM_RecordConversion(benchmark::State& state) {
    chunkBenchmark(state, [](uint8_t* file, uint8_t* const* natives, uint32_t width) {
        convertRecordFrames(natives, kChunkFrames, kChannels, width, file);
    });
}

void BM_RecordPerSampleRule(benchmark::State& state) {
    chunkBenchmark(state, [](uint8_t* sample, uint8_t* const* natives, uint32_t width) {
        for (size_t f = 0; f < kChunkFrames; ++f)
            for (uint32_t c = 0; c < kChannels; ++c, sample += 4)
                recordSampleReference(natives[c] + f * width, width, sample);
    });
}

// A private directory for the files, removed at exit.
struct ScratchFiles {
    std::string directory;
    std::string playback;
    std::string recording;
    ScratchFiles() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/tandembench.XXXXXX";
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (mkdtemp(name.data()) == nullptr)
            std::abort();
        directory = name.data();
        playback = directory + "/play.wav";
        recording = directory + "/record.wav";
        writePlaybackFile();
    }
    ~ScratchFiles() {
        std::remove(playback.c_str());
        std::remove(recording.c_str());
        rmdir(directory.c_str());
    }
    void writePlaybackFile() const {
        const std::vector<uint8_t> chunk = audioBytes(kChunkFrames * kChannels);
        const uint32_t dataBytes = kFileFrames * kChannels * 4;
        uint8_t header[kWavHeaderBytes];
        composeFloatWavHeader(header, 48000, kChannels, kFileFrames);
        std::FILE* out = std::fopen(playback.c_str(), "wb");
        std::fwrite(header, 1, sizeof header, out);
        for (uint32_t written = 0; written < dataBytes; written += chunk.size())
            std::fwrite(chunk.data(), 1, chunk.size(), out);
        std::fclose(out);
    }
};

ScratchFiles& scratch() {
    static ScratchFiles files;
    return files;
}

void BM_LoadPlaybackFile(benchmark::State& state) {
    bytesPerSample = static_cast<uint32_t>(state.range(0));
    bufferSize = 256;
    const char* path = scratch().playback.c_str();
    for (auto _ : state) {
        if (loadPlaybackSamples(path) != 0)
            state.SkipWithError("the loader refused the file");
        state.PauseTiming();
        freePlaybackStore();
        state.ResumeTiming();
    }
    reportSamples(state, size_t{kFileFrames} * kChannels, bytesPerSample);
}

// The lower bound for the loader: the same bytes read in the same chunks.
void BM_ReadFileBare(benchmark::State& state) {
    std::vector<uint8_t> chunk(size_t{1} << 20);
    for (auto _ : state) {
        std::FILE* in = std::fopen(scratch().playback.c_str(), "rb");
        while (std::fread(chunk.data(), 1, chunk.size(), in) == chunk.size())
            benchmark::ClobberMemory();
        std::fclose(in);
    }
    reportSamples(state, size_t{kFileFrames} * kChannels, 0);
}

void BM_WriteRecording(benchmark::State& state) {
    bytesPerSample = static_cast<uint32_t>(state.range(0));
    wavSampleRate = 48000;
    recordStore.channelCount = kChannels;
    recordStore.frameCount = kFileFrames;
    if (!allocateRecordStore()) {
        state.SkipWithError("no memory for the record store");
        return;
    }
    const std::vector<uint8_t> noise = nativeBytes(size_t{1} << 18);
    const size_t blockBytes = size_t{kFileFrames} * bytesPerSample;
    for (uint32_t c = 0; c < kChannels; ++c)
        for (size_t at = 0; at < blockBytes; at += noise.size())
            std::memcpy(recordStore.blocks[c] + at, noise.data(),
                        std::min(noise.size(), blockBytes - at));
    const char* path = scratch().recording.c_str();
    for (auto _ : state)
        if (writeRecording(path) != 0)
            state.SkipWithError("the writer failed");
    freeRecordStore();
    reportSamples(state, size_t{kFileFrames} * kChannels, bytesPerSample);
}

// The lower bound for the writer: the same bytes written in the same chunks.
void BM_WriteFileBare(benchmark::State& state) {
    const std::vector<uint8_t> chunk = nativeBytes(size_t{1} << 18);
    const size_t fileBytes = size_t{kFileFrames} * kChannels * 4;
    for (auto _ : state) {
        std::FILE* out = std::fopen(scratch().recording.c_str(), "wb");
        for (size_t written = 0; written < fileBytes; written += chunk.size())
            std::fwrite(chunk.data(), 1, chunk.size(), out);
        std::fclose(out);
    }
    reportSamples(state, size_t{kFileFrames} * kChannels, 0);
}

void widths(benchmark::internal::Benchmark* b) {
    b->ArgName("width")->DenseRange(2, 4);
}

} // namespace

BENCHMARK(BM_PlaybackConversion)->Apply(widths);
BENCHMARK(BM_PlaybackPerSampleRule)->Apply(widths);
BENCHMARK(BM_RecordConversion)->Apply(widths);
BENCHMARK(BM_RecordPerSampleRule)->Apply(widths);
BENCHMARK(BM_ReadFileBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadPlaybackFile)->Apply(widths)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteFileBare)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteRecording)->Apply(widths)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
