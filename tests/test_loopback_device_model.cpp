// The device under test inside the loopback driver: what a host plays comes
// back shaped exactly as the device's dut settings say, its noise goes on
// across restarts, a latency sequence moves the loop from start to start, and
// a malformed value refuses init.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "asiohost/asio.h"
#include "asiohost/asio_calls.h"
#include "asiohost/driver_loader.h"
#include "host_fixture.h"

namespace {

using Samples = std::vector<int32_t>;

std::string modelClass(int number) {
    char text[64];
    std::snprintf(text, sizeof text, "{7E572000-0000-4000-8000-%012X}", number);
    return text;
}

struct Device {
    TestRegistry& registry;
    std::string key;

    Device(TestRegistry& r, int number, const std::string& name)
        : registry(r), key("SOFTWARE\\tandemwav\\loopback\\" + modelClass(number)) {
        addDriver(r, name, modelClass(number), name);
        r.setString(Hive::ClassesRoot, "CLSID\\" + modelClass(number) + "\\InprocServer32", "",
                    testDriverPath());
        r.setString(Hive::LocalMachine, key, "name", name);
        r.setDword(Hive::LocalMachine, key, "freeRunning", 1);
    }
    Device& text(const char* value, const std::string& text) {
        registry.setString(Hive::LocalMachine, key, value, text);
        return *this;
    }
};

void installDevices() {
    TestRegistry r;
    Device(r, 1, "LB Model")
        .text("latency", "300")
        .text("dutPolynomial", "1 0.25 0.125")
        .text("dutFilter", "0.5, 0.3 ,-0.1 0.05")
        .text("dutCrosstalkDb", "-50");
    Device(r, 2, "LB Noise").text("dutNoiseDb", "-40");
    Device(r, 3, "LB Bad Filter").text("dutFilter", "0.5 0.3x");
    Device(r, 4, "LB Sequence").text("latencySequence", "64 200 64");
    Device(r, 5, "LB Routing")
        .text("inputs", "3")
        .text("outputs", "2")
        .text("latency", "300")
        .text("inputSources", "1 1 2")
        .text("dutInputs", "2")
        .text("dutFilter", "0.5 0.25")
        .text("dutInputDelays", "0 5 0")
        .text("dutCrosstalkDb", "-50")
        .text("interfaceFilter", "1 -0.5");
    Device(r, 6, "LB Sources Short").text("inputs", "3").text("inputSources", "1 2");
    Device(r, 7, "LB Source Missing")
        .text("inputs", "2")
        .text("outputs", "2")
        .text("inputSources", "1 3");
    Device(r, 8, "LB Dut Input Missing").text("inputs", "2").text("dutInputs", "3");
    r.install();
}

constexpr int32_t kFrames = 64;
constexpr double kFullScale = 2147483648.0;

// The host: plays its material on the output entries, records the inputs.
struct Host {
    std::vector<ASIOBufferInfo> infos;
    std::vector<Samples> play;   // per output entry
    std::vector<Samples> record; // per input entry
    int blocks = 0;
    std::atomic<int> calls{0};
};

Host* host = nullptr;

void onSwitch(int32_t half, ASIOBool) {
    const int call = host->calls.load();
    const size_t at = static_cast<size_t>(call) * kFrames;
    size_t in = 0, out = 0;
    for (const ASIOBufferInfo& info : host->infos) {
        auto* buffer = static_cast<int32_t*>(info.buffers[half]);
        if (info.isInput && call < host->blocks)
            std::memcpy(host->record[in].data() + at, buffer, kFrames * 4);
        else if (!info.isInput)
            for (int32_t t = 0; t < kFrames; ++t)
                buffer[t] = call < host->blocks ? host->play[out][at + static_cast<size_t>(t)] : 0;
        (info.isInput ? in : out) += 1;
    }
    host->calls = call + 1;
}

ASIOTime* onSwitchTimeInfo(ASIOTime*, int32_t half, ASIOBool process) {
    onSwitch(half, process);
    return nullptr;
}
void onRateChange(ASIOSampleRate) {}
int32_t onMessage(int32_t, int32_t, void*, double*) {
    return 0;
}
ASIOCallbacks callbacks = {onSwitch, onRateChange, onMessage, onSwitchTimeInfo};

// Material of both signs up to half of full scale, where the cubic stays
// well inside full scale.
Samples material(size_t frames, uint32_t seed) {
    Samples samples(frames);
    for (int32_t& s : samples)
        s = static_cast<int32_t>((seed = seed * 1664525u + 1013904223u)) / 2;
    return samples;
}

double rmsDb(const Samples& samples) {
    double sum = 0.0;
    for (int32_t s : samples)
        sum += (s / kFullScale) * (s / kFullScale);
    return 10.0 * std::log10(sum / static_cast<double>(samples.size()));
}

struct LoopbackDeviceModel : ::testing::Test {
    IASIO* driver = nullptr;

