// results.json of a whole-device run: the analysis's shape per pair, with the
// device, the repeats and the crosstalk. Fields in docs/measure.md.
#pragma once

#include <string>

#include "measure/device_run.h"

namespace measure {

std::string runResultsJson(const RunResults& results, const std::string& programVersion);

} // namespace measure
