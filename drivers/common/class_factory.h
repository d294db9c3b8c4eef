// The in-process server's class factory, the same for each of our drivers:
// DllGetClassObject hands out one per accepted class identifier, and the
// factory leaves making the driver object to the driver.
#pragma once

#include "platform/win32api.h"

// Makes the driver object for a class identifier and gives out the interface
// asked for. *object is null and aggregation already refused when it is called.
using DriverCreator = HRESULT (*)(const CLSID& clsid, REFIID riid, void** object);

// Whether this module serves the class identifier at all.
using ClassAcceptor = bool (*)(const CLSID& clsid);

// Gives out the interface asked for from a freshly made object, then drops
// the reference its constructor held; E_OUTOFMEMORY when there is no object.
HRESULT handOutNewObject(IUnknown* created, REFIID riid, void** object);

// The whole of DllGetClassObject.
HRESULT getDriverClassObject(const CLSID& clsid, REFIID riid, void** object, ClassAcceptor accepts,
                             DriverCreator create);

// DllCanUnloadNow answers yes only while no object of this module is alive
// and nobody holds the server locked. Factories count themselves; a driver
// object calls these from its constructor and destructor.
void serverObjectCreated();
void serverObjectDestroyed();
HRESULT serverCanUnloadNow();
