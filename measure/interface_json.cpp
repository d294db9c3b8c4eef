#include "measure/interface_json.h"

#include "measure/json_files.h"

namespace measure {

namespace {

Json figureJson(const Figure& f) {
    Json out{{"key", f.key}, {"label", f.label}, {"value", Json()}, {"unit", f.unit}};
    // Percentages of very clean devices need more than two decimals.
    if (f.measured)
        out["value"] = f.unit == "%" ? rounded(f.value, 1e-6) : rounded(f.value, 0.001);
    if (!f.mark.empty())
        out["mark"] = f.mark;
    out["definition"] = f.definition;
    return out;
}

// [x, y] pairs; a clipped point is [x, null].
Json curveJson(const std::vector<CurvePoint>& points, double xStep) {
    return jsonArray(points, [xStep](const CurvePoint& p) {
        return Json::array({rounded(p.x, xStep), p.clipped ? Json() : Json(rounded(p.y, 0.001))});
    });
}

Json pairJson(const InterfacePair& p) {
    const Json response = jsonArray(p.response, [](const ResponsePoint& r) {
        return Json::array({rounded(r.hz, 0.01), rounded(r.db, 0.001)});
    });
    const Json crosstalk = jsonArray(p.crosstalk, [](const CrosstalkReading& c) {
        return Json{{"input", c.input},
                    {"hz", rounded(c.hz, 0.001)},
                    {"db", c.measured ? Json(rounded(c.db, 0.001)) : Json()}};
    });
    return Json{{"output", p.output},
                {"input", p.input},
                {"figures", jsonArray(p.figures, figureJson)},
                {"latencyVerdict", p.latencyVerdict},
                {"response", response},
                {"noiseSpectrum", curveJson(p.noiseSpectrum, 0.01)},
                {"noiseBinHz", rounded(p.noiseBinHz, 1e-6)},
                {"thdnAgainstLevel", curveJson(p.thdnAgainstLevel, 0.01)},
                {"thdnAgainstFrequency", curveJson(p.thdnAgainstFrequency, 0.001)},
                {"smpteSpectrum", curveJson(p.smpteSpectrum, 0.01)},
                {"ccifSpectrum", curveJson(p.ccifSpectrum, 0.01)},
                {"crosstalk", crosstalk}};
}

} // namespace

std::string interfaceResultsJson(const InterfaceResults& r, const std::string& programVersion) {
    const DeviceSetup& s = r.setup;
    Json out{{"kind", "interface"}, {"complete", r.complete}};
    if (!r.error.empty())
        out["error"] = r.error;
    out["device"] = r.device;
    if (!s.driverName.empty()) {
        out["driver"] = {{"name", s.driverName}, {"version", s.driverVersion}};
        out["rate"] = s.rate;
        out["buffer"] = s.bufferFrames;
        out["latencies"] = s.latencyResult == ASE_OK
                               ? Json{{"input", s.inputLatency}, {"output", s.outputLatency}}
                               : Json();
    }
    out["date"] = r.date;
    out["programVersion"] = programVersion;
    if (!r.complete)
        return jsonText(out, 2) + "\n";
    out["quick"] = r.quick;
    out["band"] = {{"from", 20.0}, {"to", 20000.0}, {"unit", "Hz"}};
    out["windowFrames"] = r.windowFrames;
    out["noiseFrames"] = r.noiseFrames;
    out["takeSeconds"] = rounded(r.takeSeconds, 0.001);
    out["retakes"] = r.retakes;
    out["lostBlocks"] = s.lostBlocks;
    out["takes"] = jsonArray(r.takes, [](const TakeRecord& t) {
        return Json{{"output", t.output},
                    {"take", t.repeat == 1 ? "sweep" : "tones"},
                    {"attempts", t.lostBlocks.size()},
                    {"lostBlocks", t.lostBlocks}};
    });
    out["pairs"] = jsonArray(r.pairs, pairJson);
    return jsonText(out, 2) + "\n";
}

} // namespace measure
