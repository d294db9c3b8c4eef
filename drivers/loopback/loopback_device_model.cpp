#include "drivers/loopback/loopback_device_model.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "asiohost/asio.h"
#include "drivers/common/driver_settings.h"
#include "drivers/loopback/loopback_random.h"
#include "drivers/loopback/loopback_settings.h"

namespace {

// Absent: false, text untouched. Present: true, and the text, or empty with
// `typed` false when it is not a string value.
bool readWholeText(HKEY key, const char* name, std::string* text, bool* typed) {
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    *typed = type == REG_SZ;
    text->clear();
    if (!*typed || size == 0)
        return true;
    std::vector<char> value(size + 1u, '\0');
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size) !=
        ERROR_SUCCESS)
        *typed = false;
    else
        text->assign(value.data());
    return true;
}

bool isSeparatorSpace(char c) {
    return c == ' ' || c == '\t';
}

// Numbers separated by spaces, or by a comma with spaces around it if any:
// "1 0.25 0.125", "1, 0.25,0.125". At least one, at most `most`, all finite.
bool parseNumbers(const char* text, size_t most, std::vector<double>* numbers) {
    numbers->clear();
    const char* cursor = text;
    while (isSeparatorSpace(*cursor))
        ++cursor;
    while (*cursor != '\0') {
        char* end = nullptr;
        const double value = std::strtod(cursor, &end);
        if (end == cursor || !std::isfinite(value) || numbers->size() == most)
            return false;
        numbers->push_back(value);
        cursor = end;
        const char* separator = cursor;
        while (isSeparatorSpace(*cursor))
            ++cursor;
        if (*cursor == ',') {
            ++cursor;
            while (isSeparatorSpace(*cursor))
                ++cursor;
            if (*cursor == '\0')
                return false;
        } else if (*cursor != '\0' && cursor == separator) {
            return false;
        }
    }
    return !numbers->empty();
}

bool wholeLatencies(const std::vector<double>& numbers) {
    for (double n : numbers)
        if (n < 0.0 || n > kLoopbackMaxLatency || n != std::floor(n))
            return false;
    return true;
}

int32_t atLeastOneBuffer(int32_t latency, int32_t bufferFrames) {
    return latency > bufferFrames ? latency : bufferFrames;
}

// Full scale of an integer sample of that many bytes.
double integerFullScale(int32_t bytes) {
    return std::ldexp(1.0, 8 * bytes - 1);
}

} // namespace

void LoopbackDeviceModel::configure(const CLSID& clsid, int32_t inputs, int32_t outputs) {
    inputs_ = inputs;
    outputs_ = outputs;
    sources_.clear();
    for (int32_t i = 0; i < inputs; ++i)
        sources_.push_back(i);
    dutReaches_.assign(static_cast<size_t>(inputs), true);
    flight_.assign(static_cast<size_t>(inputs), 0);
    HKEY key = nullptr;
    if (!openDriverSettings(kLoopbackSettingsRoot, clsid, &key))
        return;
    readSettings(key);
    RegCloseKey(key);
    if (!error_.empty()) {
        shapes_ = false;
        latencies_.clear();
    }
}

void LoopbackDeviceModel::readSettings(HKEY key) {
    std::vector<double> number;
    const bool polynomial = readList(key, "dutPolynomial", kMaxTerms, &polynomial_);
    const bool filter = readList(key, "dutFilter", kMaxTaps, &taps_);
    const bool noise = readList(key, "dutNoiseDb", 1, &number);
    if (noise && error_.empty())
        noiseRms_ = std::pow(10.0, number[0] / 20.0);
    const bool crosstalk = readList(key, "dutCrosstalkDb", 1, &number);
    if (crosstalk && error_.empty())
        crosstalkGain_ = std::pow(10.0, number[0] / 20.0);
    const bool reverb = readReverb(key);
    const bool routing = readRouting(key);
    shapes_ = polynomial || filter || noise || crosstalk || reverb || routing;
    if (polynomial_.empty())
        polynomial_.assign(1, 1.0);
    if (taps_.empty())
        taps_.assign(1, 1.0);
    std::vector<double> sequence;
    if (readList(key, "latencySequence", kMaxLatencies, &sequence) && error_.empty()) {
        if (!wholeLatencies(sequence))
            error_ = "Malformed latencySequence: frames must be whole numbers from 0";
        for (double frames : sequence)
            latencies_.push_back(static_cast<int32_t>(frames));
    }
}

