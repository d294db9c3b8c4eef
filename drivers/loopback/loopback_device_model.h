// A device under test inside the loop: what comes back on each input is what
// went out on its source output, shaped by a polynomial and a FIR filter
// (on the inputs the device under test reaches), delayed by a time of
// flight, joined by crosstalk and white noise, then filtered by the
// interface's own FIR, so that a measurement can be checked against an
// answer known in closed form. Also a loop whose latency changes from one
// start to the next, as some devices' does. Configured by the device's dut*,
// inputSources, interfaceFilter and latencySequence values; without them the
// loop stays a plain copy.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drivers/loopback/loopback_input_path.h"
#include "drivers/loopback/loopback_reverb.h"
#include "platform/win32api.h"

class LoopbackDeviceModel {
  public:
    // At most this many polynomial terms, filter taps and sequence entries:
    // the model runs on the device clock's thread, between two switches.
    static constexpr size_t kMaxTerms = 16;
    static constexpr size_t kMaxTaps = 1024;
    static constexpr size_t kMaxLatencies = 64;

    // Reads the values under the device's key, for a device with that many
    // inputs and outputs. A malformed one leaves the model off and an error
    // naming it, which refuses init.
    void configure(const CLSID& clsid, int32_t inputs, int32_t outputs);
    const std::string& error() const { return error_; }

    // Whether a signal setting is given: then the loop no longer copies bits.
    bool shapesSignal() const { return shapes_; }

    // The sample types the model converts; any other refuses init.
    static bool convertsType(int32_t sampleType);

    // The longest loop any start may have, for sizing the delay lines.
    int32_t longestLatency(int32_t configured, int32_t bufferFrames) const;

    // The loop's latency for the next start, which is counted; `configured` is
    // the latency of a device without a sequence.
    int32_t latencyForNextStart(int32_t configured, int32_t bufferFrames);

    // Scratch for blocks of `frames` on that many output entries, and the
    // room's tail at `rate`; false without the memory. Called outside the
    // clock, before it runs.
    bool prepare(int32_t outputEntries, int32_t frames, int32_t sampleType, double rate);

    const LoopbackReverb& reverb() const { return reverb_; }

    // Each start begins from silence: the filters forget what they held. The
    // noise goes on, so that repeats within one run meet fresh noise.
    void restart();

    // The loop's content at a start: silence, with the noise on it.
    void fillSilence(uint8_t* frames, int32_t count);

    // The block the host left in each output entry's half (null: silence),
    // through polynomial and filter.
    void shapeOutputs(const uint8_t* const* halves, const int32_t* channels, int32_t count);

    // What input `channel` receives of the shaped outputs, in native samples,
    // valid until the next call. Called once per block for each input.
    const uint8_t* inputBlock(int32_t channel);

  private:
    void readSettings(HKEY key);
    bool readRouting(HKEY key);
    bool readChannels(HKEY key, const char* name, size_t count, int32_t highest,
                      std::vector<int32_t>* channels);
    const std::vector<double>* sourceBlock(int32_t output, bool shaped) const;
    bool readReverb(HKEY key);
    bool readNumbers(HKEY key, const char* name, size_t most, std::vector<double>* numbers);
    bool readList(HKEY key, const char* name, size_t most, std::vector<double>* numbers);
    double fromNative(const uint8_t* sample) const;
    void toNative(double value, uint8_t* sample) const;
    double nextNoise();

    std::string error_;
    bool shapes_ = false;
    std::vector<double> polynomial_; // a1, a2, ...: y = a1 x + a2 x^2 + ...
    std::vector<double> taps_;
    double noiseRms_ = 0.0;
    double crosstalkGain_ = 0.0;
    std::vector<int32_t> latencies_;
    int32_t inputs_ = 0, outputs_ = 0;
    std::vector<int32_t> sources_; // per input: the output it records, from 0
    std::vector<bool> dutReaches_; // per input: polynomial and filter act on it
    std::vector<int32_t> flight_;  // per input: extra frames of delay
    std::vector<double> interfaceTaps_;
    std::vector<LoopbackInputPath> paths_; // per input
    LoopbackReverb reverb_;
    size_t starts_ = 0;

    int32_t frames_ = 0;
    int32_t sampleType_ = 0;
    int32_t sampleBytes_ = 0;
    // Per output entry: the filter's history (taps - 1 frames), then the block.
    std::vector<std::vector<double>> filterInput_;
    std::vector<std::vector<double>> shaped_;
    std::vector<std::vector<double>> raw_; // as played, for inputs the device under test misses
    std::vector<int32_t> channels_;
    std::vector<double> total_;    // the sum of every shaped output
    std::vector<double> rawTotal_; // and of every output as played
    std::vector<double> block_;    // one input's block before its conversion
    std::vector<uint8_t> native_;

    // Seeded once, when the driver is created, so that runs repeat.
    uint64_t noiseState_ = 0x7A4D3EC1B2F05961ull;
    double spareNoise_ = 0.0;
    bool hasSpare_ = false;
};
