// Reading a device's settings: the values under
// HKEY_LOCAL_MACHINE\<root>\{CLSID}, root being the driver's own
// "SOFTWARE\tandemwav\<driver>". A value that is missing or unreadable reads
// as false and leaves the target as it was, so defaults stay.
#pragma once

#include <cstdint>

#include "platform/win32api.h"

// Opens the device's key for reading; the caller closes it.
bool openDriverSettings(const char* root, const CLSID& clsid, HKEY* key);

// Whether the device has a key of its own.
bool driverSettingsExist(const char* root, const CLSID& clsid);

// A string value, terminated within capacity; false when absent, not text or
// too long for capacity.
bool readText(HKEY key, const char* name, char* text, uint32_t capacity);

// A number, stored as a DWORD or, for hand-written values, as decimal text
// (negative text wraps, as a DWORD written from a signed value would).
bool readNumber(HKEY key, const char* name, uint32_t* value);
