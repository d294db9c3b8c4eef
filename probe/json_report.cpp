#include "probe/json_report.h"

#include <initializer_list>
#include <utility>

#include "driversession/device_facts.h"
#include "driversession/json_writer.h"
#include "probe/sample_types.h"
#include "probe/verdict.h"

namespace {

Json catalogueEntryJson(const CatalogueEntry& entry) {
    const bool listed = entry.status == CatalogueStatus::Listed;
    return {{"subKey", entry.subKey},
            {"name", entry.displayName},
            {"loadName", listed ? Json(entry.loadName) : Json()},
            {"number", listed ? Json(entry.number) : Json()},
            {"classId", textOrNull(entry.classText)},
            {"module", textOrNull(entry.serverPath)},
            {"moduleExists", listed},
            {"listed", listed},
            {"remark", textOrNull(catalogueRemark(entry))}};
}

Json channelJson(const ChannelFacts& channel) {
    return {{"number", channel.number}, {"name", channel.name},
            {"type", channel.type},     {"typeName", sampleTypeName(channel.type)},
            {"group", channel.group},   {"active", channel.active}};
}

// The names of the values marked invalid, as the object names them.
Json invalidJson(std::initializer_list<std::pair<const char*, bool>> values) {
    Json names = Json::array();
    for (const auto& value : values)
        if (value.second)
            names.push_back(value.first);
    return names;
}

Json directionJson(const DirectionFacts& direction, bool countInvalid) {
    return {{"count", direction.reportedCount},
            {"channels", jsonArray(direction.channels, channelJson)},
            {"infoFailedAt", direction.infoFailedAt != 0 ? Json(direction.infoFailedAt) : Json()},
            {"infoError", direction.infoError},
            {"invalid", invalidJson({{"count", countInvalid}})}};
}

Json bufferJson(const DeviceFacts& facts, const InvalidFacts& invalid) {
    return {{"min", facts.minBufferSize},
            {"max", facts.maxBufferSize},
            {"preferred", facts.preferredBufferSize},
            {"granularity", facts.bufferGranularity},
            {"description", describeBufferLengths(facts)},
            {"invalid", invalidJson({{"min", invalid.minBuffer},
                                     {"max", invalid.maxBuffer},
                                     {"preferred", invalid.preferredBuffer},
                                     {"granularity", invalid.granularity}})}};
}

Json sampleRateJson(const DeviceFacts& facts) {
    return {{"current", facts.rateResult == 0 ? Json(facts.currentRate) : Json()},
            {"result", facts.rateResult},
            {"accepted", facts.acceptedRates}};
}

Json clockSourcesJson(const DeviceFacts& facts) {
    const Json sources = jsonArray(facts.clocks, [](const ClockFacts& clock) {
        return Json{{"index", clock.index},
                    {"name", clock.name},
                    {"channel", clock.channel},
                    {"group", clock.group},
                    {"current", clock.current}};
    });
    return {{"result", facts.clockResult}, {"sources", sources}};
}

Json latencyJson(const LatencyFacts& latency) {
    const bool measured =
        latency.bufferFrames != 0 && latency.createResult == 0 && latency.latencyResult == 0;
    return {{"bufferFrames", latency.bufferFrames != 0 ? Json(latency.bufferFrames) : Json()},
            {"createResult", latency.createResult},
            {"result", latency.latencyResult},
            {"input", measured ? Json(latency.input) : Json()},
            {"output", measured ? Json(latency.output) : Json()}};
}

Json verdictJson(const Verdict& verdict) {
    return {{"usable", verdict.usable},
            {"reason", textOrNull(verdict.reason)},
            {"bufferFrames", verdict.bufferFrames},
            {"recordChannels", verdict.recordChannels},
            {"playChannels", verdict.playChannels},
            {"commandLine", textOrNull(verdict.commandLine)}};
}

} // namespace

std::string catalogueJson(const std::vector<CatalogueEntry>& entries) {
    return jsonText(
        {{"drivers", jsonArray(entries, catalogueEntryJson)}, {"notes", catalogueNotes(entries)}});
}

std::string deviceJson(const DeviceFacts& facts, const Verdict& verdict) {
    const InvalidFacts invalid = findInvalidFacts(facts);
    return jsonText({{"requestedName", facts.requestedName},
                     {"exitCode", 0},
                     {"driver", {{"name", facts.name}, {"version", facts.version}}},
                     {"inputs", directionJson(facts.inputs, invalid.inputs)},
                     {"outputs", directionJson(facts.outputs, invalid.outputs)},
                     {"bufferSize", bufferJson(facts, invalid)},
                     {"sampleRate", sampleRateJson(facts)},
                     {"clockSources", clockSourcesJson(facts)},
                     {"latency", latencyJson(facts.latency)},
                     {"verdict", verdictJson(verdict)}});
}

std::string failureJson(const DeviceFacts& facts, int exitCode, const std::string& error) {
    return jsonText({{"requestedName", facts.requestedName},
                     {"exitCode", exitCode},
                     {"error", error},
                     {"driverMessage", textOrNull(facts.errorMessage)}});
}
