// The reports of a latency measurement: for people on standard output, and
// the same facts as one JSON document (fields listed in docs/probe.md).
#pragma once

#include <cstdint>
#include <string>

struct LatencyRequest;
struct LatencyOutcome;

// The runs' figure: their median (the lower one of an even count), with the
// smallest and largest.
struct MeasuredFigure {
    int32_t frames;
    int32_t least;
    int32_t most;
};

MeasuredFigure measuredFigure(const LatencyOutcome& outcome);
// "the driver reports 11 frames less than the loop takes", or that it reports
// the loop exactly, or that it reports nothing.
std::string latencyVerdict(const LatencyOutcome& outcome);

void printLatencyText(const LatencyRequest& request, const LatencyOutcome& outcome);
std::string latencyJson(const LatencyRequest& request, const LatencyOutcome& outcome);
