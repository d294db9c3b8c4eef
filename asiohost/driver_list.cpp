#include "asiohost/driver_list.h"

#include <cstring>
#include <new>

#include "catalogue_walk.h"

DriverList::DriverList() : head(nullptr), count_(0) {
    walkCatalogue(appendListed, this);
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

// A subkey that names no class whose server file exists is simply not
// listed, and neither is an entry when memory runs out.
void DriverList::appendListed(const CatalogueKey& key, void* context) {
    if (key.status != CatalogueStatus::Listed)
        return;
    auto* list = static_cast<DriverList*>(context);
    auto* entry = new (std::nothrow) DriverEntry();
    if (entry == nullptr)
        return;
    entry->number = list->count_;
    entry->classId = key.classId;
    std::memcpy(entry->driverName, key.displayName, std::strlen(key.displayName) + 1);
    DriverEntry** tail = &list->head;
    while (*tail != nullptr)
        tail = &(*tail)->next;
    *tail = entry;
    ++list->count_;
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
