// Makes one installed driver current by its display name.
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
