// What the commands tell a person: a few lines per sweep or channel.
#pragma once

#include <cstdio>
#include <string>

#include "measure/results.h"
#include "measure/sweep_plan.h"

namespace measure {

void printSweepSummary(const SweepPlan& plan, const std::string& path);
void printAnalysisSummary(std::FILE* out, const Results& results, const std::string& dir);

bool anyChannelResponds(const Results& results);
// In the probe's words, what to check when nothing came back.
std::string noSignalMessage(const Results& results);

} // namespace measure
