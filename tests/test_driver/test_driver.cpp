// A driver whose answers the tests choose. Each class identifier it is asked
// for reads its settings from values under HKCR\CLSID\{class}, and every call
// is appended to the log file named there, so a test can check the order of
// the calls the program makes.
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "asiohost/asio.h"
#include "drivers/common/asio_driver.h"
#include "drivers/common/call_trace.h"
#include "drivers/common/com_server.h"
#include "drivers/common/driver_settings.h"
#include "platform/guid_text.h"
#include "platform/win32api.h"

namespace {

struct Settings {
    CLSID classId;
    std::string tag = "?";
    std::string name = "Tandem Test Driver";
    std::string errorMessage = "Test driver refused to start";
    std::string log;
    std::string rates = "44100,48000";
    std::string settableRates = "44100,48000";
    uint32_t factoryResult = 0;
    uint32_t initResult = 1;
    uint32_t version = 1;
    uint32_t inputs = 8;
    uint32_t outputs = 8;
    uint32_t minSize = 64;
    uint32_t maxSize = 1024;
    uint32_t preferredSize = 256;
    uint32_t granularity = 0xFFFFFFFFu;
    uint32_t rateDelayMs = 0; // canSampleRate takes this long, for interrupt tests
};

std::string classKeyPath(const GUID& classId) {
    char text[kGuidTextSize];
    guidToText(classId, text);
    return std::string("CLSID\\") + text;
}

void readString(HKEY key, const char* name, std::string& out) {
    char text[1024];
    if (readText(key, name, text, sizeof text))
        out = text;
}

Settings readSettings(REFCLSID classId) {
    Settings settings;
    settings.classId = classId;
    HKEY key;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, classKeyPath(classId).c_str(), &key) != ERROR_SUCCESS)
        return settings;
    readString(key, "TestTag", settings.tag);
    readString(key, "TestName", settings.name);
    readString(key, "TestError", settings.errorMessage);
    readString(key, "TestLog", settings.log);
    readString(key, "TestRates", settings.rates);
    settings.settableRates = settings.rates;
    readString(key, "TestSetRates", settings.settableRates);
    readNumber(key, "TestFactory", &settings.factoryResult);
    readNumber(key, "TestInit", &settings.initResult);
    readNumber(key, "TestVersion", &settings.version);
    readNumber(key, "TestInputs", &settings.inputs);
    readNumber(key, "TestOutputs", &settings.outputs);
    readNumber(key, "TestMinSize", &settings.minSize);
    readNumber(key, "TestMaxSize", &settings.maxSize);
    readNumber(key, "TestPreferred", &settings.preferredSize);
    readNumber(key, "TestGranularity", &settings.granularity);
    readNumber(key, "TestRateDelay", &settings.rateDelayMs);
    RegCloseKey(key);
    return settings;
}

void logCall(const Settings& settings, const char* call, const char* detail = "") {
    CallTrace(settings.log.c_str()).note("%s %s%s", settings.tag.c_str(), call, detail);
}

bool rateListed(const std::string& list, double rate) {
    const char* at = list.c_str();
    while (*at != '\0') {
        char* end = nullptr;
        const double listed = std::strtod(at, &end);
        if (end == at)
            return false;
        if (listed == rate)
            return true;
        at = *end == ',' ? end + 1 : end;
    }
    return false;
}

std::string rateDetail(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, " %.0f", rate);
    return text;
}

class TestDriver final : public AsioDriverObject {
  public:
    explicit TestDriver(const Settings& settings)
        : AsioDriverObject(settings.classId), settings_(settings) {
        logCall(settings_, "create");
    }
    ~TestDriver() override { logCall(settings_, "destroy"); }

