#include "drivers/jack/jack_settings.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

namespace {

bool openSettingsKey(const CLSID& clsid, HKEY* key) {
    char clsidText[kJackGuidTextSize];
    jackGuidText(clsid, clsidText);
    char path[128];
    std::snprintf(path, sizeof path, "%s\\%s", kJackSettingsRoot, clsidText);
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key) == ERROR_SUCCESS;
}

// A string value, terminated within capacity; false when absent, not text or too long.
bool readText(HKEY key, const char* name, char* text, DWORD capacity) {
    char value[512];
    DWORD type = 0;
    DWORD size = sizeof value - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    value[size < sizeof value ? size : sizeof value - 1] = '\0';
    if (std::strlen(value) >= capacity)
        return false;
    std::memcpy(text, value, std::strlen(value) + 1);
    return true;
}

// A channel count, as a DWORD; anything outside 0 to kJackMaxChannels is ignored.
void readCount(HKEY key, const char* name, int32_t* count) {
    uint32_t value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof value &&
        value <= static_cast<uint32_t>(kJackMaxChannels))
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
}

} // namespace

void defaultJackSettings(JackSettings* s) {
    std::memset(s, 0, sizeof *s);
    std::snprintf(s->name, sizeof s->name, "JACK");
    std::snprintf(s->clientName, sizeof s->clientName, "tandemwav");
    s->wiring = JackWiring::physical;
    s->inputs = kJackChannelsFromServer;
    s->outputs = kJackChannelsFromServer;
}

void readJackSettings(const CLSID& clsid, JackSettings* settings) {
    defaultJackSettings(settings);
    HKEY key = nullptr;
    if (!openSettingsKey(clsid, &key))
        return;
    readValues(key, settings);
    RegCloseKey(key);
}

bool jackSettingsExist(const CLSID& clsid) {
    HKEY key = nullptr;
    if (!openSettingsKey(clsid, &key))
        return false;
    RegCloseKey(key);
    return true;
}

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

void jackGuidText(const GUID& g, char text[kJackGuidTextSize]) {
    std::snprintf(text, kJackGuidTextSize, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), static_cast<unsigned>(g.Data2),
                  static_cast<unsigned>(g.Data3), g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}
