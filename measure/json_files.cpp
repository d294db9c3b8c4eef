#include "measure/json_files.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "measure/room_json.h"
#include "probe/json_writer.h"

namespace measure {

namespace {

// Figures to a tenth of a thousandth of their unit: far finer than any
// measurement, and short files.
double rounded(double value, double step = 1e-4) {
    return std::round(value / step) * step;
}

Json bandJson(const SweepPlan& plan) {
    return Json{{"from", plan.from},       {"to", plan.to},           {"sweptFrom", plan.sweptFrom},
                {"sweptTo", plan.sweptTo}, {"seconds", plan.seconds}, {"level", plan.levelDb}};
}

Json channelJson(const ChannelResult& c) {
    Json out{{"input", c.input}, {"belowNoise", c.belowNoise}};
    if (c.belowNoise)
        return out;
    out["delayFrames"] = c.delayFrames;
    out["peakRecordingFrame"] = c.peakRecordingFrame;
    out["snrDb"] = c.noiseMeasured ? Json(rounded(c.snrDb, 0.01)) : Json(nullptr);
    out["noiseFloorDb"] = c.noiseMeasured ? Json(rounded(c.noiseFloorDb, 0.01)) : Json(nullptr);
    out["impulseResponse"] = c.impulseResponse;
    out["peak"] = c.peak;
    out["clippedSamples"] = c.clippedSamples;
    Json response = Json::array();
    for (const ResponsePoint& p : c.response)
        response.push_back(
            {{"hz", rounded(p.hz, 1e-3)}, {"db", rounded(p.db)}, {"deg", rounded(p.deg)}});
    out["response"] = std::move(response);
    Json harmonics = Json::array();
    for (const HarmonicCurve& curve : c.harmonics) {
        Json points = Json::array();
        for (const LevelPoint& p : curve.points)
            points.push_back({{"hz", rounded(p.hz, 1e-3)}, {"db", rounded(p.db)}});
        harmonics.push_back({{"order", curve.order}, {"points", std::move(points)}});
    }
    out["harmonics"] = std::move(harmonics);
    Json thd = Json::array();
    for (const ThdPoint& p : c.thd)
        thd.push_back({{"hz", rounded(p.hz, 1e-3)}, {"percent", rounded(p.percent, 1e-5)}});
    out["thd"] = std::move(thd);
    if (c.hasRoom)
        out["room"] = roomJson(c.room);
    return out;
}

} // namespace

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

std::string resultsJson(const Results& results) {
    Json out{{"complete", results.complete}};
    if (!results.error.empty())
        out["error"] = results.error;
    if (results.sweep.rate > 0) {
        out["rate"] = results.sweep.rate;
        out["sweep"] = bandJson(results.sweep);
    }
    if (results.complete) {
        out["harmonicsCounted"] = results.harmonicsCounted;
        out["clippedSamples"] = results.clippedSamples;
        Json channels = Json::array();
        for (const ChannelResult& channel : results.channels)
            channels.push_back(channelJson(channel));
        out["channels"] = std::move(channels);
    }
    return jsonText(out, 2) + "\n";
}

std::string channelResultJson(const ChannelResult& channel) {
    return jsonText(channelJson(channel));
}

} // namespace measure