    static void SetUpTestSuite() {
        setTestProgramTag("loopback_model");
        installDevices();
    }
    void SetUp() override { host = new Host(); }
    void TearDown() override {
        unload();
        delete host;
        host = nullptr;
    }
    void unload() {
        if (driver != nullptr) {
            driver->stop();
            driver->disposeBuffers();
        }
        if (driverLoader != nullptr)
            driverLoader->unloadCurrent();
        currentDriver = nullptr;
        driver = nullptr;
    }
    bool open(const char* name) {
        if (!loadDriverByName(name))
            return false;
        driver = currentDriver;
        return driver->init(nullptr) == ASIOTrue;
    }
    void create(int32_t inputs, int32_t outputs, int blocks) {
        host->blocks = blocks;
        const size_t frames = static_cast<size_t>(blocks) * kFrames;
        for (int32_t i = 0; i < inputs; ++i) {
            host->infos.push_back(ASIOBufferInfo{ASIOTrue, i, {nullptr, nullptr}});
            host->record.emplace_back(frames);
        }
        for (int32_t o = 0; o < outputs; ++o) {
            host->infos.push_back(ASIOBufferInfo{ASIOFalse, o, {nullptr, nullptr}});
            host->play.push_back(material(frames, 77u + static_cast<uint32_t>(o)));
        }
        ASSERT_EQ(driver->createBuffers(host->infos.data(),
                                        static_cast<int32_t>(host->infos.size()), kFrames,
                                        &callbacks),
                  ASE_OK);
    }
    void run() {
        host->calls = 0;
        ASSERT_EQ(driver->start(), ASE_OK);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (host->calls.load() < host->blocks + 2 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(driver->stop(), ASE_OK);
        ASSERT_GE(host->calls.load(), host->blocks);
    }
};

// y = x + 0.25 x^2 + 0.125 x^3, then the FIR; every other output at -50 dB.
std::vector<double> shaped(const Samples& played) {
    const double taps[] = {0.5, 0.3, -0.1, 0.05};
    std::vector<double> y(played.size()), out(played.size(), 0.0);
    for (size_t t = 0; t < played.size(); ++t) {
        const double x = played[t] / kFullScale;
        y[t] = x + 0.25 * x * x + 0.125 * x * x * x;
    }
    for (size_t t = 0; t < played.size(); ++t)
        for (size_t k = 0; k < 4 && k <= t; ++k)
            out[t] += taps[k] * y[t - k];
    return out;
}

TEST_F(LoopbackDeviceModel, PolynomialFilterAndCrosstalkComeBackAsComputed) {
    ASSERT_TRUE(open("LB Model"));
    create(3, 2, 40);
    const int32_t latency = 300;
    const double leak = std::pow(10.0, -50.0 / 20.0);
    const std::vector<double> first = shaped(host->play[0]), second = shaped(host->play[1]);
    for (int pass = 0; pass < 2; ++pass) {
        run();
        // A restart forgets the filters: the second run repeats the first.
        for (size_t in = 0; in < 3; ++in) {
            size_t wrong = 0;
            for (size_t t = 0; t < host->record[in].size(); ++t) {
                const size_t from = t - static_cast<size_t>(latency);
                double expected = 0.0;
                if (t >= static_cast<size_t>(latency))
                    expected = in == 0   ? first[from] + leak * second[from]
                               : in == 1 ? second[from] + leak * first[from]
                                         : leak * (first[from] + second[from]);
                if (std::fabs(host->record[in][t] / kFullScale - expected) > 2.0 / kFullScale &&
                    wrong++ == 0)
                    ADD_FAILURE() << "pass " << pass << " input " << in << " differs at frame " << t
                                  << ": " << host->record[in][t] / kFullScale << " against "
                                  << expected;
            }
            EXPECT_EQ(wrong, 0u);
        }
    }
}

// Seeded once per driver: a second start meets fresh noise, a new driver
// instance repeats the first one's. The loop's first frames, before anything
// played comes back, are noise too.
TEST_F(LoopbackDeviceModel, NoiseHasItsLevelAndGoesOnAcrossRestarts) {
    std::vector<Samples> runs;
    for (int instance = 0; instance < 2; ++instance) {
        ASSERT_TRUE(open("LB Noise"));
        create(2, 0, 40);
        for (int start = 0; start < 2; ++start) {
            run();
            for (const Samples& input : host->record) {
                EXPECT_NEAR(rmsDb(input), -40.0, 0.5);
                EXPECT_NEAR(rmsDb(Samples(input.begin(), input.begin() + kFrames)), -40.0, 3.0);
            }
            EXPECT_NE(host->record[0], host->record[1]);
            runs.push_back(host->record[0]);
        }
        unload();
        host->infos.clear();
        host->record.clear();
    }
    EXPECT_NE(runs[0], runs[1]);
    EXPECT_EQ(runs[0], runs[2]);
}

TEST_F(LoopbackDeviceModel, MalformedValueRefusesInitNamingIt) {
    const std::pair<const char*, const char*> refusals[] = {
        {"LB Bad Filter", "Malformed dutFilter: \"0.5 0.3x\""},
        {"LB Sources Short", "Malformed inputSources: 3 channels from 1 to 8, one per input"},
        {"LB Source Missing", "Malformed inputSources: 2 channels from 1 to 2, one per input"},
        {"LB Dut Input Missing", "Malformed dutInputs: at most 2 channels from 1 to 2"}};
    for (const auto& [name, expected] : refusals) {
        ASSERT_TRUE(loadDriverByName(name));
        EXPECT_EQ(currentDriver->init(nullptr), ASIOFalse);
        char message[124] = {};
        currentDriver->getErrorMessage(message);
        EXPECT_STREQ(message, expected);
        unload();
    }
}

// The filter applied to a whole signal from silence.
std::vector<double> filtered(const std::vector<double>& x, const std::vector<double>& taps) {
    std::vector<double> y(x.size(), 0.0);
    for (size_t t = 0; t < x.size(); ++t)
        for (size_t k = 0; k < taps.size() && k <= t; ++k)
            y[t] += taps[k] * x[t - k];
    return y;
}

std::vector<double> asDouble(const Samples& played) {
    std::vector<double> x;
    for (int32_t s : played)
        x.push_back(s / kFullScale);
    return x;
}

std::vector<double> delayed(const std::vector<double>& x, size_t frames) {
    std::vector<double> y(x.size(), 0.0);
    std::copy(x.begin(), x.end() - static_cast<std::ptrdiff_t>(frames),
              y.begin() + static_cast<std::ptrdiff_t>(frames));
    return y;
}

// Inputs 1 and 2 record output 1, input 3 output 2; only input 2 passes the
// device under test and its time of flight; every input hears the other
// output at -50 dB (through the device under test where it does) and ends in
// the interface's filter.
TEST_F(LoopbackDeviceModel, InputsRecordTheirSourcesInTheDevicesOrder) {
    ASSERT_TRUE(open("LB Routing"));
    create(3, 2, 40);
    run();
    const double leak = std::pow(10.0, -50.0 / 20.0);
    const std::vector<double> dut = {0.5, 0.25}, interfaceTaps = {1.0, -0.5};
    const std::vector<double> a = asDouble(host->play[0]), b = asDouble(host->play[1]);
    const std::vector<double> fa = filtered(a, dut), fb = filtered(b, dut);
    std::vector<std::vector<double>> expected(3, std::vector<double>(a.size()));
    const std::vector<double> late = delayed(fa, 5);
    for (size_t t = 0; t < a.size(); ++t) {
        expected[0][t] = a[t] + leak * b[t];
        expected[1][t] = late[t] + leak * fb[t];
        expected[2][t] = b[t] + leak * a[t];
    }
    for (size_t in = 0; in < 3; ++in) {
        const std::vector<double> heard = delayed(filtered(expected[in], interfaceTaps), 300);
        size_t wrong = 0;
        for (size_t t = 0; t < heard.size(); ++t)
            if (std::fabs(host->record[in][t] / kFullScale - heard[t]) > 2.0 / kFullScale &&
                wrong++ == 0)
                ADD_FAILURE() << "input " << in << " differs at frame " << t;
        EXPECT_EQ(wrong, 0u);
    }
}

// Each start takes the next latency, repeating from the first; the latencies
// reported stay those of the device's configured loop.
TEST_F(LoopbackDeviceModel, LatencySequenceMovesTheLoopFromStartToStart) {
    ASSERT_TRUE(open("LB Sequence"));
    create(1, 1, 8);
    int32_t in = 0, out = 0;
    ASSERT_EQ(driver->getLatencies(&in, &out), ASE_OK);
    EXPECT_EQ(in + out, kFrames);
    for (int32_t expected : {64, 200, 64, 64, 200}) {
        run();
        size_t onset = 0;
        while (onset < host->record[0].size() && host->record[0][onset] == 0)
            ++onset;
        EXPECT_EQ(onset, static_cast<size_t>(expected));
        EXPECT_EQ(host->record[0][onset], host->play[0][0]);
    }
}

} // namespace
