#include "measure/json_files.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <fstream>
#include <utility>

#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "measure/room_json.h"

namespace measure {

double rounded(double value, double step) {
    return std::round(value / step) * step;
}

namespace {

Json sweepResultJson(const SweepPlan& plan, const std::vector<double>& bandLimitEtcDb) {
    Json out{{"from", plan.from},       {"to", plan.to},           {"sweptFrom", plan.sweptFrom},
             {"sweptTo", plan.sweptTo}, {"seconds", plan.seconds}, {"level", plan.levelDb}};
    if (!bandLimitEtcDb.empty())
        out["bandLimitEtc"] = {{"fromMs", kBandLimitEtcFromMs},
                               {"stepMs", kBandLimitEtcStepMs},
                               {"db", jsonArray(bandLimitEtcDb, hundredths)}};
    return out;
}

Json responseJson(const std::vector<ResponsePoint>& points) {
    return jsonArray(points, [](const ResponsePoint& p) {
        Json point{{"hz", rounded(p.hz, 1e-3)}, {"db", rounded(p.db)}, {"deg", rounded(p.deg)}};
        if (p.belowResolution)
            point["belowResolution"] = true;
        if (p.belowGate)
            point["belowGate"] = true;
        if (!p.calibrated)
            point["calibrated"] = false;
        return point;
    });
}

} // namespace

Json channelJson(const ChannelResult& c, int rate) {
    Json out{{"input", c.input}, {"belowNoise", c.belowNoise}};
    if (c.belowNoise && !c.noiseMeasured)
        out["silent"] = true; // nothing but zeros came back
    if (c.belowNoise)
        return out;
    out["delayFrames"] = c.delayFrames;
    out["peakRecordingFrame"] = c.peakRecordingFrame;
    out["snrDb"] = c.noiseMeasured ? Json(hundredths(c.snrDb)) : Json(nullptr);
    out["noiseFloorDb"] = c.noiseMeasured ? Json(hundredths(c.noiseFloorDb)) : Json(nullptr);
    if (c.hasRelativeDelay) {
        out["relativeDelayFrames"] = hundredths(c.relativeDelayFrames);
        out["relativeDelayMs"] = rounded(c.relativeDelayFrames * 1000.0 / rate);
    }
    out["impulseResponse"] = c.impulseResponse;
    if (!c.frd.empty()) {
        out["frd"] = c.frd;
        out["csv"] = c.csv;
    }
    out["peak"] = c.peak;
    out["clippedSamples"] = c.clippedSamples;
    out["response"] = responseJson(c.response);
    if (!c.gatedResponse.empty())
        out["gatedResponse"] = responseJson(c.gatedResponse);
    if (!c.smoothedResponse.empty())
        out["smoothedResponse"] = responseJson(c.smoothedResponse);
    out["harmonics"] = jsonArray(c.harmonics, [](const HarmonicCurve& curve) {
        return Json{{"order", curve.order},
                    {"points", jsonArray(curve.points, [](const LevelPoint& p) {
                         Json point{{"hz", rounded(p.hz, 1e-3)}, {"db", rounded(p.db)}};
                         if (p.belowNoise)
                             point["belowNoise"] = true;
                         return point;
                     })}};
    });
    out["thd"] = jsonArray(c.thd, [](const ThdPoint& p) {
        return Json{{"hz", rounded(p.hz, 1e-3)}, {"percent", rounded(p.percent, 1e-5)}};
    });
    if (c.hasRoom)
        out["room"] = roomJson(c.room);
    return out;
}

std::string sweepParametersJson(const SweepPlan& plan) {
    Json out{{"rate", plan.rate},           {"from", plan.from},       {"to", plan.to},
             {"sweptFrom", plan.sweptFrom}, {"sweptTo", plan.sweptTo}, {"seconds", plan.seconds},
             {"level", plan.levelDb}};
    out["tail"] = plan.tail;
    out["rateConstant"] = plan.rateConstant;
    out["amplitude"] = plan.amplitude;
    out["channels"] = plan.channels;
    out["on"] = plan.on;
    out["silenceBeforeFrames"] = plan.silenceBefore;
    out["sweepFrames"] = plan.sweepFrames;
    out["silenceAfterFrames"] = plan.silenceAfter;
    out["fadeInFrames"] = plan.fadeInFrames;
    out["fadeOutFrames"] = plan.fadeOutFrames;
    out["frames"] = plan.totalFrames();
    return jsonText(out, 2) + "\n";
}

SweepPlan readSweepParameters(const std::string& path) {
    const std::string missing =
        "Error: The sweep's parameters " + path + " are missing or unreadable";
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Failure(kNoParameters, missing + "; make the sweep with tandemwav-measure sweep!");
    try {
        const Json j = Json::parse(in);
        SweepPlan plan;
        plan.rate = j.at("rate").get<int>();
        plan.from = j.at("from").get<double>();
        plan.to = j.at("to").get<double>();
        plan.sweptFrom = j.at("sweptFrom").get<double>();
        plan.sweptTo = j.at("sweptTo").get<double>();
        plan.seconds = j.at("seconds").get<double>();
        plan.levelDb = j.at("level").get<double>();
        plan.rateConstant = j.at("rateConstant").get<double>();
        plan.amplitude = j.at("amplitude").get<double>();
        plan.channels = j.at("channels").get<int>();
        plan.on = j.at("on").get<int>();
        plan.silenceBefore = j.at("silenceBeforeFrames").get<int64_t>();
        plan.sweepFrames = j.at("sweepFrames").get<int64_t>();
        plan.silenceAfter = j.at("silenceAfterFrames").get<int64_t>();
        // Files made before the tail was recorded hold only its frames.
        plan.tail = j.value("tail", static_cast<double>(plan.silenceAfter) / plan.rate);
        plan.fadeInFrames = j.at("fadeInFrames").get<int64_t>();
        plan.fadeOutFrames = j.at("fadeOutFrames").get<int64_t>();
        const bool sound = plan.rate > 0 && plan.sweptFrom > 0 && plan.sweptFrom < plan.sweptTo &&
                           plan.from >= plan.sweptFrom && plan.to <= plan.sweptTo &&
                           plan.from < plan.to && plan.rateConstant > 0 && plan.amplitude > 0 &&
                           plan.silenceBefore >= 0 && plan.sweepFrames > 0 &&
                           plan.silenceAfter >= 0;
        if (!sound)
            throw Failure(kNoParameters, missing + " (values out of range)!");
        return plan;
    } catch (const Json::exception& e) {
        throw Failure(kNoParameters, missing + " (" + e.what() + ")!");
    }
}

Json resultsHeadJson(bool complete, const std::string& error, const SweepPlan& plan,
                     const std::vector<double>& bandLimitEtcDb) {
    Json out{{"complete", complete}};
    if (!error.empty())
        out["error"] = error;
    if (plan.rate > 0) {
        out["rate"] = plan.rate;
        out["sweep"] = sweepResultJson(plan, bandLimitEtcDb);
    }
    return out;
}

std::string resultsJson(const Results& results) {
    Json out =
        resultsHeadJson(results.complete, results.error, results.sweep, results.bandLimitEtcDb);
    for (const auto& [key, value] : {std::pair{"sweepFile", &results.sweepFile},
                                     {"recording", &results.recording},
                                     {"date", &results.date},
                                     {"programVersion", &results.programVersion}})
        if (!value->empty())
            out[key] = *value;
    if (results.complete) {
        std::vector<const ChannelResult*> analysed;
        for (const ChannelResult& channel : results.channels)
            analysed.push_back(&channel);
        addAnalysisFields(results.gateMs, results.smoothing, results.reference, analysed,
                          results.harmonicsCounted, results.clippedSamples, out);
        out["channels"] = jsonArray(results.channels, [&](const ChannelResult& c) {
            return channelJson(c, results.sweep.rate);
        });
    }
    return jsonText(out, 2) + "\n";
}

std::string utcDate() {
    const std::time_t now = std::time(nullptr);
    char text[32] = "";
    if (const std::tm* utc = std::gmtime(&now))
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    return text;
}

void addAnalysisFields(double gateMs, int smoothing, int reference,
                       const std::vector<const ChannelResult*>& channels, int harmonics,
                       uint64_t clippedSamples, Json& out) {
    if (gateMs > 0.0)
        out["gateMs"] = gateMs;
    if (smoothing > 0)
        out["smoothing"] = smoothing;
    if (reference > 0)
        out["reference"] = reference;
    Json calibration = Json::array();
    std::vector<int> listed; // run's pairs hold each input once per output
    for (const ChannelResult* channel : channels) {
        if (channel->calibrationFile.empty() ||
            std::find(listed.begin(), listed.end(), channel->input) != listed.end())
            continue;
        listed.push_back(channel->input);
        calibration.push_back({{"input", channel->input}, {"file", channel->calibrationFile}});
    }
    if (!calibration.empty())
        out["calibration"] = std::move(calibration);
    out["harmonicsCounted"] = harmonics;
    out["clippedSamples"] = clippedSamples;
}

} // namespace measure
