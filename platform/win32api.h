// The Windows API that tandemwav and its drivers use: the registry, COM, the
// multimedia clock and a few text and file helpers. On Windows these are the
// real ones; elsewhere our own stand-ins with the same names and meanings.
// This folder is the only place in the project that asks which system it is.
#pragma once

#ifdef _WIN32
// windows.h first: the other two build on it.
#include <windows.h>

#include <mmsystem.h>
#include <objbase.h>
#define TANDEM_EXPORT extern "C" __declspec(dllexport)
#else
#include "platform/posix_win32.h"
#define TANDEM_EXPORT extern "C" __attribute__((visibility("default")))
#endif
