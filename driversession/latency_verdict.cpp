#include "driversession/latency_verdict.h"

const char* framesWord(int64_t frames) {
    return frames == 1 || frames == -1 ? "frame" : "frames";
}

std::string latencyVerdict(bool reported, int64_t reportedFrames, int64_t measuredFrames) {
    if (!reported)
        return "the driver does not report its latencies";
    const int64_t missing = measuredFrames - reportedFrames;
    if (missing == 0)
        return "the driver reports the round trip exactly";
    const int64_t size = missing > 0 ? missing : -missing;
    return "the driver reports " + std::to_string(size) + " " + framesWord(size) +
           (missing > 0 ? " less" : " more") + " than the loop takes";
}
