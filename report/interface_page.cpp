#include "report/interface_page.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "report/report_page.h"
#include "report/svg_plot.h"

namespace report {

namespace {

using Json = nlohmann::json;

const char* const kExtraStyle = R"(<style>
table#datasheet td{text-align:right;white-space:nowrap}
table#datasheet td.marked{text-align:center;color:#8a4b00}
table#datasheet td.marked small{display:block;color:#555;white-space:normal;max-width:220px}
dl.definitions dt{font-weight:bold;font-size:13px;margin-top:6px}
dl.definitions dd{margin:0 0 0 16px;font-size:13px;color:#333}
</style>)";

const Json& arrayAt(const Json& j, const char* key) {
    static const Json empty = Json::array();
    const auto found = j.find(key);
    return found != j.end() && found->is_array() ? *found : empty;
}

std::string text(const Json& j, const char* key) {
    const auto found = j.find(key);
    return found != j.end() && found->is_string() ? escapeHtml(found->get<std::string>())
                                                  : "\u2014";
}

std::string number(const Json& j, const char* key, int decimals, const char* unit = "") {
    const auto found = j.find(key);
    if (found == j.end() || !found->is_number())
        return "\u2014";
    return formatNumber(found->get<double>(), decimals) + unit;
}

std::string pairName(const Json& pair) {
    return "Output " + number(pair, "output", 0) + " \u2192 input " + number(pair, "input", 0);
}

std::string pairId(const Json& pair) {
    return "pair-o" + number(pair, "output", 0) + "-i" + number(pair, "input", 0);
}

// Hz to whole hertz, percentages to four significant digits, dB to two places.
std::string figureValue(const Json& figure) {
    const Json& v = figure.at("value");
    const std::string unit = figure.value("unit", "");
    if (!v.is_number())
        return "";
    const double x = v.get<double>();
    if (unit == "%") {
        char out[32];
        std::snprintf(out, sizeof out, "%.4g", x);
        return std::string(out) + " %";
    }
    if (unit == "Hz" || unit == "frames")
        return formatNumber(x, 0) + " " + unit;
    return formatNumber(x, 2) + " " + unit;
}

const Json* figureOf(const Json& pair, const std::string& key) {
    for (const Json& f : arrayAt(pair, "figures"))
        if (f.value("key", "") == key)
            return &f;
    return nullptr;
}

std::vector<std::pair<double, double>> pointsOf(const Json& curve) {
    std::vector<std::pair<double, double>> points;
    for (const Json& p : curve)
        if (p.is_array() && p.size() == 2 && p[0].is_number())
            points.emplace_back(p[0].get<double>(), p[1].is_number() ? p[1].get<double>() : NAN);
    return points;
}

// Spectra of clean devices reach far below anything of interest: the axis
// stops at -180 dB, and the plot's frame cuts what lies lower.
Axis floored(Axis axis) {
    axis.low = std::max(axis.low, -180.0);
    axis.high = std::max(axis.high, axis.low + axis.step);
    return axis;
}

class InterfacePage {
  public:
    explicit InterfacePage(const Json& root) : root_(root), pairs_(arrayAt(root, "pairs")) {}

    std::string render() const {
        std::string out = pageStart("Interface report: " + text(root_, "device"), kExtraStyle,
                                    root_.value("complete", false), text(root_, "error"));
        out += facts() + datasheet() + definitions();
        for (const Json& pair : pairs_)
            out += pairSection(pair);
        return out + "</body></html>\n";
    }

  private:
    const Json& root_;
    const Json& pairs_;

