// A hint for a driver name that loads nothing: the installed driver whose
// name it matches but for case, which is how such names are usually mistyped.
#pragma once

#include <string>

// `Did you mean "NAME"?`, or empty when no installed driver's load name
// equals the requested one with case ignored.
std::string driverNameHint(const std::string& requested);
