// In-process COM: a class is created from the shared object that its
// InprocServer32 key names, through that object's DllGetClassObject.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "platform/guid_text.h"
#include "platform/posix_win32.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

using GetClassObject = HRESULT (*)(REFCLSID clsid, REFIID riid, void** object);

int hexDigit(WCHAR c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; false on any other character.
bool readHex(const WCHAR* text, int pos, int digits, uint32_t* value) {
    *value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = hexDigit(text[pos + i]);
        if (digit < 0)
            return false;
        *value = *value * 16u + static_cast<uint32_t>(digit);
    }
    return true;
}

bool parseGuid(const WCHAR* text, GUID* guid) {
    static const int kDashes[] = {9, 14, 19, 24};
    for (int i = 0; i < 38; ++i)
        if (text[i] == 0)
            return false;
    if (text[0] != '{' || text[37] != '}' || text[38] != 0)
        return false;
    for (int dash : kDashes)
        if (text[dash] != '-')
            return false;
    uint32_t a, b, c, byte;
    if (!readHex(text, 1, 8, &a) || !readHex(text, 10, 4, &b) || !readHex(text, 15, 4, &c))
        return false;
    guid->Data1 = a;
    guid->Data2 = static_cast<uint16_t>(b);
    guid->Data3 = static_cast<uint16_t>(c);
    static const int kBytes[] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!readHex(text, kBytes[i], 2, &byte))
            return false;
        guid->Data4[i] = static_cast<uint8_t>(byte);
    }
    return true;
}

bool readServerPath(REFCLSID clsid, char* path, DWORD capacity) {
    char clsidText[kGuidTextSize];
    guidToText(clsid, clsidText);
    char keyPath[64];
    std::snprintf(keyPath, sizeof keyPath, "CLSID\\%s\\InprocServer32", clsidText);
    HKEY key;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, keyPath, &key) != ERROR_SUCCESS)
        return false;
    DWORD size = capacity - 1;
    const LONG result =
        RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return false;
    path[size] = '\0';
    return path[0] != '\0';
}

} // namespace

HRESULT CoInitialize(LPVOID) {
    return S_OK;
}

HRESULT CLSIDFromString(const WCHAR* text, CLSID* clsid) {
    if (clsid == nullptr)
        return E_INVALIDARG;
    std::memset(clsid, 0, sizeof *clsid);
    if (text == nullptr)
        return S_OK;
    GUID parsed;
    if (!parseGuid(text, &parsed))
        return CO_E_CLASSSTRING;
    *clsid = parsed;
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    char path[1024];
    if ((context & CLSCTX_INPROC_SERVER) == 0 || !readServerPath(clsid, path, sizeof path))
        return REGDB_E_CLASSNOTREG;
    // Never closed: a driver's own threads may run its code until the process ends.
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return CO_E_DLLNOTFOUND;
    auto getClassObject = reinterpret_cast<GetClassObject>(dlsym(library, "DllGetClassObject"));
    if (getClassObject == nullptr)
        return CO_E_ERRORINDLL;
    IClassFactory* factory = nullptr;
    HRESULT result = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (result != S_OK)
        return result;
    if (factory == nullptr)
        return E_POINTER;
    result = factory->CreateInstance(outer, riid, object);
    factory->Release();
    return result;
}
