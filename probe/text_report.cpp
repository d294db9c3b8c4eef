#include "probe/text_report.h"

#include <cstdio>
#include <string>

#include "driversession/device_facts.h"
#include "driversession/safe_text.h"
#include "probe/sample_types.h"
#include "probe/verdict.h"

namespace {

std::string orDash(const std::string& text) {
    return text.empty() ? "-" : printableText(text);
}

const char* moduleState(CatalogueStatus status) {
    if (status == CatalogueStatus::Listed)
        return "module found";
    return status == CatalogueStatus::ServerFileMissing ? "module missing" : "";
}

// The name to type, or where no shell line can carry it, the name shown.
std::string nameWord(const std::string& name) {
    return typeable(name) ? shellWord(name) : "\"" + printableText(name) + "\"";
}

// One line: what to type (or the subkey that is left out), the class, the
// module, and what is amiss.
void printCatalogueEntry(const CatalogueEntry& entry) {
    std::string line = entry.status == CatalogueStatus::Listed
                           ? nameWord(entry.loadName)
                           : "(subkey " + nameWord(entry.subKey) + ")";
    for (const std::string& part : {orDash(entry.classText), orDash(entry.serverPath),
                                    std::string(moduleState(entry.status)), catalogueRemark(entry)})
        if (!part.empty())
            line += "  " + part;
    std::printf("  %s\n", line.c_str());
}

const char* invalidMark(bool invalid) {
    return invalid ? " (invalid)" : "";
}

void printChannels(const char* direction, const DirectionFacts& facts, bool countInvalid) {
    std::printf("%s: %d%s\n", direction, facts.reportedCount, invalidMark(countInvalid));
    for (const ChannelFacts& channel : facts.channels)
        std::printf("  %d: \"%s\", %s (%d), group %d, %s\n", channel.number,
                    printableText(channel.name).c_str(), sampleTypeName(channel.type), channel.type,
                    channel.group, channel.active ? "active" : "inactive");
    if (facts.infoFailedAt != 0)
        std::printf("  %d to %d: no description (getChannelInfo error %d)\n", facts.infoFailedAt,
                    facts.reportedCount, facts.infoError);
    else if (facts.reportedCount > kMaxDescribedChannels)
        std::printf("  (only the first %d are described)\n", kMaxDescribedChannels);
}

void printBufferAndRates(const DeviceFacts& facts, const InvalidFacts& invalid) {
    std::printf("Buffer lengths: minimum %d%s, maximum %d%s, preferred %d%s, granularity %d%s: "
                "%s\n",
                facts.minBufferSize, invalidMark(invalid.minBuffer), facts.maxBufferSize,
                invalidMark(invalid.maxBuffer), facts.preferredBufferSize,
                invalidMark(invalid.preferredBuffer), facts.bufferGranularity,
                invalidMark(invalid.granularity), describeBufferLengths(facts).c_str());
    if (facts.rateResult == 0)
        std::printf("Sample rate: %.0f Hz\n", facts.currentRate);
    else
        std::printf("Sample rate: unknown (getSampleRate error %d)\n", facts.rateResult);
    std::printf("Accepted rates:");
    for (const double rate : facts.acceptedRates)
        std::printf(" %.0f", rate);
    std::printf("%s\n", facts.acceptedRates.empty() ? " none of the usual ones" : " Hz");
}

void printClockSources(const DeviceFacts& facts) {
    if (facts.clockResult != 0)
        std::printf("Clock sources: unknown (getClockSources error %d)\n", facts.clockResult);
    for (const ClockFacts& clock : facts.clocks)
        std::printf("Clock source %d: \"%s\", channel %d, group %d%s\n", clock.index,
                    printableText(clock.name).c_str(), clock.channel, clock.group,
                    clock.current ? ", current" : "");
}

void printLatencies(const LatencyFacts& latency) {
    if (latency.bufferFrames == 0)
        std::printf("Latencies: not measured (no channel, or no buffer length)\n");
    else if (latency.createResult != 0)
        std::printf("Latencies: not measured, the driver refused buffers of %d frames (error "
                    "%d)\n",
                    latency.bufferFrames, latency.createResult);
    else if (latency.latencyResult != 0)
        std::printf("Latencies at %d frames: unknown (getLatencies error %d)\n",
                    latency.bufferFrames, latency.latencyResult);
    else
        std::printf("Latencies at %d frames: input %d, output %d frames\n", latency.bufferFrames,
                    latency.input, latency.output);
}

void printVerdict(const Verdict& verdict) {
    if (!verdict.usable) {
        std::printf("Verdict: not usable by tandemwav: %s\n", verdict.reason.c_str());
        return;
    }
    std::printf("Verdict: usable by tandemwav\n");
    if (verdict.commandLine.empty()) {
        std::printf("Command line: none; the driver's name holds control characters, which no "
                    "shell line can carry\n");
        return;
    }
    std::printf("Command line:\n  %s\n", verdict.commandLine.c_str());
    std::printf("  (play.wav: 32-bit float, 1 to %d channels, at an accepted rate)\n",
                verdict.playChannels);
}

} // namespace

void printCatalogueText(const std::vector<CatalogueEntry>& entries) {
    if (entries.empty()) {
        std::printf("No ASIO drivers are installed.\n");
        return;
    }
    std::printf("Installed ASIO drivers, in the order tandemwav reads them "
                "(name to type, CLSID, module):\n");
    for (const CatalogueEntry& entry : entries)
        printCatalogueEntry(entry);
    for (const std::string& note : catalogueNotes(entries))
        std::printf("Note: %s.\n", printableText(note).c_str());
}

void printDeviceText(const DeviceFacts& facts, const Verdict& verdict) {
    std::printf("Driver: %s\n", printableText(facts.name).c_str());
    std::printf("Version: %d\n", facts.version);
    const InvalidFacts invalid = findInvalidFacts(facts);
    printChannels("Inputs", facts.inputs, invalid.inputs);
    printChannels("Outputs", facts.outputs, invalid.outputs);
    printBufferAndRates(facts, invalid);
    printClockSources(facts);
    printLatencies(facts.latency);
    printVerdict(verdict);
}
