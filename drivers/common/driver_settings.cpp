#include "drivers/common/driver_settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/guid_text.h"

bool openDriverSettings(const char* root, const CLSID& clsid, HKEY* key) {
    char clsidText[kGuidTextSize];
    guidToText(clsid, clsidText);
    char path[128];
    std::snprintf(path, sizeof path, "%s\\%s", root, clsidText);
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key) == ERROR_SUCCESS;
}

bool driverSettingsExist(const char* root, const CLSID& clsid) {
    HKEY key = nullptr;
    if (!openDriverSettings(root, clsid, &key))
        return false;
    RegCloseKey(key);
    return true;
}

bool readText(HKEY key, const char* name, char* text, uint32_t capacity) {
    // Read aside first: a value too long for its buffer may leave that buffer
    // half written, and the target must keep its default then.
    char value[1024];
    DWORD type = 0;
    DWORD size = sizeof value - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    value[size < sizeof value ? size : sizeof value - 1] = '\0';
    const size_t length = std::strlen(value);
    if (length >= capacity)
        return false;
    std::memcpy(text, value, length + 1);
    return true;
}

bool readNumber(HKEY key, const char* name, uint32_t* value) {
    char text[32] = {};
    DWORD type = 0;
    DWORD size = sizeof text - 1;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
        ERROR_SUCCESS)
        return false;
    if (type == REG_DWORD && size == 4) {
        std::memcpy(value, text, 4);
        return true;
    }
    if (type != REG_SZ || text[0] == '\0')
        return false;
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, 10);
    if (*end != '\0' || parsed < -2147483648LL || parsed > 4294967295LL)
        return false;
    *value = static_cast<uint32_t>(parsed);
    return true;
}
