// The class identifier of the loopback device that DllRegisterServer and the
// Linux build install by default. Further devices are further class
// identifiers with a settings key of their own.
#pragma once

#include "platform/win32api.h"

extern const CLSID kLoopbackDefaultClsid;
