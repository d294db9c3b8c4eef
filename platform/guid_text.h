// Class identifiers in their registry text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include "platform/win32api.h"

// Braces and upper-case hex digits, 38 characters and a terminator.
constexpr int kGuidTextSize = 39;
void guidToText(const GUID& guid, char text[kGuidTextSize]);
