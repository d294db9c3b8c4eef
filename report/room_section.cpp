#include "report/room_section.h"

#include <algorithm>
#include <cmath>

#include "report/svg_plot.h"

namespace report {

namespace {

using Json = nlohmann::json;

struct Column {
    const char* key;
    const char* field; // inside the key's object, or null for a plain number
    const char* title;
    int decimals;
};

const Column kColumns[] = {{"t30", "seconds", "T30 (s)", 3},
                           {"t30", "r", "r", 4},
                           {"t30", "xi", "\u03be (\u2030)", 1},
                           {"t20", "seconds", "T20 (s)", 3},
                           {"t20", "r", "r", 4},
                           {"t20", "xi", "\u03be (\u2030)", 1},
                           {"edt", "seconds", "EDT (s)", 3},
                           {"c50Db", nullptr, "C50 (dB)", 2},
                           {"c80Db", nullptr, "C80 (dB)", 2},
                           {"d50Percent", nullptr, "D50 (%)", 1},
                           {"tsMs", nullptr, "Ts (ms)", 1},
                           {"peakToNoiseDb", nullptr, "PNR (dB)", 1},
                           {"decayRangeDb", nullptr, "decay above noise (dB)", 1}};

// The figure's number, or null when it is absent.
const Json* numberOf(const Json& band, const Column& c) {
    const auto found = band.find(c.key);
    if (found == band.end())
        return nullptr;
    if (c.field == nullptr)
        return found->is_number() ? &*found : nullptr;
    if (!found->is_object())
        return nullptr;
    const auto inner = found->find(c.field);
    return inner != found->end() && inner->is_number() ? &*inner : nullptr;
}

std::string reasonOf(const Json& band, const char* key) {
    const auto reasons = band.find("reasons");
    if (reasons == band.end() || !reasons->is_object())
        return "";
    const auto reason = reasons->find(key);
    return reason != reasons->end() && reason->is_string() ? reason->get<std::string>() : "";
}

std::string bandName(const Json& band) {
    const std::string name = band.value("band", std::string("?"));
    return escapeHtml(name == "broadband" ? name : name + " Hz");
}

std::string table(const Json& figures, const std::string& id) {
    std::string out = "<table class=\"room\" id=\"" + id + "-room-table\"><tr><th>band</th>";
    for (const Column& c : kColumns)
        out += "<th>" + std::string(c.title) + "</th>";
    out += "</tr>";
    std::string notes;
    for (const Json& band : figures) {
        out += "<tr><th>" + bandName(band) + "</th>";
        for (const Column& c : kColumns) {
            const Json* value = numberOf(band, c);
            if (value != nullptr) {
                out += "<td>" + formatNumber(value->get<double>(), c.decimals) + "</td>";
                continue;
            }
            const std::string reason = reasonOf(band, c.key);
            out += reason.empty() ? "<td>\u2014</td>"
                                  : "<td title=\"" + escapeHtml(reason) + "\">\u2014*</td>";
            if (!reason.empty() && (c.field == nullptr || std::string(c.field) == "seconds"))
                notes +=
                    "<li>" + bandName(band) + ", " + c.title + ": " + escapeHtml(reason) + "</li>";
        }
        out += "</tr>";
    }
    out += "</table>";
    if (!notes.empty())
        out += "<p class=\"note\">* absent, and why:</p><ul class=\"note\">" + notes + "</ul>";
    return out;
}

// dashed: drawn over the others, for a line that often lies on another.
Curve fittedLine(const Json& band, const char* key, const char* name, const char* colour,
                 bool dashed = false) {
    Curve line{name, colour, {}, 0.0, dashed};
    const auto fit = band.find(key);
    if (fit == band.end() || !fit->is_object())
        return line;
    const double slope = fit->value("slopeDbPerSecond", 0.0);
    const double intercept = fit->value("interceptDb", 0.0);
    for (const char* end : {"fromSeconds", "toSeconds"}) {
        const double t = fit->value(end, 0.0);
        line.points.emplace_back(t, intercept + slope * t);
    }
    return line;
}

std::string decayPlot(const Json& band, const std::string& id) {
    const Json& curve = band.contains("decayCurve") ? band["decayCurve"] : Json::object();
    const double step = curve.value("stepSeconds", 0.005);
    Curve decay{"decay", "#555555", {}, 0.0, false};
    double low = 0.0;
    if (curve.contains("db") && curve["db"].is_array())
        for (const Json& db : curve["db"])
            if (db.is_number()) {
                decay.points.emplace_back(step * static_cast<double>(decay.points.size()),
                                          db.get<double>());
                low = std::min(low, db.get<double>());
            }
    const double last = std::max(step, decay.points.empty() ? step : decay.points.back().first);
    PlotFrame frame{id,
                    "decay",
                    "Decay, " + bandName(band) + ": EDT, T20 and T30 lines over their ranges",
                    linearAxis(0.0, last, last > 2.0 ? 0.5 : (last > 0.8 ? 0.2 : 0.1), "s",
                               "time from the onset (s)"),
                    levelAxis(std::max(low, -100.0), 0.0, 40.0, "dB", "level"),
                    {}};
    frame.y.high = 0.0;
    return svgPlot(frame, {decay, fittedLine(band, "edt", "EDT", "#2e8b57"),
                           fittedLine(band, "t30", "T30", "#c0392b"),
                           fittedLine(band, "t20", "T20", "#1f5fbf", true)});
}

} // namespace

std::string roomSection(const Json& room, const std::string& id) {
    std::string out = "<section class=\"room\" id=\"" + id + "-room\"><h3>Room acoustics (" +
                      escapeHtml(room.value("bands", std::string("octave"))) + " bands)</h3>";
    if (!room.contains("figures") || !room["figures"].is_array())
        return out + "<p class=\"note\">No figures: " +
               escapeHtml(room.value("reason", std::string("none were computed"))) +
               ".</p></section>\n";
    const Json& figures = room["figures"];
    out += "<p class=\"note\">Times from the direct sound's onset, " +
           formatNumber(room.value("onsetSeconds", 0.0) * 1000.0, 3) +
           " ms into the response. Decay curves by Schroeder's backward integration, the "
           "noise handled by Lundeby's method.</p>";
    out += table(figures, id) + "<div class=\"plots\">";
    int index = 0;
    for (const Json& band : figures)
        out += decayPlot(band, id + "-decay-" + std::to_string(index++));
    return out + "</div></section>\n";
}

} // namespace report