// Which output each input records, which inputs the device under test
// reaches, each input's time of flight and the interface's filter. Channels
// count from 1 in the values, from 0 here.
bool LoopbackDeviceModel::readRouting(HKEY key) {
    const size_t inputs = static_cast<size_t>(inputs_);
    std::vector<int32_t> sources, reached, flight;
    const bool routed = readChannels(key, "inputSources", inputs, outputs_, &sources);
    const bool chosen = readChannels(key, "dutInputs", 0, inputs_, &reached);
    const bool delayed = readChannels(key, "dutInputDelays", inputs, -1, &flight);
    const bool filtered = readList(key, "interfaceFilter", kMaxTaps, &interfaceTaps_);
    if (!error_.empty())
        return false;
    for (size_t i = 0; routed && i < inputs; ++i)
        sources_[i] = sources[i] - 1;
    if (chosen) {
        dutReaches_.assign(inputs, false);
        for (int32_t channel : reached)
            dutReaches_[static_cast<size_t>(channel - 1)] = true;
    }
    if (delayed)
        flight_ = flight;
    return routed || chosen || delayed || filtered;
}

// Whole numbers: `count` of them (any number up to the inputs when 0), each a
// channel from 1 to `highest`, or frames from 0 up to the longest loop when
// highest is -1.
bool LoopbackDeviceModel::readChannels(HKEY key, const char* name, size_t count, int32_t highest,
                                       std::vector<int32_t>* channels) {
    std::vector<double> numbers;
    if (!readNumbers(key, name, static_cast<size_t>(kDriverMaxChannels), &numbers))
        return false;
    const bool lengthRight =
        count == 0 ? numbers.size() <= static_cast<size_t>(inputs_) : numbers.size() == count;
    const double lowest = highest < 0 ? 0.0 : 1.0;
    const double top = highest < 0 ? kLoopbackMaxLatency : highest;
    bool inRange = true;
    for (double n : numbers)
        inRange = inRange && n >= lowest && n <= top && n == std::floor(n);
    if (!lengthRight || !inRange) {
        const std::string what =
            highest < 0 ? "whole frames from 0" : "channels from 1 to " + std::to_string(highest);
        error_ = std::string("Malformed ") + name + ": " +
                 (count == 0 ? "at most " + std::to_string(inputs_) + " " + what
                             : std::to_string(count) + " " + what + ", one per input");
        return false;
    }
    channels->clear();
    for (double n : numbers)
        channels->push_back(static_cast<int32_t>(n));
    return true;
}

// dutReverbSeconds (above 0, at most kLongestSeconds) makes the room;
// dutReverbDb (default 0) sets its tail's energy against the direct sound's,
// dutReverbSeed (a whole number) draws another tail.
bool LoopbackDeviceModel::readReverb(HKEY key) {
    std::vector<double> seconds, db, seed;
    if (!readNumbers(key, "dutReverbSeconds", 1, &seconds))
        return false;
    readNumbers(key, "dutReverbDb", 1, &db);
    readNumbers(key, "dutReverbSeed", 1, &seed);
    if (!error_.empty())
        return false;
    if (!(seconds[0] > 0.0 && seconds[0] <= LoopbackReverb::kLongestSeconds)) {
        error_ = "Malformed dutReverbSeconds: above 0 and at most 10 seconds";
        return false;
    }
    if (!seed.empty() && (seed[0] < 0.0 || seed[0] != std::floor(seed[0]) || seed[0] > 1e15)) {
        error_ = "Malformed dutReverbSeed: a whole number from 0";
        return false;
    }
    reverb_.configure(seconds[0], db.empty() ? 0.0 : db[0],
                      seed.empty() ? LoopbackReverb::kDefaultSeed : static_cast<uint64_t>(seed[0]));
    return true;
}

// A list of numbers as text, or, since whole seconds, seeds and channels are
// numbers too, a single whole one as a DWORD.
bool LoopbackDeviceModel::readNumbers(HKEY key, const char* name, size_t most,
                                      std::vector<double>* numbers) {
    DWORD type = 0;
    uint32_t value = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
        type == REG_DWORD && readNumber(key, name, &value)) {
        numbers->assign(1, static_cast<double>(value));
        return true;
    }
    return readList(key, name, most, numbers);
}

