#include "drivers/jack/jack_settings.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "drivers/common/driver_settings.h"

namespace {

// "physical", "loopback" or "none", in any letter case.
bool parseJackWiring(const char* text, JackWiring* wiring) {
    static const struct {
        const char* name;
        JackWiring wiring;
    } kNames[] = {{"physical", JackWiring::physical},
                  {"loopback", JackWiring::loopback},
                  {"none", JackWiring::none}};
    for (const auto& entry : kNames) {
        if (strcasecmp(text, entry.name) == 0) {
            *wiring = entry.wiring;
            return true;
        }
    }
    return false;
}

// A channel count; anything outside 0 to kDriverMaxChannels is ignored.
void readCount(HKEY key, const char* name, int32_t* count) {
    uint32_t value = 0;
    if (readNumber(key, name, &value) && value <= static_cast<uint32_t>(kDriverMaxChannels))
        *count = static_cast<int32_t>(value);
}

void readValues(HKEY key, JackSettings* s) {
    readText(key, "name", s->name, sizeof s->name);
    readText(key, "client", s->clientName, sizeof s->clientName);
    readText(key, "server", s->serverName, sizeof s->serverName);
    char wiring[16];
    if (readText(key, "connect", wiring, sizeof wiring))
        parseJackWiring(wiring, &s->wiring);
    readCount(key, "inputs", &s->inputs);
    readCount(key, "outputs", &s->outputs);
    readText(key, "traceFile", s->traceFile, sizeof s->traceFile);
    readNumber(key, "lateCycleAt", &s->lateCycleAt);
    readNumber(key, "lateCycleUs", &s->lateCycleUs);
}

} // namespace

void defaultJackSettings(JackSettings* s) {
    std::memset(s, 0, sizeof *s);
    std::snprintf(s->name, sizeof s->name, "JACK");
    std::snprintf(s->clientName, sizeof s->clientName, "tandemwav");
    s->wiring = JackWiring::physical;
    s->inputs = kJackChannelsFromServer;
    s->outputs = kJackChannelsFromServer;
    s->lateCycleAt = 0xFFFFFFFFu;
}

void readJackSettings(const CLSID& clsid, JackSettings* settings) {
    defaultJackSettings(settings);
    HKEY key = nullptr;
    if (!openDriverSettings(kJackSettingsRoot, clsid, &key))
        return;
    readValues(key, settings);
    RegCloseKey(key);
}

bool jackSettingsExist(const CLSID& clsid) {
    return driverSettingsExist(kJackSettingsRoot, clsid);
}
