// The class identifiers of loopback devices and their registry text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <cstdint>

#include "platform/win32api.h"

// The device that DllRegisterServer and the Linux build install by default.
extern const CLSID kLoopbackDefaultClsid;
constexpr const char* kLoopbackDefaultClsidText = "{8980851F-4FD3-4041-8214-576F7F967C37}";

// Braces and upper-case hex digits, 38 characters and a terminator.
constexpr int kGuidTextSize = 39;
void guidToText(const GUID& guid, char text[kGuidTextSize]);

// Accepts either letter case; false for anything that is not exactly one GUID.
bool guidFromText(const char* text, GUID* guid);
