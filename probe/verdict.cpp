#include "probe/verdict.h"

#include <algorithm>

#include "driversession/device_facts.h"
#include "driversession/formatted_text.h"
#include "driversession/safe_text.h"
#include "engine/device_state.h"
#include "probe/sample_types.h"

namespace {

// Channels from 1 on that the driver describes, as far as tandemwav goes.
int32_t describedFromFirst(const DirectionFacts& direction) {
    return std::min(static_cast<int32_t>(direction.channels.size()), kMaxChannelsPerDirection);
}

std::string outputProblem(const DeviceFacts& facts) {
    if (facts.outputs.reportedCount < 1)
        return "no output channels: tandemwav plays on at least one";
    return formatted("no description of output channel 1 (getChannelInfo error %d)",
                     facts.outputs.infoError);
}

// tandemwav converts every channel at the width of the first channel in use.
std::string formatProblem(const DeviceFacts& facts, const Verdict& verdict) {
    const ChannelFacts& first =
        verdict.recordChannels > 0 ? facts.inputs.channels[0] : facts.outputs.channels[0];
    if (!tandemwavStreams(first.type))
        return std::string("native format ") + sampleTypeDescription(first.type) +
               ": tandemwav plays only 16, 24 and 32-bit integer devices";
    for (int32_t k = 0; k < verdict.recordChannels; ++k)
        if (facts.inputs.channels[k].type != first.type)
            return formatted("input channel %d has another native format than channel 1", k + 1);
    for (int32_t k = 0; k < verdict.playChannels; ++k)
        if (facts.outputs.channels[k].type != first.type)
            return formatted("output channel %d has another native format than the first channel",
                             k + 1);
    return "";
}

std::string latencyProblem(const LatencyFacts& latency) {
    if (latency.bufferFrames == 0 || latency.createResult == 0)
        return "";
    return formatted("the driver refused buffers of %d frames on channel 1 (error %d)",
                     latency.bufferFrames, latency.createResult);
}

std::string findProblem(const DeviceFacts& facts, const Verdict& verdict) {
    if (verdict.playChannels == 0)
        return outputProblem(facts);
    std::string problem = formatProblem(facts, verdict);
    if (!problem.empty())
        return problem;
    if (facts.inputs.reportedCount < 0)
        return formatted("it reports %d input channels, and tandemwav refuses a negative count",
                         facts.inputs.reportedCount);
    if (verdict.bufferFrames == 0)
        return formatted("no buffer length fits its limits (minimum %d, maximum %d)",
                         facts.minBufferSize, facts.maxBufferSize);
    if (facts.acceptedRates.empty())
        return "it accepts none of the usual sample rates";
    return latencyProblem(facts.latency);
}

} // namespace

Verdict judgeDevice(const DeviceFacts& facts) {
    Verdict verdict;
    verdict.recordChannels = describedFromFirst(facts.inputs);
    verdict.playChannels = describedFromFirst(facts.outputs);
    verdict.bufferFrames = suggestedBufferFrames(facts);
    verdict.reason = findProblem(facts, verdict);
    verdict.usable = verdict.reason.empty();
    // A control character would end or garble any line typed into a shell.
    if (verdict.usable && typeable(facts.requestedName))
        verdict.commandLine = "tandemwav " + shellWord(facts.requestedName) +
                              formatted(" %d play.wav 1 record.wav %d 1", verdict.bufferFrames,
                                        verdict.recordChannels);
    return verdict;
}
