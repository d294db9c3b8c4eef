// The ASIO records, codes and driver interface, laid out as real drivers on
// Windows x64 expect them: fixed-width fields, packed to 4-byte boundaries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/win32api.h"

using ASIOBool = int32_t;
using ASIOError = int32_t;
using ASIOSampleType = int32_t;
using ASIOSampleRate = double;

enum : ASIOBool { ASIOFalse = 0, ASIOTrue = 1 };

enum : ASIOError {
    ASE_OK = 0,
    ASE_SUCCESS = 0x3f4847a0,
    ASE_NotPresent = -1000,
    ASE_HWMalfunction = -999,
    ASE_InvalidParameter = -998,
    ASE_InvalidMode = -997,
    ASE_SPNotAdvancing = -996,
    ASE_NoClock = -995,
    ASE_NoMemory = -994,
};

enum : ASIOSampleType {
    ASIOSTInt16MSB = 0,
    ASIOSTInt24MSB = 1,
    ASIOSTInt32MSB = 2,
    ASIOSTFloat32MSB = 3,
    ASIOSTFloat64MSB = 4,
    ASIOSTInt32MSB16 = 8,
    ASIOSTInt32MSB18 = 9,
    ASIOSTInt32MSB20 = 10,
    ASIOSTInt32MSB24 = 11,
    ASIOSTInt16LSB = 16,
    ASIOSTInt24LSB = 17,
    ASIOSTInt32LSB = 18,
    ASIOSTFloat32LSB = 19,
    ASIOSTFloat64LSB = 20,
    ASIOSTInt32LSB16 = 24,
    ASIOSTInt32LSB18 = 25,
    ASIOSTInt32LSB20 = 26,
    ASIOSTInt32LSB24 = 27,
    ASIOSTDSDInt8LSB1 = 32,
    ASIOSTDSDInt8MSB1 = 33,
    ASIOSTDSDInt8NER8 = 40,
};

enum : int32_t {
    kAsioSelectorSupported = 1,
    kAsioEngineVersion = 2,
    kAsioResetRequest = 3,
    kAsioBufferSizeChange = 4,
    kAsioResyncRequest = 5,
    kAsioLatenciesChanged = 6,
    kAsioSupportsTimeInfo = 7,
    kAsioSupportsTimeCode = 8,
    kAsioMMCCommand = 9,
    kAsioSupportsInputMonitor = 10,
    kAsioSupportsInputGain = 11,
    kAsioSupportsInputMeter = 12,
    kAsioSupportsOutputGain = 13,
    kAsioSupportsOutputMeter = 14,
    kAsioOverload = 15,
};

enum : uint32_t {
    kSystemTimeValid = 1,
    kSamplePositionValid = 2,
    kSampleRateValid = 4,
    kSpeedValid = 8,
    kSampleRateChanged = 16,
    kClockSourceChanged = 32,
};

enum : uint32_t {
    kTcValid = 1,
    kTcRunning = 2,
    kTcReverse = 4,
    kTcOnspeed = 8,
    kTcStill = 16,
    kTcSpeedValid = 0x100,
};

// Capacities of the text fields at the driver boundary: every name, and the
// error message of init.
constexpr size_t kAsioNameSize = 32;
constexpr size_t kAsioErrorMessageSize = 124;

#pragma pack(push, 4)

struct ASIOSamples {
    uint32_t hi;
    uint32_t lo;
};

struct ASIOTimeStamp {
    uint32_t hi;
    uint32_t lo;
};

struct ASIODriverInfo {
    int32_t asioVersion;
    int32_t driverVersion;
    char name[kAsioNameSize];
    char errorMessage[kAsioErrorMessageSize];
    void* sysRef;
};

struct ASIOClockSource {
    int32_t index;
    int32_t associatedChannel;
    int32_t associatedGroup;
    ASIOBool isCurrentSource;
    char name[kAsioNameSize];
};

struct ASIOChannelInfo {
    int32_t channel;
    ASIOBool isInput;
    ASIOBool isActive;
    int32_t channelGroup;
    ASIOSampleType type;
    char name[kAsioNameSize];
};

struct ASIOBufferInfo {
    ASIOBool isInput;
    int32_t channelNum;
    void* buffers[2];
};

struct ASIOTimeInfo {
    double speed;
    ASIOTimeStamp systemTime;
    ASIOSamples samplePosition;
    ASIOSampleRate sampleRate;
    uint32_t flags;
    char reserved[12];
};

struct ASIOTimeCode {
    double speed;
    ASIOSamples timeCodeSamples;
    uint32_t flags;
    char future[64];
};

struct ASIOTime {
    int32_t reserved[4];
    ASIOTimeInfo timeInfo;
    ASIOTimeCode timeCode;
};

