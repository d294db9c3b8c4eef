#pragma once

// The one reading of the installed-driver catalogue, which the driver list
// and the survey both walk, so that both see every subkey alike. Private to
// the host layer: its sources include it from beside them.

#include "asiohost/driver_survey.h"
#include "platform/win32api.h"

// One subkey as read. The texts live until the visit returns.
struct CatalogueKey {
    const char* subKey;
    // Listed when its class names a module that exists; EndsCatalogue and
    // NotReached once a subkey name too long for the list has been met.
    CatalogueStatus status;
    const char* classText; // the CLSID value as written, empty when none
    bool classParses;
    CLSID classId;           // all zero unless classParses
    const char* displayName; // the description, or the subkey name, cut to 127 characters
    // InprocServer32's default value; for a module found, its full path as
    // the system finds it. Empty when none.
    const char* serverPath;
};

using CatalogueVisit = void (*)(const CatalogueKey& key, void* context);

// Every subkey of HKLM\SOFTWARE\ASIO in the registry's order.
void walkCatalogue(CatalogueVisit visit, void* context);