// True when the value is there and parses; a value that is there and does not
// leaves the first such error.
bool LoopbackDeviceModel::readList(HKEY key, const char* name, size_t most,
                                   std::vector<double>* numbers) {
    std::string text;
    bool typed = false;
    if (!readWholeText(key, name, &text, &typed))
        return false;
    if (typed && parseNumbers(text.c_str(), most, numbers))
        return true;
    numbers->clear();
    if (error_.empty())
        error_ = std::string("Malformed ") + name + ": \"" + text + "\"";
    if (error_.size() > 123)
        error_ = error_.substr(0, 119) + "...\"";
    return false;
}

bool LoopbackDeviceModel::convertsType(int32_t sampleType) {
    return sampleType == ASIOSTInt16LSB || sampleType == ASIOSTInt24LSB ||
           sampleType == ASIOSTInt32LSB || sampleType == ASIOSTFloat32LSB ||
           sampleType == ASIOSTFloat64LSB;
}

int32_t LoopbackDeviceModel::longestLatency(int32_t configured, int32_t bufferFrames) const {
    int32_t longest = atLeastOneBuffer(configured, bufferFrames);
    for (int32_t latency : latencies_)
        longest = atLeastOneBuffer(latency, longest);
    return longest;
}

int32_t LoopbackDeviceModel::latencyForNextStart(int32_t configured, int32_t bufferFrames) {
    if (latencies_.empty())
        return atLeastOneBuffer(configured, bufferFrames);
    const int32_t latency = latencies_[starts_ % latencies_.size()];
    ++starts_;
    return atLeastOneBuffer(latency, bufferFrames);
}

