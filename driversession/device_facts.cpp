#include "driversession/device_facts.h"

#include <algorithm>

#include "asiohost/asio_calls.h"
#include "driversession/driver_session.h"
#include "driversession/formatted_text.h"
#include "driversession/safe_text.h"
#include "platform/interrupts.h"

const double kUsualSampleRates[16] = {8000,  11025, 16000,  22050,  32000,  44100,  48000,  64000,
                                      88200, 96000, 176400, 192000, 352800, 384000, 705600, 768000};

namespace {

constexpr int32_t kMaxClockSources = 32;

void describeChannels(ASIOBool isInput, DirectionFacts& direction) {
    const int32_t count = std::clamp(direction.reportedCount, 0, kMaxDescribedChannels);
    for (int32_t channel = 0; channel < count && !interruptRequested(); ++channel) {
        ASIOChannelInfo info{};
        info.channel = channel;
        info.isInput = isInput;
        const ASIOError result = ASIOGetChannelInfo(&info);
        if (result != ASE_OK) {
            direction.infoFailedAt = channel + 1;
            direction.infoError = result;
            return;
        }
        direction.channels.push_back({channel + 1, fieldText(info.name, sizeof info.name),
                                      info.type, info.channelGroup, info.isActive != ASIOFalse});
    }
}

// Asked, never set: the device keeps the rate it had.
void readSampleRates(DeviceFacts& facts) {
    facts.rateResult = ASIOGetSampleRate(&facts.currentRate);
    for (const double rate : kUsualSampleRates)
        if (!interruptRequested() && ASIOCanSampleRate(rate) == ASE_OK)
            facts.acceptedRates.push_back(rate);
}

void readClockSources(DeviceFacts& facts) {
    ASIOClockSource clocks[kMaxClockSources] = {};
    int32_t count = kMaxClockSources;
    facts.clockResult = ASIOGetClockSources(clocks, &count);
    if (facts.clockResult != ASE_OK)
        return;
    for (int32_t k = 0; k < std::clamp(count, 0, kMaxClockSources); ++k)
        facts.clocks.push_back({clocks[k].index, clocks[k].associatedChannel,
                                clocks[k].associatedGroup, clocks[k].isCurrentSource != ASIOFalse,
                                fieldText(clocks[k].name, sizeof clocks[k].name)});
}

// The probe never starts the driver; these only answer a driver that calls
// during buffer creation.
void onProbeBufferSwitch(int32_t, ASIOBool) {}
void onProbeSampleRateDidChange(ASIOSampleRate) {}
int32_t onProbeAsioMessage(int32_t, int32_t, void*, double*) {
    return 0;
}
ASIOTime* onProbeBufferSwitchTimeInfo(ASIOTime*, int32_t, ASIOBool) {
    return nullptr;
}

// The driver holds on to the record until its buffers are disposed.
ASIOCallbacks probeCallbacks = {onProbeBufferSwitch, onProbeSampleRateDidChange, onProbeAsioMessage,
                                onProbeBufferSwitchTimeInfo};

// As tandemwav sees them: with buffers on one input and one output, read
// before they are disposed again.
void measureLatencies(DriverSession& session, DeviceFacts& facts) {
    ASIOBufferInfo entries[2] = {};
    int32_t count = 0;
    if (facts.inputs.reportedCount > 0)
        entries[count++].isInput = ASIOTrue;
    if (facts.outputs.reportedCount > 0)
        entries[count++].isInput = ASIOFalse;
    const int32_t frames = suggestedBufferFrames(facts);
    if (count == 0 || frames == 0)
        return;
    LatencyFacts& latency = facts.latency;
    latency.bufferFrames = frames;
    latency.createResult = session.createBuffers(entries, count, frames, &probeCallbacks);
    if (latency.createResult == ASE_OK)
        latency.latencyResult = ASIOGetLatencies(&latency.input, &latency.output);
    session.disposeBuffers();
}

} // namespace

// Ctrl+C is looked at between the driver's calls: nothing can be done while
// the driver holds the thread.
bool gatherDeviceFacts(DriverSession& session, DeviceFacts& facts) {
    ASIOGetChannels(&facts.inputs.reportedCount, &facts.outputs.reportedCount);
    describeChannels(ASIOTrue, facts.inputs);
    describeChannels(ASIOFalse, facts.outputs);
    ASIOGetBufferSize(&facts.minBufferSize, &facts.maxBufferSize, &facts.preferredBufferSize,
                      &facts.bufferGranularity);
    if (interruptRequested())
        return false;
    readSampleRates(facts);
    if (interruptRequested())
        return false;
    readClockSources(facts);
    if (interruptRequested())
        return false;
    measureLatencies(session, facts);
    return !interruptRequested();
}

InvalidFacts findInvalidFacts(const DeviceFacts& facts) {
    const bool crossed = facts.minBufferSize > facts.maxBufferSize;
    return {facts.inputs.reportedCount < 0,     facts.outputs.reportedCount < 0,
            facts.minBufferSize < 1 || crossed, facts.maxBufferSize < 1 || crossed,
            facts.preferredBufferSize < 1,      facts.bufferGranularity < -1};
}

int32_t suggestedBufferFrames(const DeviceFacts& facts) {
    const int32_t lowest = facts.minBufferSize;
    if (lowest < 1 || lowest > facts.maxBufferSize)
        return 0;
    if (facts.preferredBufferSize >= lowest && facts.preferredBufferSize <= facts.maxBufferSize)
        return facts.preferredBufferSize;
    return lowest;
}

std::string describeBufferLengths(const DeviceFacts& facts) {
    const int32_t low = facts.minBufferSize;
    const int32_t high = facts.maxBufferSize;
    const int32_t step = facts.bufferGranularity;
    if (low < 1 || low > high)
        return formatted("none (minimum %d, maximum %d)", low, high);
    if (low == high)
        return formatted("only %d", low);
    if (step == -1)
        return formatted("powers of two from %d to %d", low, high);
    if (step == 1)
        return formatted("every length from %d to %d", low, high);
    if (step > 1)
        return formatted("steps of %d from %d to %d", step, low, high);
    return formatted("from %d to %d, granularity %d", low, high, step);
}
