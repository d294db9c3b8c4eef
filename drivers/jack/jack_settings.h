// How one JACK device is configured: registry values under
// HKEY_LOCAL_MACHINE\SOFTWARE\tandemwav\jack\{CLSID}, read once when the
// device object is created. Every value is optional; a missing or unreadable
// value keeps its default.
#pragma once

#include <cstdint>

#include "drivers/common/driver_contract.h"
#include "platform/win32api.h"

constexpr const char* kJackSettingsRoot = "SOFTWARE\\tandemwav\\jack";
// Channel counts not given: the server's physical ports, or this many without them.
constexpr int32_t kJackDefaultChannels = 8;
constexpr int32_t kJackChannelsFromServer = -1;

// Where the driver's ports are connected once its buffers exist.
enum class JackWiring {
    physical, // out_N to the N-th physical playback port, in_N from the N-th capture port
    loopback, // out_N to in_N of the driver itself
    none,     // left for the user to connect
};

struct JackSettings {
    char name[kAsioNameSize]; // the driver name the host sees
    char clientName[64];      // JACK client name; JACK makes it unique if taken
    char serverName[64];      // empty: $JACK_DEFAULT_SERVER, else "default"
    JackWiring wiring;
    int32_t inputs; // kJackChannelsFromServer or 0 to kDriverMaxChannels
    int32_t outputs;
    char traceFile[512]; // empty: no call trace
    // The cycle of block lateCycleAt (counted from 0 at start) sleeps this
    // long before it returns, as a host too slow for JACK would; 0 never.
    uint32_t lateCycleAt;
    uint32_t lateCycleUs;
};

void defaultJackSettings(JackSettings* settings);

// Defaults overlaid with whatever the device's key holds.
void readJackSettings(const CLSID& clsid, JackSettings* settings);

// Whether HKEY_LOCAL_MACHINE\SOFTWARE\tandemwav\jack\{CLSID} exists.
bool jackSettingsExist(const CLSID& clsid);
