// The class identifier under which the build and the README register the
// JACK driver. Further devices (say, one wired as a loopback) are further
// class identifiers with a settings key of their own.
#pragma once

#include "platform/win32api.h"

extern const CLSID kJackDefaultClsid;