    std::string facts() const {
        const Json driver = root_.value("driver", Json::object());
        std::string out = "<h2>Measurement</h2><table id=\"facts\">";
        auto row = [&out](const std::string& name, const std::string& value) {
            out += "<tr><th>" + name + "</th><td>" + value + "</td></tr>";
        };
        row("Device", text(root_, "device"));
        row("Driver", text(driver, "name") + ", version " + number(driver, "version", 0));
        row("Rate", number(root_, "rate", 0, " Hz"));
        row("Buffer", number(root_, "buffer", 0, " frames"));
        row("Analysis", "coherent tones in windows of " + number(root_, "windowFrames", 0) +
                            " frames; noise over " + number(root_, "noiseFrames", 0) +
                            " frames; band 20 Hz to 20 kHz" +
                            (root_.value("quick", false) ? "; quick" : ""));
        row("Takes", number(root_, "takeSeconds", 1, " s") + ", " + number(root_, "retakes", 0) +
                         " retaken for lost blocks");
        row("Date", text(root_, "date"));
        row("Program", "tandemwav-measure " + text(root_, "programVersion"));
        return out + "</table>\n";
    }

    // One row per figure, in the first pair's order; one column per pair.
    std::string datasheet() const {
        if (pairs_.empty())
            return "";
        std::string out = "<h2>Data sheet</h2><table id=\"datasheet\"><tr><th>figure</th>";
        for (const Json& pair : pairs_)
            out += "<th><a href=\"#" + pairId(pair) + "\">" + pairName(pair) + "</a></th>";
        out += "</tr>";
        for (const Json& first : arrayAt(pairs_[0], "figures")) {
            const std::string key = first.value("key", "");
            out += "<tr data-key=\"" + escapeHtml(key) + "\"><th>" + text(first, "label") + "</th>";
            for (const Json& pair : pairs_)
                out += cell(figureOf(pair, key));
            out += "</tr>";
        }
        out += "<tr data-key=\"latencyVerdict\"><th>Latency verdict</th>";
        for (const Json& pair : pairs_)
            out += "<td class=\"marked\">" + text(pair, "latencyVerdict") + "</td>";
        return out + "</tr></table>\n";
    }

    static std::string cell(const Json* figure) {
        if (!figure)
            return "<td>\u2014</td>";
        const std::string value = figureValue(*figure);
        if (!value.empty())
            return "<td>" + value + "</td>";
        return "<td class=\"marked\">\u2014<small>" + text(*figure, "mark") + "</small></td>";
    }

    std::string definitions() const {
        if (pairs_.empty())
            return "";
        std::set<std::string> seen;
        std::string out = "<h2>Definitions</h2><dl class=\"definitions\">";
        for (const Json& f : arrayAt(pairs_[0], "figures")) {
            const std::string d = f.value("definition", "");
            if (seen.insert(d).second)
                out += "<dt>" + text(f, "label") + "</dt><dd>" + escapeHtml(d) + "</dd>";
        }
        return out + "</dl>\n";
    }

    std::string pairSection(const Json& pair) const {
        const std::string id = pairId(pair);
        std::string out = "<section class=\"pair\" id=\"" + id + "\"><h3>" + pairName(pair) +
                          "</h3><div class=\"plots\">";
        out += response(pair, id) + noise(pair, id) + thdnLevel(pair, id) +
               thdnFrequency(pair, id) + imd(pair, id, "smpteSpectrum", "smpte") +
               imd(pair, id, "ccifSpectrum", "ccif") + crosstalk(pair, id);
        return out + "</div>" + foldingNote(pair) + "</section>\n";
    }

    // The level axis, in dB, holds the curves and spans `span` at least;
    // `floor`: it stops at -180 dB.
    std::string plot(const std::string& id, const char* kind, const std::string& title, Axis x,
                     double span, const char* yTitle, const std::vector<Curve>& curves,
                     bool floor = false) const {
        const auto [low, high] = levelRange(curves);
        const Axis y = levelAxis(low, high, span, "dB", yTitle);
        PlotFrame f{id + "-" + kind, kind, title, std::move(x), floor ? floored(y) : y, {}};
        return svgPlot(f, curves);
    }

    std::string response(const Json& pair, const std::string& id) const {
        const auto points = pointsOf(arrayAt(pair, "response"));
        if (points.empty())
            return "";
        return plot(id, "response", "Frequency response (0 dB at 1 kHz)",
                    frequencyAxis(points.front().first, points.back().first), 6.0, "level",
                    {{"response", "#1f5fbf", points, 0.0, false}});
    }

