// Makes one installed driver current by its display name, and alone
// releases it again.
#pragma once

#include "asiohost/driver_list.h"

class DriverLoader : public DriverList {
  public:
    DriverLoader();
    bool loadByName(const char* name);
    void unloadCurrent();
    bool currentName(char* name);

  private:
    bool makeCurrent(int32_t number, const char* name);

    int32_t currentIndex_;
};

extern DriverLoader* driverLoader;

bool loadDriverByName(const char* name);

// Hands back whatever a load left, in the order drivers expect: the buffers
// disposed (when the caller created some), the call layer left, the object
// released. Safe after a refused init, with nothing loaded, and twice.
void releaseLoadedDriver(bool buffersCreated);
