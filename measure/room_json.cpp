#include "measure/room_json.h"

#include <string>

#include "measure/json_files.h"

namespace measure {

namespace {

Json decayJson(const room::DecayFigure& f) {
    if (!f.given)
        return Json(nullptr);
    const room::LineFit& fit = f.fit;
    return Json{{"seconds", rounded(fit.seconds(), 1e-4)},
                {"r", rounded(fit.correlation, 1e-6)},
                {"xi", rounded(fit.nonLinearity(), 1e-3)},
                {"fromSeconds", rounded(fit.fromSeconds, 1e-5)},
                {"toSeconds", rounded(fit.toSeconds, 1e-5)},
                {"slopeDbPerSecond", rounded(fit.slopeDbPerSecond, 1e-3)},
                {"interceptDb", rounded(fit.interceptDb, 1e-3)}};
}

Json figureJson(const room::Figure& f, double step) {
    return f.given ? Json(rounded(f.value, step)) : Json(nullptr);
}

Json bandJson(const room::BandFigures& b, double rate) {
    Json out{{"band", b.name}};
    out["hz"] = b.mid > 0.0 ? Json(rounded(b.mid, 1e-3)) : Json(nullptr);
    out["noiseDb"] = rounded(b.noiseDb, 0.01);
    out["peakToNoiseDb"] = figureJson(b.peakToNoise, 0.01);
    out["decayRangeDb"] = b.decayFound ? Json(rounded(b.decayRangeDb, 0.01)) : Json(nullptr);
    out["crossSeconds"] = b.decayFound
                              ? Json(rounded(static_cast<double>(b.crossFrame) / rate, 1e-4))
                              : Json(nullptr);
    out["edt"] = decayJson(b.edt);
    out["t20"] = decayJson(b.t20);
    out["t30"] = decayJson(b.t30);
    out["c50Db"] = figureJson(b.c50, 0.001);
    out["c80Db"] = figureJson(b.c80, 0.001);
    out["d50Percent"] = figureJson(b.d50, 0.001);
    out["tsMs"] = figureJson(b.ts, 0.001);
    Json reasons = Json::object();
    const std::pair<const char*, const std::string*> named[] = {
        {"edt", &b.edt.reason},   {"t20", &b.t20.reason},
        {"t30", &b.t30.reason},   {"c50Db", &b.c50.reason},
        {"c80Db", &b.c80.reason}, {"d50Percent", &b.d50.reason},
        {"tsMs", &b.ts.reason},   {"peakToNoiseDb", &b.peakToNoise.reason}};
    for (const auto& [name, reason] : named)
        if (!reason->empty())
            reasons[name] = *reason;
    out["reasons"] = std::move(reasons);
    out["decayCurve"] =
        Json{{"stepSeconds", room::kCurveStepSeconds}, {"db", jsonArray(b.curveDb, hundredths)}};
    return out;
}

std::string cell(const room::Figure& f, const char* format) {
    if (!f.given)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, format, f.value);
    return text;
}

std::string cell(const room::DecayFigure& f) {
    return cell(room::Figure{f.given, f.given ? f.fit.seconds() : 0.0, ""}, "%.3f");
}

} // namespace

Json roomJson(const room::RoomFigures& figures) {
    if (!figures.found)
        return Json{{"reason", figures.reason}};
    Json out{
        {"bands", room::bandWidthName(figures.width)},
        {"onsetFrame", figures.onsetFrame},
        {"onsetSeconds", rounded(static_cast<double>(figures.onsetFrame) / figures.rate, 1e-6)}};
    out["figures"] = jsonArray(
        figures.bands, [&](const room::BandFigures& band) { return bandJson(band, figures.rate); });
    return out;
}

void printRoomTable(std::FILE* out, const std::string& heading, const room::RoomFigures& figures) {
    std::fprintf(out, "%s (%s bands):\n", heading.c_str(), room::bandWidthName(figures.width));
    if (!figures.found) {
        std::fprintf(out, "  room: %s\n", figures.reason.c_str());
        return;
    }
    std::fprintf(out, "  %-9s %7s %7s %7s %7s %7s %7s %7s %7s\n", "band", "T30 s", "T20 s", "EDT s",
                 "C50 dB", "C80 dB", "D50 %", "Ts ms", "PNR dB");
    for (const room::BandFigures& b : figures.bands)
        std::fprintf(out, "  %-9s %7s %7s %7s %7s %7s %7s %7s %7s\n", b.name.c_str(),
                     cell(b.t30).c_str(), cell(b.t20).c_str(), cell(b.edt).c_str(),
                     cell(b.c50, "%.2f").c_str(), cell(b.c80, "%.2f").c_str(),
                     cell(b.d50, "%.1f").c_str(), cell(b.ts, "%.1f").c_str(),
                     cell(b.peakToNoise, "%.1f").c_str());
}

void addRoomFigures(ChannelResult& channel, int rate, room::BandWidth bands) {
    if (channel.belowNoise)
        return;
    channel.room = room::analyseRoom(channel.impulseSamples, rate, bands);
    channel.hasRoom = true;
}

} // namespace measure
