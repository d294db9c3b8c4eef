// The front door: banner, usage text and the conversion of number arguments.
#pragma once

#include <cstdint>

void printBanner();
void printUsage();

// Leading white space, one optional sign, then digits up to the first
// non-digit; no digits give 0; the value is clamped to the signed 32-bit range.
int32_t convertNumberArgument(const char* text);
