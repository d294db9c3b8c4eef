// The buffer switch driven directly, as a driver's clock thread would, beside
// the bare copies of the same bytes that bound it from below.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <malloc.h>
#include <vector>

#include "engine/callbacks.h"
#include "engine/device_state.h"
#include "platform/sample_memory.h"
#include "platform/win32api.h"

namespace {

// Each store holds this many blocks per channel; the cursors wrap round to the
// start after them, so the copies stream through memory as in a real run
// instead of hitting one cached block.
constexpr uint32_t kBlocksPerStore = 512;

struct SwitchRig {
    int32_t inputs;
    int32_t outputs;
    uint32_t blockBytes;
    std::vector<std::vector<uint8_t>> driverHalves; // [entry * 2 + half]
    std::vector<std::vector<uint8_t>> playBlocks;
    std::vector<std::vector<uint8_t>> recordBlocks;
    std::vector<uint8_t*> playCursors;
    std::vector<uint8_t*> recordCursors;
    uint64_t blocksDone = 0;
};

void rewindStores(SwitchRig& rig) {
    for (int32_t c = 0; c < rig.outputs; ++c)
        rig.playCursors[c] = rig.playBlocks[c].data();
    for (int32_t c = 0; c < rig.inputs; ++c)
        rig.recordCursors[c] = rig.recordBlocks[c].data();
    playbackStore.remainingFrames = bufferSize * (kBlocksPerStore + 1);
}

// Counts a switch; after the last block the stores hold, they start again.
void nextBlock(SwitchRig& rig) {
    if (++rig.blocksDone % kBlocksPerStore == 0)
        rewindStores(rig);
}

// Inputs first, then outputs, as createChannelBuffers lays out the entries.
void buildRig(SwitchRig& rig, int32_t inputs, int32_t outputs, uint32_t frames, uint32_t width) {
    rig.inputs = inputs;
    rig.outputs = outputs;
    rig.blockBytes = frames * width;
    bufferSize = frames;
    bytesPerSample = width;
    const int32_t entries = inputs + outputs;
    rig.driverHalves.assign(2 * entries, std::vector<uint8_t>(rig.blockBytes, 0x5A));
    rig.playBlocks.assign(outputs, std::vector<uint8_t>(rig.blockBytes * kBlocksPerStore, 0x33));
    rig.recordBlocks.assign(inputs, std::vector<uint8_t>(rig.blockBytes * kBlocksPerStore, 0));
    rig.playCursors.assign(outputs, nullptr);
    rig.recordCursors.assign(inputs, nullptr);
    deviceState.inputBufferCount = inputs;
    deviceState.outputBufferCount = outputs;
    for (int32_t k = 0; k < entries; ++k) {
        ASIOBufferInfo& info = deviceState.bufferInfos[k];
        info.isInput = k < inputs ? ASIOTrue : ASIOFalse;
        info.channelNum = k < inputs ? k : k - inputs;
        info.buffers[0] = rig.driverHalves[2 * k].data();
        info.buffers[1] = rig.driverHalves[2 * k + 1].data();
    }
    playbackStore.channelCount = static_cast<uint32_t>(outputs);
    playbackStore.cursors = rig.playCursors.data();
    recordStore.channelCount = static_cast<uint32_t>(inputs);
    recordStore.cursors = rig.recordCursors.data();
    deviceState.stopped.store(0);
    rewindStores(rig);
}

void buildRigFor(SwitchRig& rig, const benchmark::State& state) {
    buildRig(rig, static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(0)),
             static_cast<uint32_t>(state.range(1)), static_cast<uint32_t>(state.range(2)));
}

void reportBytes(benchmark::State& state, int64_t perSwitch) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * perSwitch);
    state.counters["bytes_per_switch"] = static_cast<double>(perSwitch);
}

// The driver's side of a switch: the time record it hands over, with a sample
// position that follows the previous one so no block counts as lost.
void fillTime(ASIOTime& time, uint64_t block, uint32_t frames) {
    const uint64_t position = block * frames;
    time.timeInfo.flags = kSystemTimeValid | kSamplePositionValid;
    time.timeInfo.samplePosition.hi = static_cast<uint32_t>(position >> 32);
    time.timeInfo.samplePosition.lo = static_cast<uint32_t>(position);
}

void disarmAndCheck(benchmark::State& state) {
    disarmBufferSwitch();
    if (deviceState.stopped.load() != 0 || lostBlockCount() != 0)
        state.SkipWithError("the switch stopped or lost blocks: the rig is wrong");
}

void BM_BufferSwitch(benchmark::State& state) {
    SwitchRig rig;
    buildRigFor(rig, state);
    armBufferSwitch();
    ASIOTime time{};
    for (auto _ : state) {
        fillTime(time, rig.blocksDone, bufferSize);
        onBufferSwitchTimeInfo(&time, static_cast<int32_t>(rig.blocksDone & 1u), ASIOTrue);
        nextBlock(rig);
    }
    disarmAndCheck(state);
    reportBytes(state, int64_t{rig.blockBytes} * (rig.inputs + rig.outputs));
}

