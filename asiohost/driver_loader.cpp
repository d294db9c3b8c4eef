#include "asiohost/driver_loader.h"

#include <cstring>
#include <new>

#include "asiohost/asio_calls.h"

DriverLoader* driverLoader = nullptr;

DriverLoader::DriverLoader() : currentIndex_(-1) {}

bool DriverLoader::loadByName(const char* name) {
    if (name == nullptr)
        return false;
    char listed[kLoadNameCapacity];
    for (int32_t number = 0; number < count(); ++number) {
        if (nameAt(number, listed, kLoadNameCapacity) != 0 || std::strcmp(name, listed) != 0)
            continue;
        return makeCurrent(number, listed);
    }
    return false;
}

// The previous driver goes first, so two drivers never hold the device at
// once; it is brought back when the new one cannot be created.
bool DriverLoader::makeCurrent(int32_t number, const char* name) {
    char previous[kLoadNameCapacity];
    previous[0] = '\0';
    currentName(previous);
    unloadCurrent();
    if (open(number, &currentDriver) == 0) {
        currentIndex_ = number;
        return true;
    }
    currentDriver = nullptr;
    if (previous[0] != '\0' && std::strcmp(previous, name) != 0)
        loadByName(previous);
    return false;
}

void DriverLoader::unloadCurrent() {
    if (currentIndex_ != -1)
        close(currentIndex_);
    currentIndex_ = -1;
}

bool DriverLoader::currentName(char* name) {
    if (name == nullptr)
        return false;
    if (currentIndex_ < 0) {
        name[0] = '\0';
        return false;
    }
    return nameAt(currentIndex_, name, kLoadNameCapacity) == 0;
}

bool loadDriverByName(const char* name) {
    if (driverLoader == nullptr) {
        // Built once: the registry is read on the first load only.
        driverLoader = new (std::nothrow) DriverLoader();
        if (driverLoader == nullptr)
            return false;
    }
    return driverLoader->loadByName(name);
}

void releaseLoadedDriver(bool buffersCreated) {
    if (buffersCreated)
        ASIODisposeBuffers();
    ASIOExit();
    if (driverLoader != nullptr)
        driverLoader->unloadCurrent();
}
