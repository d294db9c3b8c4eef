// How one loopback device is configured: registry values under
// HKEY_LOCAL_MACHINE\SOFTWARE\tandemwav\loopback\{CLSID}, read once when the
// device object is created. Every value is optional; a missing or unreadable
// value keeps its default.
#pragma once

#include <cstdint>

#include "drivers/common/driver_contract.h"
#include "platform/win32api.h"

constexpr const char* kLoopbackSettingsRoot = "SOFTWARE\\tandemwav\\loopback";
constexpr int32_t kLoopbackMaxRates = 16;
constexpr int32_t kLoopbackMaxLatency = 1 << 22;
// A block number or channel number that is never reached: the fault is off.
constexpr uint32_t kLoopbackNever = 0xFFFFFFFFu;
constexpr int32_t kLoopbackMaxFaultStarts = 16;

// A number the device reports in place of its own, whatever it is: a driver
// that gives nonsense, for the host's tests.
struct LoopbackReportedValue {
    bool given;
    int32_t value;
};

struct LoopbackSettings {
    char name[128];
    int32_t version;
    DriverShape shape;
    double rates[kLoopbackMaxRates];
    int32_t rateCount;
    double sampleRate;
    int32_t latency;       // frames from output to input; below one buffer means one buffer
    int32_t hiddenLatency; // frames of the loop that getLatencies leaves out (under-reports)
    int32_t sampleType;
    char inputNames[24];
    char outputNames[24];
    bool freeRunning;
    bool plainBufferSwitch;
    // A host that returns after the next half's deadline loses blocks, as on
    // hardware, instead of being waited for; on unless free-running.
    bool strictTiming;
    bool reportTiming; // the stop's timing line also goes to standard error
    // The clock sleeps until this many microseconds before a deadline and
    // yields the processor until it has come: for systems whose sleeps are
    // coarser than a period (Wine's about a millisecond). 0: sleep to it.
    uint32_t spinUs;
    char traceFile[512];

    // Faults.
    bool failInit;
    char initError[kAsioErrorMessageSize];
    bool failCanSampleRate;
    bool failSetSampleRate;
    bool failCreateBuffers;
    uint32_t nullBuffer; // 1-based buffer entry whose second half stays null; 0 none
    uint32_t failChannelInfoFrom;
    bool failStart;
    int32_t message; // selector sent to the host during the run; 0 none
    uint32_t messageAt;
    uint32_t slipSkipAt;
    uint32_t slipRepeatAt;
    uint32_t badHalfAt;
    bool earlySwitch;
    bool createBuffersSwitch; // the host is called once from inside createBuffers
    bool deadDevice;
    // The switch of block lateSwitchAt returns halfway into the period after
    // lateSwitchBlocks more deadlines have passed, as a host that is late.
    uint32_t lateSwitchAt;
    uint32_t lateSwitchBlocks;
    // The starts of this device object, counted from 1, at which the block
    // faults above (message, slips, bad half, late switch) fire; none listed:
    // every start.
    uint32_t faultStarts[kLoopbackMaxFaultStarts];
    int32_t faultStartCount;
    // The call of this name (as traced, "init", "stop", ...) does not return
    // for hangMs milliseconds, or ever when hangMs is 0.
    char hangIn[32];
    uint32_t hangMs;
    // What getChannels and getBufferSize report, when given; the device itself
    // keeps to the values above.
    LoopbackReportedValue reportInputs;
    LoopbackReportedValue reportOutputs;
    LoopbackReportedValue reportBufferMin;
    LoopbackReportedValue reportBufferMax;
    LoopbackReportedValue reportBufferPreferred;
    LoopbackReportedValue reportBufferGranularity;
};

// Defaults overlaid with whatever the device's key holds.
void readLoopbackSettings(const CLSID& clsid, LoopbackSettings* settings);

// Whether the rate is one of the device's accepted rates.
bool loopbackRateListed(const LoopbackSettings& settings, double rate);

// Whether HKEY_LOCAL_MACHINE\SOFTWARE\tandemwav\loopback\{CLSID} exists.
bool loopbackSettingsExist(const CLSID& clsid);

// Whether the block faults fire at this start (counted from 1).
bool loopbackFaultsAtStart(const LoopbackSettings& settings, uint32_t start);

// Bytes one sample of an ASIO sample type takes in a buffer.
int32_t loopbackSampleBytes(int32_t sampleType);
