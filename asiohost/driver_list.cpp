#include "asiohost/driver_list.h"

#include <cstring>
#include <new>

#include "catalogue_values.h"

namespace {

int32_t checkServerOf(HKEY clsidKey, const char* classKeyName) {
    HKEY classKey;
    if (RegOpenKeyExA(clsidKey, classKeyName, 0, KEY_READ, &classKey) != ERROR_SUCCESS)
        return -1;
    int32_t result = -1;
    HKEY serverKey;
    if (RegOpenKeyExA(classKey, "InprocServer32", 0, KEY_READ, &serverKey) == ERROR_SUCCESS) {
        char path[kServerPathCapacity];
        if (readCatalogueString(serverKey, nullptr, path, sizeof path) && catalogueFileExists(path))
            result = 0;
        RegCloseKey(serverKey);
    }
    RegCloseKey(classKey);
    return result;
}

// Walks HKCR\clsid rather than opening the class by name, so that the match
// ignores letter case on every registry. Lower-cases classText in place.
int32_t findServer(char* classText) {
    lowerCatalogueText(classText);
    HKEY clsidKey;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, "clsid", &clsidKey) != ERROR_SUCCESS)
        return -1;
    int32_t result = -1;
    char name[kServerPathCapacity];
    for (DWORD index = 0; RegEnumKeyA(clsidKey, index, name, sizeof name) == ERROR_SUCCESS;
         ++index) {
        lowerCatalogueText(name);
        if (std::strcmp(name, classText) == 0) {
            result = checkServerOf(clsidKey, name);
            break;
        }
    }
    RegCloseKey(clsidKey);
    return result;
}

// Leaves classId all zero when the text is not a class identifier, or is too
// long for the conversion.
void parseClassId(const char* text, CLSID* classId) {
    WCHAR wide[kWideCapacity];
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kWideCapacity) == 0)
        return;
    CLSID parsed;
    if (CLSIDFromString(wide, &parsed) == S_OK)
        *classId = parsed;
}

// A longer description is cut to what the field holds.
void copyName(char (&driverName)[128], const char* text) {
    size_t length = std::strlen(text);
    if (length > sizeof driverName - 1)
        length = sizeof driverName - 1;
    std::memcpy(driverName, text, length);
    driverName[length] = '\0';
}

// Null when the subkey names no class whose server file exists, or when
// memory runs out; such a subkey is simply not listed.
DriverEntry* makeEntry(HKEY driverKey, const char* subKeyName, int32_t number) {
    char value[kValueCapacity];
    if (!readCatalogueString(driverKey, "clsid", value, sizeof value) || findServer(value) != 0)
        return nullptr;
    auto* entry = new (std::nothrow) DriverEntry();
    if (entry == nullptr)
        return nullptr;
    entry->number = number;
    parseClassId(value, &entry->classId);
    if (readCatalogueString(driverKey, "description", value, sizeof value))
        copyName(entry->driverName, value);
    else
        copyName(entry->driverName, subKeyName);
    return entry;
}

} // namespace

DriverList::DriverList() : head(nullptr), count_(0) {
    HKEY asioKey;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\asio", &asioKey) == ERROR_SUCCESS) {
        char name[kSubKeyNameCapacity];
        for (DWORD index = 0; RegEnumKeyA(asioKey, index, name, sizeof name) == ERROR_SUCCESS;
             ++index)
            appendEntry(asioKey, name);
        RegCloseKey(asioKey);
    }
    for (const DriverEntry* entry = head; entry != nullptr; entry = entry->next)
        ++count_;
    if (count_ != 0)
        CoInitialize(nullptr);
}

DriverList::~DriverList() {
    while (head != nullptr) {
        DriverEntry* next = head->next;
        if (head->instance != nullptr)
            head->instance->Release();
        delete head;
        head = next;
    }
}

void DriverList::appendEntry(HKEY asioKey, const char* subKeyName) {
    DriverEntry** tail = &head;
    int32_t number = 0;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
        ++number;
    }
    HKEY driverKey;
    if (RegOpenKeyExA(asioKey, subKeyName, 0, KEY_READ, &driverKey) != ERROR_SUCCESS)
        return;
    DriverEntry* entry = makeEntry(driverKey, subKeyName, number);
    RegCloseKey(driverKey);
    if (entry != nullptr)
        *tail = entry;
}

DriverEntry* DriverList::entryAt(int32_t number) const {
    for (DriverEntry* entry = head; entry != nullptr; entry = entry->next)
        if (entry->number == number)
            return entry;
    return nullptr;
}

int32_t DriverList::nameAt(int32_t number, char* name, int32_t capacity) const {
    // Below 4 bytes even "..." and its terminator would not fit.
    if (name == nullptr || capacity < 4)
        return kBadArgument;
    const DriverEntry* entry = entryAt(number);
    if (entry == nullptr)
        return kNotFound;
    const size_t length = std::strlen(entry->driverName);
    if (length < static_cast<size_t>(capacity)) {
        std::memcpy(name, entry->driverName, length + 1);
    } else {
        const size_t kept = static_cast<size_t>(capacity) - 4;
        std::memcpy(name, entry->driverName, kept);
        std::memcpy(name + kept, "...", 4);
    }
    return 0;
}

int32_t DriverList::open(int32_t number, IASIO** driver) {
    if (driver == nullptr)
        return kBadArgument;
    DriverEntry* entry = entryAt(number);
    if (entry == nullptr)
        return kNotFound;
    if (entry->instance != nullptr)
        return kAlreadyOpen;
    // ASIO drivers answer to their own class identifier as the interface identifier.
    const HRESULT result = CoCreateInstance(entry->classId, nullptr, CLSCTX_INPROC_SERVER,
                                            entry->classId, reinterpret_cast<void**>(driver));
    if (result != 0)
        return result;
    entry->instance = *driver;
    return 0;
}

int32_t DriverList::close(int32_t number) {
    DriverEntry* entry = entryAt(number);
    if (entry != nullptr && entry->instance != nullptr) {
        entry->instance->Release();
        entry->instance = nullptr;
    }
    return 0;
}
