// What the commands tell a person: a few lines per sweep or channel.
#pragma once

#include <cstdio>
#include <string>

#include "measure/results.h"
#include "measure/sweep_plan.h"

namespace measure {

void printSweepSummary(const SweepPlan& plan, const std::string& path);
void printAnalysisSummary(std::FILE* out, const Results& results, const std::string& dir);

// An input that recorded nothing but zeros: "silent" wherever it is named.
// The relative delay of a referenced pair, or that it is the reference, and
// its calibration file; nothing without either.
void printReferencing(std::FILE* out, const ChannelResult& c, int reference, double rate);

bool isSilent(const ChannelResult& channel);

// The response's range over the band and the THD nearest 1 kHz, indented
// under the channel's or pair's line.
void printResponseFigures(std::FILE* out, const ChannelResult& channel, const SweepPlan& sweep,
                          int harmonicsCounted);

bool anyChannelResponds(const Results& results);
// In the probe's words, what to check when nothing came back.
std::string noSignalMessage(const Results& results);

} // namespace measure
