#include "loopback_fixture.h"

#include <cstdio>
#include <fstream>
#include <thread>

namespace {

const std::string kDefaultClass = "{8980851F-4FD3-4041-8214-576F7F967C37}";
std::string settingsKey(const std::string& clsid) {
    return "SOFTWARE\\tandemwav\\loopback\\" + clsid;
}

// One installed loopback device: catalogue entry, COM class and settings.
struct DeviceSetup {
    TestRegistry& registry;
    std::string clsid;

    DeviceSetup(TestRegistry& r, int number, const std::string& name)
        : registry(r), clsid(testClass(number)) {
        addDriver(registry, name, clsid, name);
        const std::string classKey = "CLSID\\" + clsid;
        registry.setString(Hive::ClassesRoot, classKey + "\\InprocServer32", "", testDriverPath());
        registry.setString(Hive::ClassesRoot, classKey + "\\InprocServer32", "ThreadingModel",
                           "Both");
        registry.setString(Hive::LocalMachine, settingsKey(clsid), "name", name);
    }
    DeviceSetup& number(const char* value, uint32_t number) {
        registry.setDword(Hive::LocalMachine, settingsKey(clsid), value, number);
        return *this;
    }
    DeviceSetup& text(const char* value, const std::string& text) {
        registry.setString(Hive::LocalMachine, settingsKey(clsid), value, text);
        return *this;
    }
};

} // namespace

std::string testClass(int number) {
    char text[64];
    std::snprintf(text, sizeof text, "{7E571000-0000-4000-8000-%012X}", number);
    return text;
}

std::string tracePath(const std::string& device) {
    return testFilePath("trace_" + device);
}

void installDevices() {
    TestRegistry r;
    addDriver(r, "Tandem Loopback", kDefaultClass, "Tandem Loopback");
    r.setString(Hive::ClassesRoot, "CLSID\\" + kDefaultClass + "\\InprocServer32", "",
                testDriverPath());
    DeviceSetup(r, 1, "LB Fast 16")
        .number("sampleType", 16)
        .number("freeRunning", 1)
        .number("latency", 1000);
    DeviceSetup(r, 2, "LB Fast 24")
        .number("sampleType", 17)
        .number("freeRunning", 1)
        .number("latency", 300);
    DeviceSetup(r, 3, "LB Fast 32").number("freeRunning", 1);
    DeviceSetup(r, 4, "LB Custom")
        .text("name", "LB Custom With A Name Longer Than The Field")
        .number("version", 7)
        .text("inputs", "64")
        .number("outputs", 1000)
        .number("bufferMin", 32)
        .number("bufferMax", 4096)
        .number("bufferPreferred", 512)
        .number("bufferGranularity", 0xFFFFFFFFu)
        .text("sampleRates", "22050, 44100")
        .number("sampleRate", 22050)
        .number("latency", 700)
        .text("inputNames", "Mic")
        .text("outputNames", "Spk")
        .text("traceFile", tracePath("custom"));
    DeviceSetup(r, 5, "LB Refuse Init")
        .text("failInit", "No cable")
        .text("traceFile", tracePath("init"));
    DeviceSetup(r, 6, "LB Refuse Can").number("failCanSampleRate", 1);
    DeviceSetup(r, 7, "LB Refuse Set").number("failSetSampleRate", 1);
    DeviceSetup(r, 8, "LB Fail Create")
        .number("failCreateBuffers", 1)
        .text("traceFile", tracePath("create"));
    DeviceSetup(r, 9, "LB Null Buffer").number("nullBuffer", 2).number("freeRunning", 1);
    DeviceSetup(r, 10, "LB Fail Info").number("failChannelInfoFrom", 2);
    DeviceSetup(r, 11, "LB Fail Start")
        .number("failStart", 1)
        .text("traceFile", tracePath("start"));
    DeviceSetup(r, 12, "LB Reset")
        .number("message", kAsioResetRequest)
        .number("messageAt", 4)
        .number("freeRunning", 1);
    DeviceSetup(r, 13, "LB Resync").number("message", kAsioResyncRequest).number("freeRunning", 1);
    DeviceSetup(r, 14, "LB Latency Changed")
        .number("message", kAsioLatenciesChanged)
        .number("messageAt", 2)
        .number("freeRunning", 1);
    DeviceSetup(r, 15, "LB Slips")
        .number("slipSkipAt", 3)
        .number("slipRepeatAt", 6)
        .number("freeRunning", 1);
    DeviceSetup(r, 25, "LB Slips Second")
        .number("slipSkipAt", 3)
        .text("faultStarts", "2 4")
        .number("freeRunning", 1);
    DeviceSetup(r, 16, "LB Bad Half").number("badHalfAt", 5).number("freeRunning", 1);
    DeviceSetup(r, 17, "LB Early").number("earlySwitch", 1);
    DeviceSetup(r, 18, "LB Dead").number("deadDevice", 1);
    DeviceSetup(r, 19, "LB Plain").number("plainBufferSwitch", 1).number("freeRunning", 1);
    DeviceSetup(r, 20, "LB Float")
        .number("sampleType", ASIOSTFloat32LSB)
        .number("freeRunning", 1)
        .number("latency", 100);
    for (int strict = 0; strict < 2; ++strict)
        DeviceSetup(r, 21 + strict, strict ? "LB Late Strict" : "LB Late Lenient")
            .number("strictTiming", static_cast<uint32_t>(strict))
            .number("lateSwitchAt", 4)
            .text("traceFile", tracePath(strict ? "late_strict" : "late_lenient"));
    // Wine sleeps a millisecond at least, longer than a period here.
    DeviceSetup(r, 23, "LB Punctual")
        .number("spinUs", 2000)
        .text("traceFile", tracePath("punctual"));
    DeviceSetup(r, 24, "LB Lenient").number("strictTiming", 0);
    // Listed and served by the module, but without settings nor the default class.
    addDriver(r, "LB Unconfigured", testClass(99), "LB Unconfigured");
    r.setString(Hive::ClassesRoot, "CLSID\\" + testClass(99) + "\\InprocServer32", "",
                testDriverPath());
    r.install();
}