    std::string noise(const Json& pair, const std::string& id) const {
        const auto points = pointsOf(arrayAt(pair, "noiseSpectrum"));
        if (points.empty())
            return "";
        return plot(id, "noise",
                    "Noise spectrum, dBFS per bin of " + number(pair, "noiseBinHz", 3, " Hz"),
                    frequencyAxis(20.0, 20000.0), 24.0, "level",
                    {{"noise", "#2e8b57", points, 0.0, false}});
    }

    std::string thdnLevel(const Json& pair, const std::string& id) const {
        const auto points = pointsOf(arrayAt(pair, "thdnAgainstLevel"));
        if (points.empty())
            return "";
        return plot(id, "thdn-level", "THD+N against level, 997 Hz" + clippedNote(points),
                    linearAxis(-60.0, 0.0, 6.0, "dBFS", "level (dBFS)"), 24.0, "THD+N",
                    {{"THD+N", "#c0392b", points, 0.0, false}});
    }

    std::string thdnFrequency(const Json& pair, const std::string& id) const {
        const auto points = pointsOf(arrayAt(pair, "thdnAgainstFrequency"));
        if (points.empty())
            return "";
        return plot(id, "thdn-frequency", "THD+N against frequency, -1 dBFS" + clippedNote(points),
                    frequencyAxis(20.0, 20000.0), 24.0, "THD+N",
                    {{"THD+N", "#c0392b", points, 0.0, false}});
    }

    std::string imd(const Json& pair, const std::string& id, const char* key,
                    const char* kind) const {
        const auto points = pointsOf(arrayAt(pair, key));
        if (points.empty())
            return "";
        const bool smpte = std::string(kind) == "smpte";
        const double low = points.front().first, high = points.back().first;
        const double step = smpte ? 100.0 : 2000.0;
        return plot(id, kind,
                    smpte ? "SMPTE IMD spectrum around 7 kHz, dBFS" : "CCIF IMD spectrum, dBFS",
                    linearAxis(std::floor(low / step) * step, std::ceil(high / step) * step, step,
                               "Hz", "frequency (Hz)"),
                    60.0, "level", {{"spectrum", "#7a3db8", points, 0.0, false}}, true);
    }

    std::string crosstalk(const Json& pair, const std::string& id) const {
        std::vector<Curve> curves;
        const char* colours[] = {"#1f5fbf", "#2e8b57", "#c0392b", "#7a3db8", "#b8860b"};
        for (const Json& r : arrayAt(pair, "crosstalk")) {
            const std::string name = "input " + number(r, "input", 0);
            auto found = std::find_if(curves.begin(), curves.end(),
                                      [&](const Curve& c) { return c.name == name; });
            if (found == curves.end()) {
                curves.push_back({name, colours[curves.size() % 5], {}, 0.0, false});
                found = curves.end() - 1;
            }
            const double db = r.value("db", Json()).is_number() ? r["db"].get<double>() : NAN;
            found->points.emplace_back(r.value("hz", 0.0), db);
        }
        if (curves.empty())
            return "";
        return plot(id, "crosstalk", "Crosstalk into the other inputs",
                    frequencyAxis(20.0, 20000.0), 24.0, "against the direct path", curves);
    }

    static std::string clippedNote(const std::vector<std::pair<double, double>>& points) {
        for (const auto& p : points)
            if (!std::isfinite(p.second))
                return " (gaps: clipped)";
        return "";
    }

    std::string foldingNote(const Json& pair) const {
        if (arrayAt(pair, "thdnAgainstFrequency").empty())
            return "";
        return "<p class=\"note\">A digital device, like the loopback's model, folds harmonics "
               "above half the rate (" +
               number(root_, "rate", 0) +
               " Hz / 2) back into the band: above a sixth of the rate the third harmonic "
               "returns below 20 kHz and counts in THD+N, as it would on such a device.</p>";
    }
};

} // namespace

std::string interfacePage(const nlohmann::json& root) {
    return InterfacePage(root).render();
}

} // namespace report
