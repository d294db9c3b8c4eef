// Self-registration for regsvr32: the default device and every device that
// has a settings key are entered into the ASIO catalogue and as COM classes
// served by this DLL.
#include <olectl.h>

#include <cstdio>
#include <cstring>

#include "drivers/loopback/loopback_guid.h"
#include "drivers/loopback/loopback_settings.h"
#include "platform/guid_text.h"
#include "platform/win32api.h"

TANDEM_EXPORT HRESULT STDMETHODCALLTYPE DllRegisterServer();
TANDEM_EXPORT HRESULT STDMETHODCALLTYPE DllUnregisterServer();

namespace {

using DeviceAction = bool (*)(const CLSID& clsid, const LoopbackSettings& settings,
                              const char* modulePath);

bool modulePath(char* path, DWORD capacity) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&DllRegisterServer), &module))
        return false;
    const DWORD length = GetModuleFileNameA(module, path, capacity);
    return length > 0 && length < capacity;
}

bool setText(HKEY root, const char* path, const char* name, const char* text) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                       static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

void classPaths(const CLSID& clsid, char* classPath, char* serverPath, size_t capacity) {
    char text[kGuidTextSize];
    guidToText(clsid, text);
    std::snprintf(classPath, capacity, "CLSID\\%s", text);
    std::snprintf(serverPath, capacity, "CLSID\\%s\\InprocServer32", text);
}

bool catalogPath(const LoopbackSettings& settings, char* path, size_t capacity) {
    // A backslash would make the name a path of several keys.
    if (settings.name[0] == '\0' || std::strchr(settings.name, '\\') != nullptr)
        return false;
    std::snprintf(path, capacity, "SOFTWARE\\ASIO\\%s", settings.name);
    return true;
}

bool registerDevice(const CLSID& clsid, const LoopbackSettings& settings, const char* module) {
    char classPath[96], serverPath[96], asioPath[160], clsidText[kGuidTextSize];
    if (!catalogPath(settings, asioPath, sizeof asioPath))
        return false;
    classPaths(clsid, classPath, serverPath, sizeof classPath);
    guidToText(clsid, clsidText);
    return setText(HKEY_CLASSES_ROOT, classPath, nullptr, settings.name) &&
           setText(HKEY_CLASSES_ROOT, serverPath, nullptr, module) &&
           setText(HKEY_CLASSES_ROOT, serverPath, "ThreadingModel", "Both") &&
           setText(HKEY_LOCAL_MACHINE, asioPath, "CLSID", clsidText) &&
           setText(HKEY_LOCAL_MACHINE, asioPath, "Description", settings.name);
}

// Only brace-form text counts: the system parser would also look up a ProgID.
bool guidFromText(const char* text, CLSID* clsid) {
    WCHAR wide[kGuidTextSize];
    return text[0] == '{' && MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kGuidTextSize) != 0 &&
           CLSIDFromString(wide, clsid) == S_OK;
}

// Another driver may have been installed under the same name since.
bool catalogEntryIsOurs(const char* asioPath, const CLSID& clsid) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, asioPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    char text[64] = {};
    DWORD size = sizeof text - 1;
    CLSID listed = {};
    const bool ours = RegQueryValueExA(key, "CLSID", nullptr, nullptr,
                                       reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS &&
                      guidFromText(text, &listed) && listed == clsid;
    RegCloseKey(key);
    return ours;
}

bool unregisterDevice(const CLSID& clsid, const LoopbackSettings& settings, const char*) {
    char classPath[96], serverPath[96], asioPath[160];
    if (catalogPath(settings, asioPath, sizeof asioPath) && catalogEntryIsOurs(asioPath, clsid))
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, asioPath);
    classPaths(clsid, classPath, serverPath, sizeof classPath);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, serverPath);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, classPath);
    return true;
}

bool visitDevice(const CLSID& clsid, DeviceAction action, const char* module) {
    LoopbackSettings settings;
    readLoopbackSettings(clsid, &settings);
    return action(clsid, settings, module);
}

// The default device, then every configured one; all are visited even when one fails.
bool forEachDevice(DeviceAction action, const char* module) {
    bool allDone = visitDevice(kLoopbackDefaultClsid, action, module);
    HKEY root = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLoopbackSettingsRoot, 0, KEY_READ, &root) !=
        ERROR_SUCCESS)
        return allDone;
    char name[128];
    for (DWORD index = 0; RegEnumKeyA(root, index, name, sizeof name) == ERROR_SUCCESS; ++index) {
        CLSID clsid = {};
        if (guidFromText(name, &clsid) && clsid != kLoopbackDefaultClsid)
            allDone = visitDevice(clsid, action, module) && allDone;
    }
    RegCloseKey(root);
    return allDone;
}

} // namespace

TANDEM_EXPORT HRESULT STDMETHODCALLTYPE DllRegisterServer() {
    char path[MAX_PATH];
    if (!modulePath(path, sizeof path))
        return SELFREG_E_CLASS;
    return forEachDevice(registerDevice, path) ? S_OK : SELFREG_E_CLASS;
}

TANDEM_EXPORT HRESULT STDMETHODCALLTYPE DllUnregisterServer() {
    return forEachDevice(unregisterDevice, nullptr) ? S_OK : SELFREG_E_CLASS;
}
