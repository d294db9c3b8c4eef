// The interface command's results.json: every figure with its unit and its
// definition's name, per pair, and the curves the page plots. Field names and
// order are documented in docs/interface.md.
#pragma once

#include <string>

#include "measure/interface_results.h"

namespace measure {

std::string interfaceResultsJson(const InterfaceResults& results,
                                 const std::string& programVersion);

} // namespace measure
