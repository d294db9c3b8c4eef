#pragma once

// How the installed-driver catalogue is read, shared by the driver list and
// the survey of the catalogue, so that both see every entry alike. Private to
// the host layer: its sources include it from beside them.

#include <string>

#include "platform/win32api.h"

constexpr DWORD kSubKeyNameCapacity = 128;
constexpr DWORD kValueCapacity = 256;
constexpr DWORD kServerPathCapacity = 512;
constexpr int kWideCapacity = 100;

// A string value that fits the buffer with its terminator; the value's type is
// not checked, and data stored without a terminator gets one if there is room.
bool readCatalogueString(HKEY key, const char* valueName, char* buffer, DWORD capacity);

void lowerCatalogueText(char* text);

// Whether the module file exists, looked for as the system loads it (a name
// without a folder on the loader's search path); found, when given, gets the
// full path of the file where the system tells it.
bool catalogueFileExists(const char* path, std::string* found = nullptr);