struct ASIOCallbacks {
    void (*bufferSwitch)(int32_t doubleBufferIndex, ASIOBool directProcess);
    void (*sampleRateDidChange)(ASIOSampleRate sRate);
    int32_t (*asioMessage)(int32_t selector, int32_t value, void* message, double* opt);
    ASIOTime* (*bufferSwitchTimeInfo)(ASIOTime* params, int32_t doubleBufferIndex,
                                      ASIOBool directProcess);
};

#pragma pack(pop)

// The driver object. Slots 0 to 2 are IUnknown's; the order below is the
// binary contract with every driver, so it never changes.
struct IASIO : public IUnknown {
    virtual ASIOBool STDMETHODCALLTYPE init(void* sysHandle) = 0;
    virtual void STDMETHODCALLTYPE getDriverName(char* name) = 0;
    virtual int32_t STDMETHODCALLTYPE getDriverVersion() = 0;
    virtual void STDMETHODCALLTYPE getErrorMessage(char* string) = 0;
    virtual ASIOError STDMETHODCALLTYPE start() = 0;
    virtual ASIOError STDMETHODCALLTYPE stop() = 0;
    virtual ASIOError STDMETHODCALLTYPE getChannels(int32_t* numInputChannels,
                                                    int32_t* numOutputChannels) = 0;
    virtual ASIOError STDMETHODCALLTYPE getLatencies(int32_t* inputLatency,
                                                     int32_t* outputLatency) = 0;
    virtual ASIOError STDMETHODCALLTYPE getBufferSize(int32_t* minSize, int32_t* maxSize,
                                                      int32_t* preferredSize,
                                                      int32_t* granularity) = 0;
    virtual ASIOError STDMETHODCALLTYPE canSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError STDMETHODCALLTYPE getSampleRate(ASIOSampleRate* sampleRate) = 0;
    virtual ASIOError STDMETHODCALLTYPE setSampleRate(ASIOSampleRate sampleRate) = 0;
    virtual ASIOError STDMETHODCALLTYPE getClockSources(ASIOClockSource* clocks,
                                                        int32_t* numSources) = 0;
    virtual ASIOError STDMETHODCALLTYPE setClockSource(int32_t reference) = 0;
    virtual ASIOError STDMETHODCALLTYPE getSamplePosition(ASIOSamples* sPos,
                                                          ASIOTimeStamp* tStamp) = 0;
    virtual ASIOError STDMETHODCALLTYPE getChannelInfo(ASIOChannelInfo* info) = 0;
    virtual ASIOError STDMETHODCALLTYPE createBuffers(ASIOBufferInfo* bufferInfos,
                                                      int32_t numChannels, int32_t bufferSize,
                                                      ASIOCallbacks* callbacks) = 0;
    virtual ASIOError STDMETHODCALLTYPE disposeBuffers() = 0;
    virtual ASIOError STDMETHODCALLTYPE controlPanel() = 0;
    virtual ASIOError STDMETHODCALLTYPE future(int32_t selector, void* opt) = 0;
    virtual ASIOError STDMETHODCALLTYPE outputReady() = 0;
};

// What a 64-bit time or position pair means: high * 2^32 + low.
inline double asioWideValue(uint32_t hi, uint32_t lo) {
    return static_cast<double>(hi) * 4294967296.0 + static_cast<double>(lo);
}

// Fills a text field of fixed capacity, such as the records' names and error
// messages, with as much of the text as fits, always terminated.
inline void copyFieldText(char* field, size_t capacity, const char* text) {
    size_t length = std::strlen(text);
    if (length >= capacity)
        length = capacity - 1;
    std::memcpy(field, text, length);
    field[length] = '\0';
}

static_assert(sizeof(ASIOSamples) == 8 && sizeof(ASIOTimeStamp) == 8, "64-bit pairs");
static_assert(sizeof(ASIODriverInfo) == 4 + 4 + 32 + 124 + sizeof(void*), "ASIODriverInfo");
static_assert(offsetof(ASIODriverInfo, sysRef) == 164, "ASIODriverInfo.sysRef");
static_assert(sizeof(ASIOClockSource) == 48, "ASIOClockSource");
static_assert(sizeof(ASIOChannelInfo) == 52, "ASIOChannelInfo");
static_assert(sizeof(ASIOBufferInfo) == 8 + 2 * sizeof(void*), "ASIOBufferInfo");
static_assert(sizeof(ASIOTimeInfo) == 48, "ASIOTimeInfo");
static_assert(sizeof(ASIOTimeCode) == 84, "ASIOTimeCode");
static_assert(sizeof(ASIOTime) == 148, "ASIOTime");
static_assert(offsetof(ASIOTime, timeInfo) == 16 && offsetof(ASIOTime, timeCode) == 64,
              "ASIOTime members");
static_assert(sizeof(ASIOCallbacks) == 4 * sizeof(void*), "ASIOCallbacks");