// The floor: the same per-channel copies between the same memory, nothing else.
void BM_BareCopyPerChannel(benchmark::State& state) {
    SwitchRig rig;
    buildRigFor(rig, state);
    for (auto _ : state) {
        const int32_t half = static_cast<int32_t>(rig.blocksDone & 1u);
        for (int32_t k = 0; k < rig.inputs; ++k) {
            std::memcpy(rig.recordCursors[k], deviceState.bufferInfos[k].buffers[half],
                        rig.blockBytes);
            rig.recordCursors[k] += rig.blockBytes;
        }
        for (int32_t j = 0; j < rig.outputs; ++j) {
            std::memcpy(deviceState.bufferInfos[rig.inputs + j].buffers[half], rig.playCursors[j],
                        rig.blockBytes);
            rig.playCursors[j] += rig.blockBytes;
        }
        benchmark::ClobberMemory();
        nextBlock(rig);
    }
    reportBytes(state, int64_t{rig.blockBytes} * (rig.inputs + rig.outputs));
}

// One memcpy of all the bytes of a switch from one contiguous place to another.
void BM_BareCopyContiguous(benchmark::State& state) {
    const size_t bytes = static_cast<size_t>(state.range(0)) * 2 *
                         static_cast<size_t>(state.range(1)) * static_cast<size_t>(state.range(2));
    std::vector<uint8_t> source(bytes * kBlocksPerStore, 0x33);
    std::vector<uint8_t> target(bytes * 2, 0);
    uint64_t block = 0;
    for (auto _ : state) {
        std::memcpy(target.data() + (block & 1u) * bytes,
                    source.data() + (block % kBlocksPerStore) * bytes, bytes);
        benchmark::ClobberMemory();
        ++block;
    }
    reportBytes(state, static_cast<int64_t>(bytes));
}

// The one clock read every switch makes; on Linux it is the platform layer's
// stand-in for the multimedia timer and a fixed part of every switch's cost.
void BM_ClockRead(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(timeGetTime());
}

// Record blocks as the program allocates them (resident) or as plain new[]
// hands them out (mapped on first write). Every channel's block crosses into a
// new page in the same switch, so without residence the first-use faults of
// all channels fall together.
struct RecordBlocks {
    std::vector<uint8_t*> blocks;
    bool resident;
    RecordBlocks(int32_t channels, size_t bytes, bool makeResident)
        : blocks(static_cast<size_t>(channels)), resident(makeResident) {
        for (auto& block : blocks)
            block = resident ? allocateSampleBlock(bytes) : new uint8_t[bytes];
    }
    ~RecordBlocks() {
        for (auto* block : blocks)
            resident ? freeSampleBlock(block) : delete[] block;
    }
};

// 64 + 64 channels at 32 frames: the switches of one pass through fresh record
// blocks, counting those that take more than half of the 167 us that such a
// buffer lasts at 192 kHz. The time reported is that of the switches alone.
void BM_SwitchIntoFreshRecordBlocks(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    constexpr uint32_t kSwitches = 8192;
    // A real run's blocks are far above the allocator's threshold and always
    // come fresh from the system; this keeps these smaller ones the same.
    mallopt(M_MMAP_THRESHOLD, 64 * 1024);
    SwitchRig rig;
    buildRig(rig, 64, 64, 32, 3);
    armBufferSwitch();
    ASIOTime time{};
    int64_t slow = 0;
    for (auto _ : state) {
        RecordBlocks record(rig.inputs, size_t{rig.blockBytes} * kSwitches, state.range(0) != 0);
        rewindStores(rig);
        for (int32_t c = 0; c < rig.inputs; ++c)
            rig.recordCursors[c] = record.blocks[c];
        playbackStore.remainingFrames = bufferSize * (kSwitches + 1);
        Clock::duration pass{};
        for (uint32_t n = 0; n < kSwitches; ++n) {
            if (n % kBlocksPerStore == 0)
                for (int32_t c = 0; c < rig.outputs; ++c)
                    rig.playCursors[c] = rig.playBlocks[c].data();
            fillTime(time, rig.blocksDone, bufferSize);
            const Clock::time_point begin = Clock::now();
            onBufferSwitchTimeInfo(&time, static_cast<int32_t>(rig.blocksDone & 1u), ASIOTrue);
            const Clock::duration took = Clock::now() - begin;
            pass += took;
            slow += took > std::chrono::microseconds(83) ? 1 : 0;
            ++rig.blocksDone;
        }
        state.SetIterationTime(std::chrono::duration<double>(pass).count());
    }
    disarmAndCheck(state);
    state.counters["switches"] = kSwitches;
    state.counters["slow_per_pass"] =
        benchmark::Counter(static_cast<double>(slow), benchmark::Counter::kAvgIterations);
}

// Channels per direction, frames per buffer, bytes per sample.
void switchShapes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"channels", "frames", "width"});
    for (int64_t width = 2; width <= 4; ++width) {
        b->Args({2, 256, width});
        b->Args({64, 32, width});
    }
}

} // namespace

BENCHMARK(BM_BufferSwitch)->Apply(switchShapes);
BENCHMARK(BM_BareCopyPerChannel)->Apply(switchShapes);
BENCHMARK(BM_BareCopyContiguous)->Apply(switchShapes);
BENCHMARK(BM_ClockRead);
BENCHMARK(BM_SwitchIntoFreshRecordBlocks)
    ->ArgName("resident")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
