#include "probe/json_report.h"

#include <initializer_list>
#include <utility>

#include "probe/device_facts.h"
#include "probe/json_writer.h"
#include "probe/safe_text.h"
#include "probe/sample_types.h"
#include "probe/verdict.h"

namespace {

std::string textOrNull(const std::string& text) {
    return text.empty() ? "null" : jsonString(text);
}

std::string catalogueEntryJson(const CatalogueEntry& entry) {
    const bool listed = entry.status == CatalogueStatus::Listed;
    return JsonObject()
        .add("subKey", jsonString(entry.subKey))
        .add("name", jsonString(entry.displayName))
        .add("loadName", listed ? jsonString(entry.loadName) : "null")
        .add("number", listed ? jsonInt(entry.number) : "null")
        .add("classId", textOrNull(entry.classText))
        .add("module", textOrNull(entry.serverPath))
        .add("moduleExists", jsonBool(listed))
        .add("listed", jsonBool(listed))
        .add("remark", textOrNull(catalogueRemark(entry)))
        .text();
}

std::string channelJson(const ChannelFacts& channel) {
    return JsonObject()
        .add("number", jsonInt(channel.number))
        .add("name", jsonString(channel.name))
        .add("type", jsonInt(channel.type))
        .add("typeName", jsonString(sampleTypeName(channel.type)))
        .add("group", jsonInt(channel.group))
        .add("active", jsonBool(channel.active))
        .text();
}

// The names of the values marked invalid, as the object names them.
std::string invalidJson(std::initializer_list<std::pair<const char*, bool>> values) {
    std::vector<std::string> names;
    for (const auto& value : values)
        if (value.second)
            names.push_back(jsonString(value.first));
    return jsonArray(names);
}

std::string directionJson(const DirectionFacts& direction, bool countInvalid) {
    std::vector<std::string> channels;
    for (const ChannelFacts& channel : direction.channels)
        channels.push_back(channelJson(channel));
    return JsonObject()
        .add("count", jsonInt(direction.reportedCount))
        .add("channels", jsonArray(channels))
        .add("infoFailedAt", direction.infoFailedAt != 0 ? jsonInt(direction.infoFailedAt) : "null")
        .add("infoError", jsonInt(direction.infoError))
        .add("invalid", invalidJson({{"count", countInvalid}}))
        .text();
}

std::string bufferJson(const DeviceFacts& facts, const InvalidFacts& invalid) {
    return JsonObject()
        .add("min", jsonInt(facts.minBufferSize))
        .add("max", jsonInt(facts.maxBufferSize))
        .add("preferred", jsonInt(facts.preferredBufferSize))
        .add("granularity", jsonInt(facts.bufferGranularity))
        .add("description", jsonString(describeBufferLengths(facts)))
        .add("invalid", invalidJson({{"min", invalid.minBuffer},
                                     {"max", invalid.maxBuffer},
                                     {"preferred", invalid.preferredBuffer},
                                     {"granularity", invalid.granularity}}))
        .text();
}

std::string sampleRateJson(const DeviceFacts& facts) {
    std::vector<std::string> accepted;
    for (const double rate : facts.acceptedRates)
        accepted.push_back(jsonNumber(rate));
    return JsonObject()
        .add("current", facts.rateResult == 0 ? jsonNumber(facts.currentRate) : "null")
        .add("result", jsonInt(facts.rateResult))
        .add("accepted", jsonArray(accepted))
        .text();
}

std::string clockSourcesJson(const DeviceFacts& facts) {
    std::vector<std::string> sources;
    for (const ClockFacts& clock : facts.clocks)
        sources.push_back(JsonObject()
                              .add("index", jsonInt(clock.index))
                              .add("name", jsonString(clock.name))
                              .add("channel", jsonInt(clock.channel))
                              .add("group", jsonInt(clock.group))
                              .add("current", jsonBool(clock.current))
                              .text());
    return JsonObject()
        .add("result", jsonInt(facts.clockResult))
        .add("sources", jsonArray(sources))
        .text();
}

std::string latencyJson(const LatencyFacts& latency) {
    const bool measured =
        latency.bufferFrames != 0 && latency.createResult == 0 && latency.latencyResult == 0;
    return JsonObject()
        .add("bufferFrames", latency.bufferFrames != 0 ? jsonInt(latency.bufferFrames) : "null")
        .add("createResult", jsonInt(latency.createResult))
        .add("result", jsonInt(latency.latencyResult))
        .add("input", measured ? jsonInt(latency.input) : "null")
        .add("output", measured ? jsonInt(latency.output) : "null")
        .text();
}

std::string verdictJson(const Verdict& verdict) {
    return JsonObject()
        .add("usable", jsonBool(verdict.usable))
        .add("reason", textOrNull(verdict.reason))
        .add("bufferFrames", jsonInt(verdict.bufferFrames))
        .add("recordChannels", jsonInt(verdict.recordChannels))
        .add("playChannels", jsonInt(verdict.playChannels))
        .add("commandLine", textOrNull(verdict.commandLine))
        .text();
}

} // namespace

std::string catalogueJson(const std::vector<CatalogueEntry>& entries) {
    std::vector<std::string> drivers;
    for (const CatalogueEntry& entry : entries)
        drivers.push_back(catalogueEntryJson(entry));
    std::vector<std::string> notes;
    for (const std::string& note : catalogueNotes(entries))
        notes.push_back(jsonString(note));
    return JsonObject().add("drivers", jsonArray(drivers)).add("notes", jsonArray(notes)).text();
}

std::string deviceJson(const DeviceFacts& facts, const Verdict& verdict) {
    const InvalidFacts invalid = findInvalidFacts(facts);
    return JsonObject()
        .add("requestedName", jsonString(facts.requestedName))
        .add("exitCode", jsonInt(0))
        .add("driver", JsonObject()
                           .add("name", jsonString(facts.name))
                           .add("version", jsonInt(facts.version))
                           .text())
        .add("inputs", directionJson(facts.inputs, invalid.inputs))
        .add("outputs", directionJson(facts.outputs, invalid.outputs))
        .add("bufferSize", bufferJson(facts, invalid))
        .add("sampleRate", sampleRateJson(facts))
        .add("clockSources", clockSourcesJson(facts))
        .add("latency", latencyJson(facts.latency))
        .add("verdict", verdictJson(verdict))
        .text();
}

std::string failureJson(const DeviceFacts& facts, int exitCode, const std::string& error) {
    return JsonObject()
        .add("requestedName", jsonString(facts.requestedName))
        .add("exitCode", jsonInt(exitCode))
        .add("error", jsonString(error))
        .add("driverMessage", textOrNull(facts.errorMessage))
        .text();
}
