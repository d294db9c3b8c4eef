#include "catalogue_walk.h"

#include <cstring>

#include "platform/file_system.h"

namespace {

constexpr DWORD kValueCapacity = 256;
constexpr DWORD kServerPathCapacity = 512;
constexpr int kWideCapacity = 100;
constexpr size_t kDriverNameCapacity = 128;
// Registry key names have at most 255 characters: the walk reads past the
// subkey that stops the list, to say what the list does not see.
constexpr DWORD kAnyKeyNameCapacity = 256;

// A string value that fits the buffer with its terminator; the value's type is
// not checked, and data stored without a terminator gets one if there is room.
bool readString(HKEY key, const char* valueName, char* buffer, DWORD capacity) {
    DWORD size = capacity;
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS)
        return false;
    if (size == 0 || buffer[size - 1] != '\0') {
        if (size >= capacity)
            return false;
        buffer[size] = '\0';
    }
    return true;
}

// The text is cut to what the field holds.
void copyText(char* field, size_t capacity, const char* text) {
    const size_t length = strnlen(text, capacity - 1);
    std::memcpy(field, text, length);
    field[length] = '\0';
}

// Looked for as the system loads a module (a name without a folder on the
// loader's search path). path gets the file's full path, absolute and without
// "." or ".." steps: the one the system found where its field of 127
// characters holds it, else the path given when that names a folder.
bool moduleExists(char* path) {
    OFSTRUCT info;
    if (OpenFile(path, &info, OF_EXIST) == HFILE_ERROR)
        return false;
    const size_t length = strnlen(info.szPathName, sizeof info.szPathName);
    if (length > 0 && length < sizeof info.szPathName - 1)
        copyText(path, kServerPathCapacity, fullPathName(info.szPathName).c_str());
    else if (std::strpbrk(path, "/\\") != nullptr)
        copyText(path, kServerPathCapacity, fullPathName(path).c_str());
    return true;
}

CatalogueStatus readServer(HKEY clsidKey, const char* classKeyName, char* serverPath) {
    HKEY classKey;
    if (RegOpenKeyExA(clsidKey, classKeyName, 0, KEY_READ, &classKey) != ERROR_SUCCESS)
        return CatalogueStatus::NoServerPath;
    CatalogueStatus status = CatalogueStatus::NoServerPath;
    HKEY serverKey;
    if (RegOpenKeyExA(classKey, "InprocServer32", 0, KEY_READ, &serverKey) == ERROR_SUCCESS) {
        if (readString(serverKey, nullptr, serverPath, kServerPathCapacity))
            status = moduleExists(serverPath) ? CatalogueStatus::Listed
                                              : CatalogueStatus::ServerFileMissing;
        else
            serverPath[0] = '\0';
        RegCloseKey(serverKey);
    }
    RegCloseKey(classKey);
    return status;
}

// Walks HKCR\clsid rather than opening the class by name, so that the match
// ignores letter case on every registry: the first class key whose name
// equals the text in any letter case.
CatalogueStatus findServer(const char* classText, char* serverPath) {
    char wanted[kValueCapacity];
    copyText(wanted, sizeof wanted, classText);
    CharLowerBuffA(wanted, static_cast<DWORD>(std::strlen(wanted)));
    HKEY clsidKey;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, "clsid", &clsidKey) != ERROR_SUCCESS)
        return CatalogueStatus::ClassNotRegistered;
    CatalogueStatus status = CatalogueStatus::ClassNotRegistered;
    char name[kServerPathCapacity];
    for (DWORD index = 0; RegEnumKeyA(clsidKey, index, name, sizeof name) == ERROR_SUCCESS;
         ++index) {
        CharLowerBuffA(name, static_cast<DWORD>(std::strlen(name)));
        if (std::strcmp(name, wanted) == 0) {
            status = readServer(clsidKey, name, serverPath);
            break;
        }
    }
    RegCloseKey(clsidKey);
    return status;
}

// False, leaving classId alone, when the text is not a class identifier or is
// too long for the conversion.
bool parseClassId(const char* text, CLSID* classId) {
    WCHAR wide[kWideCapacity];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kWideCapacity) == 0)
        return false;
    CLSID parsed;
    if (CLSIDFromString(wide, &parsed) != S_OK)
        return false;
    *classId = parsed;
    return true;
}

struct KeyTexts {
    char classText[kValueCapacity];
    char displayName[kDriverNameCapacity];
    char serverPath[kServerPathCapacity];
};

void readKey(HKEY asioKey, CatalogueKey& key, KeyTexts& texts) {
    HKEY driverKey;
    if (RegOpenKeyExA(asioKey, key.subKey, 0, KEY_READ, &driverKey) != ERROR_SUCCESS)
        return;
    if (readString(driverKey, "clsid", texts.classText, sizeof texts.classText)) {
        key.classParses = parseClassId(texts.classText, &key.classId);
        key.status = findServer(texts.classText, texts.serverPath);
    } else {
        texts.classText[0] = '\0';
        key.status = CatalogueStatus::NoClassValue;
    }
    char value[kValueCapacity];
    const bool described = readString(driverKey, "description", value, sizeof value);
    copyText(texts.displayName, sizeof texts.displayName, described ? value : key.subKey);
    RegCloseKey(driverKey);
}

} // namespace

void walkCatalogue(CatalogueVisit visit, void* context) {
    HKEY asioKey;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\asio", &asioKey) != ERROR_SUCCESS)
        return;
    char name[kAnyKeyNameCapacity];
    bool ended = false;
    for (DWORD index = 0; RegEnumKeyA(asioKey, index, name, sizeof name) == ERROR_SUCCESS;
         ++index) {
        KeyTexts texts{};
        CatalogueKey key{name,
                         CatalogueStatus::SubKeyUnreadable,
                         texts.classText,
                         false,
                         CLSID{},
                         texts.displayName,
                         texts.serverPath};
        readKey(asioKey, key, texts);
        if (ended) {
            key.status = CatalogueStatus::NotReached;
        } else if (std::strlen(name) > kLongestListedSubKey) {
            key.status = CatalogueStatus::EndsCatalogue;
            ended = true;
        }
        visit(key, context);
    }
    RegCloseKey(asioKey);
}
