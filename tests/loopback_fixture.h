// The loopback driver as a host meets it: listed in the registry, created
// through the driver list and COM, configured per class identifier, and
// driven by callbacks of the tests' own. What every loopback test shares: the
// devices of the test registry, the host's callbacks and the fixture.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "asiohost/asio.h"
#include "asiohost/asio_calls.h"
#include "asiohost/driver_loader.h"
#include "host_fixture.h"

using Bytes = std::vector<uint8_t>;
using SteadyClock = std::chrono::steady_clock;

// The class identifier of configured test device `number`, and the file its
// call trace goes to.
std::string testClass(int number);
std::string tracePath(const std::string& device);

// Every device the tests use, in one registry: the driver module reads its
// image once, so nothing may be added later.
void installDevices();

// What the test's host saw, written by the driver's thread while it runs.
constexpr int kMaxCalls = 4096;
struct Probe {
    std::atomic<int> calls{0};
    int32_t halves[kMaxCalls] = {};
    bool withTimeInfo[kMaxCalls] = {};
    ASIOTime times[kMaxCalls] = {};
    ASIOSamples positions[kMaxCalls] = {};
    ASIOError positionResults[kMaxCalls] = {};
    std::atomic<int> messageCount{0};
    int32_t messages[64] = {};
    int32_t messageValues[64] = {};
    int32_t callsAtMessage[64] = {};
    int32_t answerTimeInfo = 1;
    std::atomic<bool> inStart{false};
    std::atomic<int> callsInStart{0};
    int stopInsideAt = -1;
    ASIOError stopInsideResult = -1;
    std::atomic<bool> nullHalfSeen{false};

    // The streaming part: material per output entry, recording per input entry.
    std::vector<ASIOBufferInfo> infos;
    size_t halfBytes = 0;
    int blocks = 0;
    std::vector<Bytes> play;
    std::vector<Bytes> record;
};

extern Probe* probe;
extern IASIO* driver;
extern ASIOCallbacks testCallbacks;

bool waitForCalls(int count, double seconds = 10.0);
std::vector<std::string> readLines(const std::string& path);
// The late-switch count of the last "stop late=N worstUs=.. meanUs=.. wakeUs=..
// priority=.." line, or -1 without one.
int lateCountAtStop(const std::string& path);
// The sample position of the host's switch number `call`.
double positionAt(int call);

struct LoopbackDriver : ::testing::Test {
    static void SetUpTestSuite() {
        setTestProgramTag("loopback");
        for (const char* device :
             {"custom", "init", "create", "start", "late_strict", "late_lenient", "punctual"})
            std::remove(tracePath(device).c_str());
        installDevices();
    }

    void SetUp() override { probe = new Probe(); }

    void TearDown() override {
        if (driver != nullptr) {
            driver->stop();
            driver->disposeBuffers();
        }
        unload();
        delete probe;
        probe = nullptr;
    }

    // The list releases the object; the host's pointer to it goes too.
    static void unload() {
        if (driverLoader != nullptr)
            driverLoader->unloadCurrent();
        currentDriver = nullptr;
        driver = nullptr;
    }

    // Loaded by name through the driver list and initialised.
    IASIO* open(const char* name) {
        driver = nullptr;
        if (!loadDriverByName(name))
            return nullptr;
        driver = currentDriver;
        return driver->init(nullptr) ? driver : nullptr;
    }

    // Inputs then outputs, with the material of each output drawn from a
    // generator that reaches every bit pattern. The halves start out as junk,
    // so that a refusal must clear them.
    ASIOError create(std::vector<int32_t> inputs, std::vector<int32_t> outputs, int32_t frames,
                     int blocks = 0, int32_t sampleBytes = 4) {
        probe->infos.clear();
        for (int32_t channel : inputs)
            probe->infos.push_back(ASIOBufferInfo{ASIOTrue, channel, {probe, probe}});
        for (int32_t channel : outputs)
            probe->infos.push_back(ASIOBufferInfo{ASIOFalse, channel, {probe, probe}});
        probe->halfBytes = static_cast<size_t>(frames) * static_cast<size_t>(sampleBytes);
        probe->blocks = blocks;
        uint32_t seed = 12345;
        for (const ASIOBufferInfo& info : probe->infos) {
            Bytes bytes(probe->halfBytes * static_cast<size_t>(blocks));
            for (uint8_t& b : bytes)
                if (!info.isInput)
                    b = static_cast<uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
            (info.isInput ? probe->record : probe->play).push_back(bytes);
            (info.isInput ? probe->play : probe->record).emplace_back();
        }
        return driver->createBuffers(probe->infos.data(), static_cast<int32_t>(probe->infos.size()),
                                     frames, &testCallbacks);
    }

    // Runs until the host has seen `calls` switches, then stops the device.
    void run(int calls) {
        ASSERT_EQ(driver->start(), ASE_OK);
        EXPECT_TRUE(waitForCalls(calls));
        EXPECT_EQ(driver->stop(), ASE_OK);
    }

    // recording[t] == playback[t - latency], zeros before, frame by frame.
    void expectLooped(size_t inputEntry, size_t outputEntry, int32_t latency, int32_t bytes) {
        const Bytes& recorded = probe->record[inputEntry];
        const Bytes& played = probe->play[outputEntry];
        const size_t frames = recorded.size() / static_cast<size_t>(bytes);
        const Bytes silence(static_cast<size_t>(bytes), 0);
        size_t wrong = 0;
        for (size_t t = 0; t < frames; ++t) {
            const uint8_t* expected = t < static_cast<size_t>(latency)
                                          ? silence.data()
                                          : played.data() + (t - static_cast<size_t>(latency)) *
                                                                static_cast<size_t>(bytes);
            if (std::memcmp(recorded.data() + t * static_cast<size_t>(bytes), expected,
                            static_cast<size_t>(bytes)) != 0 &&
                wrong++ == 0)
                ADD_FAILURE() << "input entry " << inputEntry << " differs first at frame " << t;
        }
        EXPECT_EQ(wrong, 0u);
    }

    void expectSilent(size_t inputEntry) {
        for (uint8_t b : probe->record[inputEntry])
            ASSERT_EQ(b, 0);
    }

    // Switch after switch, with time information, until stopped.
    void loopAtWidth(const char* name, int32_t frames, int32_t bytes, int32_t latency) {
        ASSERT_NE(open(name), nullptr);
        const int blocks = 12;
        ASSERT_EQ(create({0, 1, 2}, {1, 0, 3}, frames, blocks, bytes), ASE_OK);
        int32_t in = 0, out = 0;
        ASSERT_EQ(driver->getLatencies(&in, &out), ASE_OK);
        EXPECT_EQ(in, frames);
        EXPECT_EQ(in + out, latency);
        run(blocks);
        expectLooped(0, 4, latency, bytes);
        expectLooped(1, 3, latency, bytes);
        expectSilent(2);
    }
};