Probe* probe = nullptr;
IASIO* driver = nullptr;

void exchangeBlock(int call, int32_t half) {
    for (size_t e = 0; e < probe->infos.size(); ++e) {
        auto* buffer = static_cast<uint8_t*>(probe->infos[e].buffers[half]);
        if (buffer == nullptr) {
            probe->nullHalfSeen = true;
            continue;
        }
        const size_t at = static_cast<size_t>(call) * probe->halfBytes;
        if (probe->infos[e].isInput && call < probe->blocks)
            std::memcpy(probe->record[e].data() + at, buffer, probe->halfBytes);
        else if (!probe->infos[e].isInput && call < probe->blocks)
            std::memcpy(buffer, probe->play[e].data() + at, probe->halfBytes);
        else if (!probe->infos[e].isInput)
            std::memset(buffer, 0, probe->halfBytes);
    }
}

ASIOTime* onSwitchTimeInfo(ASIOTime* time, int32_t half, ASIOBool) {
    const int call = probe->calls.load();
    if (probe->inStart)
        ++probe->callsInStart;
    if (call < kMaxCalls) {
        probe->halves[call] = half;
        probe->withTimeInfo[call] = time != nullptr;
        if (time != nullptr)
            probe->times[call] = *time;
        ASIOTimeStamp stamp;
        probe->positionResults[call] = driver->getSamplePosition(&probe->positions[call], &stamp);
    }
    if (half == 0 || half == 1)
        exchangeBlock(call, half);
    driver->outputReady();
    if (call == probe->stopInsideAt)
        probe->stopInsideResult = driver->stop();
    probe->calls = call + 1;
    return nullptr;
}

void onSwitch(int32_t half, ASIOBool process) {
    onSwitchTimeInfo(nullptr, half, process);
}

void onRateChange(ASIOSampleRate) {}

int32_t onMessage(int32_t selector, int32_t value, void*, double*) {
    const int n = probe->messageCount.load();
    if (n < 64) {
        probe->messages[n] = selector;
        probe->messageValues[n] = value;
        probe->callsAtMessage[n] = probe->calls.load();
        probe->messageCount = n + 1;
    }
    if (selector == kAsioSelectorSupported)
        return value == kAsioSupportsTimeInfo ? probe->answerTimeInfo : 0;
    return selector == kAsioSupportsTimeInfo ? probe->answerTimeInfo : 1;
}

ASIOCallbacks testCallbacks = {onSwitch, onRateChange, onMessage, onSwitchTimeInfo};

bool waitForCalls(int count, double seconds) {
    const auto until = SteadyClock::now() + std::chrono::duration<double>(seconds);
    while (probe->calls.load() < count && SteadyClock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return probe->calls.load() >= count;
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream file(path, std::ios::binary);
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

// The late-switch count of the last "stop late=N worstUs=.. meanUs=.. wakeUs=..
// priority=.." line, or -1 without one.
int lateCountAtStop(const std::string& path) {
    int late = -1;
    for (const std::string& line : readLines(path)) {
        double worst = -1.0;
        double mean = -1.0;
        double wake = -1.0;
        char priority[16] = {};
        int count = -1;
        if (std::sscanf(line.c_str(),
                        "stop late=%d worstUs=%lf meanUs=%lf wakeUs=%lf priority=%15s", &count,
                        &worst, &mean, &wake, priority) == 5 &&
            worst >= mean && mean >= 0.0)
            late = count;
    }
    return late;
}

double positionAt(int call) {
    return asioWideValue(probe->times[call].timeInfo.samplePosition.hi,
                         probe->times[call].timeInfo.samplePosition.lo);
}
