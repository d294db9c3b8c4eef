// The catalogue of installed ASIO drivers, read once from the registry.
#pragma once

#include <cstdint>

#include "asiohost/asio.h"

enum : int32_t {
    kBadArgument = -5001,
    kAlreadyOpen = -5002,
    kNotFound = -5003,
};

struct CatalogueKey;

// The room a load by name compares names in: a longer name is matched by its
// first 28 characters and "...".
constexpr int32_t kLoadNameCapacity = 32;

struct DriverEntry {
    int32_t number;
    CLSID classId;
    char driverName[128];
    IASIO* instance;
    DriverEntry* next;
};

class DriverList {
  public:
    DriverList();
    // The program's one list lives until the process ends; this serves lists
    // made and dropped by their owner, releasing what they still hold.
    ~DriverList();
    DriverList(const DriverList&) = delete;
    DriverList& operator=(const DriverList&) = delete;
    int32_t count() const { return count_; }
    DriverEntry* entryAt(int32_t number) const;
    int32_t nameAt(int32_t number, char* name, int32_t capacity) const;
    int32_t open(int32_t number, IASIO** driver);
    int32_t close(int32_t number);

  protected:
    DriverEntry* head;
    int32_t count_;

  private:
    static void appendListed(const CatalogueKey& key, void* context);
};
