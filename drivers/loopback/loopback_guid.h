// The class identifier of the loopback device that DllRegisterServer and the
// Linux build install by default. Further devices are further class
// identifiers with a settings key of their own.
#pragma once

#include "platform/win32api.h"

extern const CLSID kLoopbackDefaultClsid;
constexpr const char* kLoopbackDefaultClsidText = "{8980851F-4FD3-4041-8214-576F7F967C37}";
