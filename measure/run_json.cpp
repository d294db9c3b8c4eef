#include "measure/run_json.h"

#include "measure/json_files.h"

namespace measure {

namespace {

Json pairJson(const PairResult& pair, const DeviceSetup& setup, int rate) {
    Json out{{"output", pair.output}};
    out.update(channelJson(pair.channel, rate));
    if (!pair.channel.belowNoise) {
        out["reportedLatencyFrames"] =
            setup.latencyResult == ASE_OK ? Json(setup.inputLatency + setup.outputLatency) : Json();
        out["latencyVerdict"] = pair.latencyVerdict;
    }
    return out;
}

Json crosstalkJson(const CrosstalkEntry& e) {
    Json out{{"output", e.output},
             {"input", e.input},
             {"db", e.hasDb ? Json(hundredths(e.db)) : Json()},
             {"db1k", e.hasDb1k ? Json(hundredths(e.db1k)) : Json()}};
    if (e.belowNoise)
        out["belowNoise"] = true;
    return out;
}

Json deviceFields(const RunResults& r) {
    const DeviceSetup& s = r.setup;
    return Json{{"device", r.device},
                {"driver", {{"name", s.driverName}, {"version", s.driverVersion}}},
                {"buffer", s.bufferFrames},
                {"latencies", s.latencyResult == ASE_OK
                                  ? Json{{"input", s.inputLatency}, {"output", s.outputLatency}}
                                  : Json()},
                {"lostBlocks", s.lostBlocks}};
}

Json takeJson(const TakeRecord& t) {
    return Json{{"output", t.output},
                {"repeat", t.repeat},
                {"attempts", t.lostBlocks.size()},
                {"lostBlocks", t.lostBlocks}};
}

Json overlapJson(const RunResults& r) {
    const OverlapPlan& o = r.overlapPlan;
    return Json{{"gapFrames", o.gapFrames},
                {"irSeconds", o.irSeconds},
                {"harmonics", o.harmonics},
                {"perGroup", o.perGroup},
                {"startFrames", o.outputs.starts},
                {"runSeconds", hundredths(r.runSeconds)},
                {"oneAfterAnotherSeconds", hundredths(r.oneAfterAnotherSeconds)}};
}

} // namespace

std::string runResultsJson(const RunResults& r, const std::string& programVersion) {
    Json out = resultsHeadJson(r.complete, r.error, r.plan, r.bandLimitEtcDb);
    if (!r.setup.driverName.empty())
        out.update(deviceFields(r));
    else
        out["device"] = r.device;
    out["date"] = r.date;
    out["programVersion"] = programVersion;
    if (!r.complete && !r.partial)
        return jsonText(out, 2) + "\n";
    std::vector<const ChannelResult*> channels;
    for (const PairResult& pair : r.pairs)
        channels.push_back(&pair.channel);
    addAnalysisFields(r.gateMs, r.smoothing, r.reference, channels, r.harmonics, r.clippedSamples,
                      out);
    out["repeats"] = r.repeats;
    out["averagingGainDb"] = hundredths(r.averagingGainDb);
    out["excludedRepeats"] = jsonArray(r.excluded, [](const ExcludedRepeat& e) {
        return Json{{"output", e.output},
                    {"repeat", e.repeat},
                    {"delayFrames", e.hasDelay ? Json(e.delayFrames) : Json()}};
    });
    out["takes"] = jsonArray(r.takes, takeJson);
    if (r.overlap)
        out["overlap"] = overlapJson(r);
    if (!r.complete)
        out["missingOutputs"] = r.missingOutputs;
    out["pairs"] =
        jsonArray(r.pairs, [&](const PairResult& p) { return pairJson(p, r.setup, r.plan.rate); });
    out["crosstalk"] = jsonArray(r.crosstalk, crosstalkJson);
    return jsonText(out, 2) + "\n";
}

} // namespace measure
