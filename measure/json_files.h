// The measurement's JSON: the sweep's parameters beside its WAV file, and
// results.json. Field names and order are documented in docs/measure.md.
#pragma once

#include <string>
#include <vector>

#include "driversession/json_writer.h"
#include "measure/results.h"
#include "measure/sweep_plan.h"

namespace measure {

std::string sweepParametersJson(const SweepPlan& plan);

// Throws Failure(kNoParameters) when the file is missing or not what
// sweepParametersJson writes.
SweepPlan readSweepParameters(const std::string& path);

// complete and error as the results hold them; below-noise channels carry
// no figures.
std::string resultsJson(const Results& results);

// The sweep's object as results.json holds it: the band, and the band
// limit's energy-time curve when there is one.
std::string sweepResultText(const SweepPlan& plan, const std::vector<double>& bandLimitEtcDb);

// The top-level "gateMs" and "smoothing" of results.json, where asked for.
void addGateAndSmoothingFields(double gateMs, int smoothing, Json& results);

// A figure in dB as results.json holds it. The console prints this value, so
// that it and the page, which reads the file, round it alike.
double hundredths(double value);

// Now, in UTC, as results.json dates a measurement (ISO 8601).
std::string utcDate();

// One channel's object as results.json holds it, for documents that gather
// channels of several runs.
std::string channelResultJson(const ChannelResult& channel, int rate);

// The top level's "reference" (when there is one) and "calibration" (the
// inputs calibrated and their files), as one JSON object's text.
std::string referenceText(int reference, const std::vector<const ChannelResult*>& channels);

} // namespace measure
