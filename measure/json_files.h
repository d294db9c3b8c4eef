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

// Figures to a tenth of a thousandth of their unit unless told: far finer
// than any measurement, and short files.
double rounded(double value, double step = 1e-4);

// How results.json begins: complete, the error if any, and once a sweep is
// known its rate and its object (the band, and the band limit's energy-time
// curve when there is one).
Json resultsHeadJson(bool complete, const std::string& error, const SweepPlan& plan,
                     const std::vector<double>& bandLimitEtcDb);

// A figure in dB as results.json holds it. The console prints this value, so
// that it and the page, which reads the file, round it alike.
inline double hundredths(double value) {
    return rounded(value, 0.01);
}

// Now, in UTC, as results.json dates a measurement (ISO 8601).
std::string utcDate();

// One channel's object as results.json holds it, for documents that gather
// channels of several runs.
Json channelJson(const ChannelResult& channel, int rate);

// The top level's "gateMs" and "smoothing" where asked for, "reference" when
// there is one, "calibration" (the inputs calibrated and their files),
// "harmonicsCounted" and "clippedSamples".
void addAnalysisFields(double gateMs, int smoothing, int reference,
                       const std::vector<const ChannelResult*>& channels, int harmonics,
                       uint64_t clippedSamples, Json& out);

} // namespace measure