bool LoopbackDeviceModel::prepare(int32_t outputEntries, int32_t frames, int32_t sampleType,
                                  double rate) {
    if (!shapes_)
        return true;
    frames_ = frames;
    sampleType_ = sampleType;
    sampleBytes_ = loopbackSampleBytes(sampleType);
    const size_t entries = static_cast<size_t>(outputEntries);
    const size_t count = static_cast<size_t>(frames);
    try {
        filterInput_.assign(entries, std::vector<double>(taps_.size() - 1 + count, 0.0));
        shaped_.assign(entries, std::vector<double>(count, 0.0));
        raw_.assign(entries, std::vector<double>(count, 0.0));
        channels_.assign(entries, -1);
        total_.assign(count, 0.0);
        rawTotal_.assign(count, 0.0);
        block_.assign(count, 0.0);
        native_.assign(count * static_cast<size_t>(sampleBytes_), 0);
        paths_.assign(static_cast<size_t>(inputs_), LoopbackInputPath());
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (size_t i = 0; i < paths_.size(); ++i)
        if (!paths_[i].prepare(static_cast<size_t>(flight_[i]), interfaceTaps_, count))
            return false;
    return reverb_.prepare(entries, count, rate);
}

void LoopbackDeviceModel::restart() {
    for (std::vector<double>& history : filterInput_)
        std::fill(history.begin(), history.end(), 0.0);
    for (LoopbackInputPath& path : paths_)
        path.restart();
    reverb_.restart();
}

double LoopbackDeviceModel::fromNative(const uint8_t* sample) const {
    switch (sampleType_) {
    case ASIOSTInt16LSB:
        return static_cast<int16_t>(sample[0] | (sample[1] << 8)) / integerFullScale(2);
    case ASIOSTInt24LSB: {
        const uint32_t bits = static_cast<uint32_t>(sample[0]) << 8 |
                              static_cast<uint32_t>(sample[1]) << 16 |
                              static_cast<uint32_t>(sample[2]) << 24;
        return static_cast<int32_t>(bits) / integerFullScale(4);
    }
    case ASIOSTFloat32LSB: {
        float value;
        std::memcpy(&value, sample, 4);
        return value;
    }
    case ASIOSTFloat64LSB: {
        double value;
        std::memcpy(&value, sample, 8);
        return value;
    }
    default: {
        int32_t value;
        std::memcpy(&value, sample, 4);
        return value / integerFullScale(4);
    }
    }
}

// Integers are rounded and clip at full scale, as a converter does.
void LoopbackDeviceModel::toNative(double value, uint8_t* sample) const {
    if (sampleType_ == ASIOSTFloat32LSB) {
        const float single = static_cast<float>(value);
        std::memcpy(sample, &single, 4);
        return;
    }
    if (sampleType_ == ASIOSTFloat64LSB) {
        std::memcpy(sample, &value, 8);
        return;
    }
    const double scale = integerFullScale(sampleBytes_);
    const double scaled = std::floor(value * scale + 0.5);
    const double clipped = scaled >= scale ? scale - 1.0 : (scaled < -scale ? -scale : scaled);
    const uint32_t bits = static_cast<uint32_t>(static_cast<int32_t>(clipped));
    for (int32_t b = 0; b < sampleBytes_; ++b)
        sample[b] = static_cast<uint8_t>(bits >> (8 * b));
}

// Gaussian, from a 64-bit generator by Box and Muller, two values a draw.
double LoopbackDeviceModel::nextNoise() {
    if (hasSpare_) {
        hasSpare_ = false;
        return spareNoise_;
    }
    auto uniform = [this] { return nextUniform(noiseState_); };
    const double radius = std::sqrt(-2.0 * std::log(uniform()));
    const double angle = 6.283185307179586 * uniform();
    spareNoise_ = radius * std::sin(angle);
    hasSpare_ = true;
    return radius * std::cos(angle);
}

void LoopbackDeviceModel::fillSilence(uint8_t* frames, int32_t count) {
    for (int32_t t = 0; t < count; ++t)
        toNative(noiseRms_ != 0.0 ? noiseRms_ * nextNoise() : 0.0, frames + t * sampleBytes_);
}

void LoopbackDeviceModel::shapeOutputs(const uint8_t* const* halves, const int32_t* channels,
                                       int32_t count) {
    const size_t history = taps_.size() - 1;
    std::fill(total_.begin(), total_.end(), 0.0);
    std::fill(rawTotal_.begin(), rawTotal_.end(), 0.0);
    for (size_t e = 0; e < static_cast<size_t>(count) && e < shaped_.size(); ++e) {
        channels_[e] = channels[e];
        std::vector<double>& input = filterInput_[e];
        for (int32_t t = 0; t < frames_; ++t) {
            const double x = halves[e] != nullptr ? fromNative(halves[e] + t * sampleBytes_) : 0.0;
            raw_[e][static_cast<size_t>(t)] = x;
            rawTotal_[static_cast<size_t>(t)] += x;
            double y = 0.0;
            for (size_t k = polynomial_.size(); k-- > 0;)
                y = (y + polynomial_[k]) * x;
            input[history + static_cast<size_t>(t)] = y;
        }
        filterBlock(taps_, input.data(), static_cast<size_t>(frames_), shaped_[e].data());
        reverb_.process(e, shaped_[e].data());
        for (int32_t t = 0; t < frames_; ++t)
            total_[static_cast<size_t>(t)] += shaped_[e][static_cast<size_t>(t)];
    }
}

// Output `output`'s block as played or as the device under test shaped it;
// null when the host gave that output no buffers.
const std::vector<double>* LoopbackDeviceModel::sourceBlock(int32_t output, bool shaped) const {
    for (size_t e = 0; e < shaped_.size(); ++e)
        if (channels_[e] == output)
            return shaped ? &shaped_[e] : &raw_[e];
    return nullptr;
}

// Source, device under test, time of flight, crosstalk, noise, the
// interface's filter, in that order; the loop's latency follows outside.
const uint8_t* LoopbackDeviceModel::inputBlock(int32_t channel) {
    const size_t input = static_cast<size_t>(channel);
    const bool inRange = channel >= 0 && input < sources_.size();
    const bool reached = !inRange || dutReaches_[input];
    const std::vector<double>* own = sourceBlock(inRange ? sources_[input] : channel, reached);
    const std::vector<double>& total = reached ? total_ : rawTotal_;
    const size_t frames = static_cast<size_t>(frames_);
    for (size_t t = 0; t < frames; ++t)
        block_[t] = own != nullptr ? (*own)[t] : 0.0;
    if (inRange)
        paths_[input].delay(block_.data());
    for (size_t t = 0; t < frames; ++t) {
        const double direct = own != nullptr ? (*own)[t] : 0.0;
        const double noise = noiseRms_ != 0.0 ? noiseRms_ * nextNoise() : 0.0;
        block_[t] += crosstalkGain_ * (total[t] - direct) + noise;
    }
    if (inRange)
        paths_[input].filter(block_.data());
    for (size_t t = 0; t < frames; ++t)
        toNative(block_[t], native_.data() + t * static_cast<size_t>(sampleBytes_));
    return native_.data();
}
