// How a measured round trip compares with the latencies the driver reports,
// in the words both the probe and the measurement print.
#pragma once

#include <cstdint>
#include <string>

// "frame" for one (either sign), else "frames".
const char* framesWord(int64_t frames);

// "the driver reports 11 frames less than the loop takes", or that it reports
// the loop exactly, or that it reports nothing.
std::string latencyVerdict(bool reported, int64_t reportedFrames, int64_t measuredFrames);