    ASIOBool STDMETHODCALLTYPE init(void*) override {
        logCall(settings_, "init");
        return settings_.initResult != 0 ? ASIOTrue : ASIOFalse;
    }
    void STDMETHODCALLTYPE getDriverName(char* name) override {
        logCall(settings_, "getDriverName");
        copyFieldText(name, 32, settings_.name.c_str());
    }
    int32_t STDMETHODCALLTYPE getDriverVersion() override {
        logCall(settings_, "getDriverVersion");
        return static_cast<int32_t>(settings_.version);
    }
    void STDMETHODCALLTYPE getErrorMessage(char* text) override {
        logCall(settings_, "getErrorMessage");
        copyFieldText(text, 124, settings_.errorMessage.c_str());
    }
    ASIOError STDMETHODCALLTYPE start() override {
        logCall(settings_, "start");
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE stop() override {
        logCall(settings_, "stop");
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE getChannels(int32_t* inputs, int32_t* outputs) override {
        logCall(settings_, "getChannels");
        *inputs = static_cast<int32_t>(settings_.inputs);
        *outputs = static_cast<int32_t>(settings_.outputs);
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE getLatencies(int32_t* input, int32_t* output) override {
        logCall(settings_, "getLatencies");
        *input = static_cast<int32_t>(settings_.preferredSize);
        *output = static_cast<int32_t>(settings_.preferredSize * 2);
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE getBufferSize(int32_t* minSize, int32_t* maxSize,
                                              int32_t* preferredSize,
                                              int32_t* granularity) override {
        logCall(settings_, "getBufferSize");
        *minSize = static_cast<int32_t>(settings_.minSize);
        *maxSize = static_cast<int32_t>(settings_.maxSize);
        *preferredSize = static_cast<int32_t>(settings_.preferredSize);
        *granularity = static_cast<int32_t>(settings_.granularity);
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE canSampleRate(ASIOSampleRate rate) override {
        logCall(settings_, "canSampleRate", rateDetail(rate).c_str());
        if (settings_.rateDelayMs != 0)
            Sleep(settings_.rateDelayMs);
        return rateListed(settings_.rates, rate) ? ASE_OK : ASE_NoClock;
    }
    ASIOError STDMETHODCALLTYPE getSampleRate(ASIOSampleRate* rate) override {
        logCall(settings_, "getSampleRate");
        *rate = rate_;
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE setSampleRate(ASIOSampleRate rate) override {
        logCall(settings_, "setSampleRate", rateDetail(rate).c_str());
        if (!rateListed(settings_.settableRates, rate))
            return ASE_NoClock;
        rate_ = rate;
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE getClockSources(ASIOClockSource*, int32_t*) override {
        logCall(settings_, "getClockSources");
        return ASE_NotPresent;
    }
    ASIOError STDMETHODCALLTYPE setClockSource(int32_t) override {
        logCall(settings_, "setClockSource");
        return ASE_NotPresent;
    }
    ASIOError STDMETHODCALLTYPE getSamplePosition(ASIOSamples* position,
                                                  ASIOTimeStamp* stamp) override {
        logCall(settings_, "getSamplePosition");
        position->hi = 0;
        position->lo = 0;
        stamp->hi = 0;
        stamp->lo = 0;
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE getChannelInfo(ASIOChannelInfo* info) override {
        logCall(settings_, "getChannelInfo");
        info->isActive = ASIOFalse;
        info->channelGroup = 0;
        info->type = ASIOSTInt32LSB;
        std::snprintf(info->name, sizeof info->name, "%s %d", info->isInput ? "In" : "Out",
                      static_cast<int>(info->channel + 1));
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE createBuffers(ASIOBufferInfo*, int32_t, int32_t,
                                              ASIOCallbacks*) override {
        logCall(settings_, "createBuffers");
        return ASE_InvalidMode;
    }
    ASIOError STDMETHODCALLTYPE disposeBuffers() override {
        logCall(settings_, "disposeBuffers");
        return ASE_InvalidMode;
    }
    ASIOError STDMETHODCALLTYPE controlPanel() override {
        logCall(settings_, "controlPanel");
        return ASE_NotPresent;
    }
    ASIOError STDMETHODCALLTYPE future(int32_t, void*) override {
        logCall(settings_, "future");
        return ASE_NotPresent;
    }
    ASIOError STDMETHODCALLTYPE outputReady() override {
        logCall(settings_, "outputReady");
        return ASE_NotPresent;
    }

  private:
    Settings settings_;
    double rate_ = 44100.0;
};

bool servesEveryClass(const CLSID&) {
    return true;
}

HRESULT createTestDriver(const CLSID& classId, REFIID riid, void** object) {
    const Settings settings = readSettings(classId);
    if (settings.factoryResult != 0) {
        logCall(settings, "refused creation");
        return static_cast<HRESULT>(settings.factoryResult);
    }
    return handOutNewObject(new (std::nothrow) TestDriver(settings), riid, object);
}

} // namespace

TANDEM_EXPORT HRESULT STDMETHODCALLTYPE DllGetClassObject(REFCLSID classId, REFIID riid,
                                                          void** object) {
    return getDriverClassObject(classId, riid, object, servesEveryClass, createTestDriver);
}
