#include "report/report_page.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>

#include "report/room_section.h"
#include "report/svg_plot.h"

namespace report {

namespace {

using Json = nlohmann::json;

const char* const kStyle = R"(<style>
body{font-family:"DejaVu Sans",Arial,sans-serif;margin:24px;color:#1d2430;background:#fff}
h1{font-size:22px;margin:0 0 12px}h2{font-size:18px;margin:28px 0 8px}
h3{font-size:16px;margin:22px 0 6px}
table{border-collapse:collapse;font-size:13px}
th,td{border:1px solid #c9ced6;padding:4px 8px;text-align:left}
th{background:#eef1f5}
td.xt{text-align:center;min-width:92px}
td.xt small{display:block;color:#333}
.banner{background:#f6d7d3;border:1px solid #c0392b;padding:8px;margin:8px 0;font-weight:bold}
.note{color:#555;font-size:13px}
.plots{display:flex;flex-wrap:wrap;gap:8px}
svg.plot{background:#fff;border:1px solid #dde1e6}
svg .grid{stroke:#edf0f3;stroke-width:1}
svg .grid.major{stroke:#c7ccd4}
svg .frame{fill:none;stroke:#5b6472;stroke-width:1}
svg .curve{fill:none;stroke-width:1.6}
svg text{font-size:11px;fill:#1d2430}
svg .plot-title{font-size:13px;font-weight:bold}
.swatch{display:inline-block;width:14px;height:10px;margin:0 4px 0 10px;border:1px solid #999}
</style>)";

bool numberAt(const Json& j, const char* key, double* value) {
    const auto found = j.find(key);
    if (found == j.end() || !found->is_number())
        return false;
    *value = found->get<double>();
    return std::isfinite(*value);
}

double numberOr(const Json& j, const char* key, double fallback) {
    double value = 0.0;
    return numberAt(j, key, &value) ? value : fallback;
}

// What a field shows: its text escaped, its number, or a dash.
std::string shown(const Json& j, const char* key, int decimals = -1, const char* unit = "") {
    const auto found = j.find(key);
    if (found == j.end() || found->is_null())
        return "\u2014";
    if (found->is_string())
        return escapeHtml(found->get<std::string>()) + unit;
    if (found->is_boolean())
        return found->get<bool>() ? "yes" : "no";
    if (found->is_number_integer() && decimals < 0)
        return std::to_string(found->get<long long>()) + unit;
    if (found->is_number())
        return formatNumber(found->get<double>(), decimals < 0 ? 2 : decimals) + unit;
    return "\u2014";
}

const Json& objectAt(const Json& j, const char* key) {
    static const Json empty = Json::object();
    const auto found = j.find(key);
    return found != j.end() && found->is_object() ? *found : empty;
}

const Json& arrayAt(const Json& j, const char* key) {
    static const Json empty = Json::array();
    const auto found = j.find(key);
    return found != j.end() && found->is_array() ? *found : empty;
}

std::string row(const std::string& name, const std::string& value) {
    return "<tr><th>" + name + "</th><td>" + value + "</td></tr>";
}

std::string pairName(const Json& pair) {
    const std::string input = "input " + shown(pair, "input");
    if (pair.contains("output"))
        return "Output " + shown(pair, "output") + " \u2192 " + input;
    return "Input " + shown(pair, "input");
}

std::string pairId(const Json& pair) {
    std::string id = "pair";
    if (pair.contains("output"))
        id += "-o" + std::to_string(static_cast<long long>(numberOr(pair, "output", 0)));
    return id + "-i" + std::to_string(static_cast<long long>(numberOr(pair, "input", 0)));
}

class Page {
  public:
    Page(const Json& root, const ImpulseLoader& load) : root_(root), load_(load) {}

    std::string render() {
        std::string out = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                          "<title>Measurement report: " +
                          deviceName() + "</title>" + kStyle + "</head><body>\n";
        out += "<h1>Measurement report: " + deviceName() + "</h1>\n";
        if (!root_.value("complete", false))
            out += "<p class=\"banner\" id=\"incomplete\">Incomplete: these results are not "
                   "complete. " +
                   shown(root_, "error") + missingOutputs() + "</p>\n";
        if (root_.contains("source"))
            return out + roomResponse() + "</body></html>\n";
        out += facts() + summary() + crosstalk();
        for (const Json& pair : pairs())
            out += pairSection(pair);
        return out + "</body></html>\n";
    }

  private:
    const Json& root_;
    const ImpulseLoader& load_;

    std::string deviceName() const {
        if (root_.contains("source"))
            return "room, " + shown(root_, "source");
        return root_.contains("device") ? shown(root_, "device") : "one recording";
    }

    // An impulse response from any tool (the room command): its file and
    // rate, then each channel's room figures.
    std::string roomResponse() const {
        std::string out = "<h2>Impulse response</h2><table id=\"facts\">";
        out += row("File", shown(root_, "source"));
        out += row("Rate", shown(root_, "rate", -1, " Hz"));
        out += "</table>\n";
        for (const Json& channel : arrayAt(root_, "channels")) {
            const std::string id = "channel-" + shown(channel, "input");
            out += "<section class=\"pair\" id=\"" + id + "\"><h3>Channel " +
                   shown(channel, "input") + "</h3>" + roomSection(objectAt(channel, "room"), id) +
                   "</section>\n";
        }
        return out;
    }

    const Json& pairs() const {
        return root_.contains("pairs") ? arrayAt(root_, "pairs") : arrayAt(root_, "channels");
    }

    std::string facts() const {
        const Json& driver = objectAt(root_, "driver");
        const Json& sweep = objectAt(root_, "sweep");
        const Json& latencies = objectAt(root_, "latencies");
        std::string out = "<h2>Measurement</h2><table id=\"facts\">";
        out += row("Device", shown(root_, "device"));
        out += row("Driver", shown(driver, "name") + ", version " + shown(driver, "version"));
        out += row("Buffer", shown(root_, "buffer", -1, " frames"));
        out += row("Rate", shown(root_, "rate", -1, " Hz"));
        out += row("Sweep", "reported " + shown(sweep, "from", 1) + " to " + shown(sweep, "to", 1) +
                                " Hz, swept " + shown(sweep, "sweptFrom", 1) + " to " +
                                shown(sweep, "sweptTo", 1) + " Hz, " + shown(sweep, "seconds", 2) +
                                " s, peak " + shown(sweep, "level", 1) + " dBFS");
        out += row("Reported latencies", "input " + shown(latencies, "input", -1) +
                                             " frames, output " + shown(latencies, "output", -1) +
                                             " frames");
        out += row("Repeats", shown(root_, "repeats") + ", averaging gain " +
                                  shown(root_, "averagingGainDb", 2, " dB"));
        out += row("Repeats left out", excludedRepeats());
        if (root_.contains("takes"))
            out += "<tr id=\"retakes\"><th>Retakes</th><td>" + retakes() + "</td></tr>";
        out += row("Date", shown(root_, "date"));
        out += row("Program", "tandemwav-measure " + shown(root_, "programVersion"));
        return out + "</table>\n";
    }

    std::string excludedRepeats() const {
        std::string out;
        for (const Json& e : arrayAt(root_, "excludedRepeats"))
            out += (out.empty() ? "" : "; ") + std::string("output ") + shown(e, "output") +
                   " repeat " + shown(e, "repeat") + " (delay " + shown(e, "delayFrames") +
                   " frames)";
        return out.empty() ? "none" : out;
    }

    // Every take that lost or repeated blocks, with each attempt's count.
    std::string retakes() const {
        std::string out;
        for (const Json& t : arrayAt(root_, "takes")) {
            const Json& lost = arrayAt(t, "lostBlocks");
            bool retaken = lost.size() > 1;
            for (const Json& n : lost)
                retaken = retaken || !(n.is_number() && n.get<double>() == 0.0);
            if (!retaken)
                continue;
            std::string counts;
            for (const Json& n : lost)
                counts += (counts.empty() ? "" : ", ") + (n.is_number() ? n.dump() : "?");
            out += (out.empty() ? "" : "; ") + std::string("output ") + shown(t, "output") +
                   " repeat " + shown(t, "repeat") + ": " + shown(t, "attempts") +
                   " attempt(s), blocks lost " + counts;
        }
        return out.empty() ? "none" : out;
    }

    // What a run that ended early did not measure.
    std::string missingOutputs() const {
        std::string out;
        for (const Json& n : arrayAt(root_, "missingOutputs"))
            out += (out.empty() ? "" : ", ") + (n.is_number() ? n.dump() : "?");
        return out.empty() ? "" : " Not measured: output(s) " + out + ".";
    }

    std::string summary() const {
        std::string out = "<h2>Pairs</h2><table id=\"pairs\"><tr><th>pair</th><th>delay "
                          "(frames)</th><th>reported latency (frames)</th><th>latency "
                          "verdict</th><th>SNR</th><th>noise floor</th></tr>";
        for (const Json& pair : pairs()) {
            out += "<tr><td><a href=\"#" + pairId(pair) + "\">" + pairName(pair) + "</a></td>";
            if (pair.value("belowNoise", false)) {
                out += "<td colspan=\"5\">below its noise</td></tr>";
                continue;
            }
            out += "<td>" + shown(pair, "delayFrames") + "</td><td>" +
                   shown(pair, "reportedLatencyFrames") + "</td><td>" +
                   shown(pair, "latencyVerdict") + "</td><td>" + shown(pair, "snrDb", 1, " dB") +
                   "</td><td>" + shown(pair, "noiseFloorDb", 1, " dB") + "</td></tr>";
        }
        return out + "</table>\n";
    }

    std::string crosstalk() const {
        const Json& entries = arrayAt(root_, "crosstalk");
        if (entries.empty())
            return "";
        std::set<long long> outputs, inputs;
        for (const Json& e : entries) {
            outputs.insert(static_cast<long long>(numberOr(e, "output", 0)));
            inputs.insert(static_cast<long long>(numberOr(e, "input", 0)));
        }
        std::string out = "<h2>Crosstalk</h2><p class=\"note\">Each output's response on every "
                          "input relative to its direct path: power averaged over the band, and "
                          "(small) magnitude at 1 kHz. \u201c&lt;\u201d: below the noise, whose "
                          "level is the bound.</p><table id=\"crosstalk\"><tr><th></th>";
        for (long long input : inputs)
            out += "<th>input " + std::to_string(input) + "</th>";
        out += "</tr>";
        for (long long output : outputs) {
            out += "<tr><th>output " + std::to_string(output) + "</th>";
            for (long long input : inputs)
                out += crosstalkCell(entries, output, input);
            out += "</tr>";
        }
        return out + "</table>" + colourKey() + "\n";
    }

    static std::string crosstalkCell(const Json& entries, long long output, long long input) {
        for (const Json& e : entries) {
            if (static_cast<long long>(numberOr(e, "output", 0)) != output ||
                static_cast<long long>(numberOr(e, "input", 0)) != input)
                continue;
            double db = 0.0;
            const bool bound = e.value("belowNoise", false);
            if (!numberAt(e, "db", &db))
                return bound ? "<td class=\"xt\" style=\"background:" +
                                   crosstalkColour(-200.0, true) + "\">silent</td>"
                             : "<td class=\"xt\">\u2014</td>";
            const std::string mark = bound ? "&lt; " : "";
            return "<td class=\"xt\" style=\"background:" + crosstalkColour(db, bound) + "\">" +
                   mark + formatNumber(db, 1) + " dB<small>1 kHz: " + mark +
                   shown(e, "db1k", 1, " dB") + "</small></td>";
        }
        return "<td class=\"xt\">\u2014</td>";
    }

    // The direct path neutral; leaks from red (-20 dB and more) through
    // yellow (-60) to green (-100 and less).
    static std::string crosstalkColour(double db, bool bound) {
        if (db > -0.5 && !bound)
            return "#cfd8e3";
        const double t = std::clamp((-db - 20.0) / 80.0, 0.0, 1.0);
        const double red[3] = {224, 82, 74}, yellow[3] = {242, 209, 92}, green[3] = {105, 179, 107};
        char text[16];
        double c[3];
        for (int k = 0; k < 3; ++k)
            c[k] = t < 0.5 ? red[k] + (yellow[k] - red[k]) * t * 2
                           : yellow[k] + (green[k] - yellow[k]) * (t - 0.5) * 2;
        std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<int>(c[0]),
                      static_cast<int>(c[1]), static_cast<int>(c[2]));
        return text;
    }

    static std::string colourKey() {
        std::string out = "<p class=\"note\">Colour:";
        for (double db : {0.0, -20.0, -40.0, -60.0, -80.0, -100.0})
            out += "<span class=\"swatch\" style=\"background:" + crosstalkColour(db, false) +
                   "\"></span>" + (db == 0.0 ? "direct" : formatNumber(db, 0) + " dB");
        return out + "</p>";
    }

    std::string pairSection(const Json& pair) const {
        const std::string id = pairId(pair);
        std::string out =
            "<section class=\"pair\" id=\"" + id + "\"><h3>" + pairName(pair) + "</h3>";
        if (pair.value("belowNoise", false))
            return out + "<p class=\"note\">Its response does not rise above its noise: no "
                         "figures.</p></section>\n";
        out += "<p class=\"note\">delay " + shown(pair, "delayFrames") + " frames (reported " +
               shown(pair, "reportedLatencyFrames") + ", " + shown(pair, "latencyVerdict") +
               "), SNR " + shown(pair, "snrDb", 1, " dB") + ", noise floor " +
               shown(pair, "noiseFloorDb", 1, " dB") + "</p><div class=\"plots\">";
        out += magnitude(pair, id) + phase(pair, id) + distortion(pair, id) + energyTime(pair, id);
        out += "</div>";
        if (pair.contains("room"))
            out += roomSection(objectAt(pair, "room"), id);
        return out + "</section>\n";
    }

    Axis frequencyAxis() const {
        const Json& sweep = objectAt(root_, "sweep");
        Axis x;
        x.logarithmic = true;
        x.low = numberOr(sweep, "from", 20.0);
        x.high = numberOr(sweep, "to", 20000.0);
        if (!(x.low > 0.0) || !(x.high > x.low)) {
            x.low = 20.0;
            x.high = 20000.0;
        }
        x.unit = "Hz";
        x.title = "frequency (Hz)";
        return x;
    }

    std::string magnitude(const Json& pair, const std::string& id) const {
        Curve curve{"magnitude", "#1f5fbf", {}, 0.0, false};
        double low = INFINITY, high = -INFINITY;
        for (const Json& p : arrayAt(pair, "response")) {
            const double db = numberOr(p, "db", NAN);
            curve.points.emplace_back(numberOr(p, "hz", NAN), db);
            if (std::isfinite(db)) {
                low = std::min(low, db);
                high = std::max(high, db);
            }
        }
        PlotFrame f{id + "-magnitude",
                    "magnitude",
                    "Magnitude",
                    frequencyAxis(),
                    levelAxis(low, high, 24.0, "dB", "level"),
                    {}};
        return svgPlot(f, {curve});
    }

    std::string phase(const Json& pair, const std::string& id) const {
        Curve curve{"phase", "#7a3db8", {}, 180.0, false};
        for (const Json& p : arrayAt(pair, "response"))
            curve.points.emplace_back(numberOr(p, "hz", NAN), numberOr(p, "deg", NAN));
        Axis y;
        y.low = -180.0;
        y.high = 180.0;
        y.step = 90.0;
        y.unit = "\u00b0";
        PlotFrame f{id + "-phase",   "phase", "Phase (delay removed), degrees",
                    frequencyAxis(), y,       {}};
        return svgPlot(f, {curve});
    }

    std::string distortion(const Json& pair, const std::string& id) const {
        // THD last and dashed: it often lies on HD2.
        std::vector<Curve> curves{{"HD2", "#1f5fbf", {}, 0.0, false},
                                  {"HD3", "#2e8b57", {}, 0.0, false},
                                  {"THD", "#c0392b", {}, 0.0, true}};
        for (const Json& p : arrayAt(pair, "thd")) {
            const double percent = numberOr(p, "percent", NAN);
            curves[2].points.emplace_back(numberOr(p, "hz", NAN),
                                          percent > 0.0 ? 20.0 * std::log10(percent / 100.0) : NAN);
        }
        for (const Json& h : arrayAt(pair, "harmonics")) {
            const int order = static_cast<int>(numberOr(h, "order", 0));
            if (order != 2 && order != 3)
                continue;
            for (const Json& p : arrayAt(h, "points"))
                curves[static_cast<size_t>(order - 2)].points.emplace_back(numberOr(p, "hz", NAN),
                                                                           numberOr(p, "db", NAN));
        }
        double low = INFINITY, high = -INFINITY;
        for (const Curve& c : curves)
            for (const auto& point : c.points)
                if (std::isfinite(point.second)) {
                    low = std::min(low, point.second);
                    high = std::max(high, point.second);
                }
        if (!std::isfinite(low))
            low = high = -60.0;
        PlotFrame f{id + "-distortion",
                    "distortion",
                    "Distortion against excitation frequency (dB and %)",
                    frequencyAxis(),
                    levelAxis(std::max(low, -160.0), high, 40.0, "dB", "level"),
                    {}};
        for (int decade = 0; decade <= 8; ++decade)
            f.rightLabels.emplace_back(
                -20.0 * decade,
                formatNumber(100.0 / std::pow(10.0, decade), std::max(0, decade - 2)) + " %");
        return svgPlot(f, curves);
    }

    std::string energyTime(const Json& pair, const std::string& id) const {
        ImpulseResponse ir;
        const auto name = pair.find("impulseResponse");
        if (name == pair.end() || !name->is_string() || !load_ ||
            !load_(name->get<std::string>(), &ir) || ir.samples.empty() || !(ir.rate > 0.0))
            return "<p class=\"note\" id=\"" + id +
                   "-etc-missing\">Energy-time curve: the impulse response file could not be "
                   "read.</p>";
        Curve curve{"ETC", "#444444", etcPoints(ir), 0.0, false};
        const double lastMs = curve.points.empty() ? 1.0 : curve.points.back().first;
        const double firstMs = curve.points.empty() ? 0.0 : curve.points.front().first;
        double low = 0.0;
        for (const auto& point : curve.points)
            low = std::min(low, point.second);
        Axis x;
        x.low = firstMs;
        x.high = std::max(lastMs, firstMs + 1.0);
        x.step = timeStep(x.high - x.low);
        x.unit = "ms";
        x.title = "time from the start of the sweep file (ms)";
        PlotFrame f{id + "-etc",
                    "etc",
                    "Energy-time curve of the impulse response",
                    x,
                    levelAxis(std::max(low, -160.0), 0.0, 60.0, "dB", "level"),
                    {}};
        f.y.high = 0.0; // the peak
        return svgPlot(f, {curve});
    }

    // The squared response's largest value in each of 400 steps, in dB of its
    // peak, from 5 ms before the peak to 200 ms after it.
    static std::vector<std::pair<double, double>> etcPoints(const ImpulseResponse& ir) {
        const std::vector<float>& h = ir.samples;
        size_t peak = 0;
        for (size_t t = 0; t < h.size(); ++t)
            if (std::fabs(h[t]) > std::fabs(h[peak]))
                peak = t;
        const double peakEnergy = static_cast<double>(h[peak]) * h[peak];
        const size_t before = static_cast<size_t>(0.005 * ir.rate);
        const size_t from = peak > before ? peak - before : 0;
        const size_t to = std::min(h.size(), peak + static_cast<size_t>(0.2 * ir.rate) + 1);
        const size_t bins = 400;
        const double width = std::max(1.0, static_cast<double>(to - from) / bins);
        std::vector<std::pair<double, double>> points;
        for (double start = static_cast<double>(from); start < static_cast<double>(to);
             start += width) {
            const size_t a = static_cast<size_t>(start);
            const size_t b = std::min(to, static_cast<size_t>(start + width) + 1);
            double energy = 0.0;
            for (size_t t = a; t < b; ++t)
                energy = std::max(energy, static_cast<double>(h[t]) * h[t]);
            const double db = peakEnergy > 0.0 && energy > 0.0
                                  ? std::max(10.0 * std::log10(energy / peakEnergy), -160.0)
                                  : -160.0;
            points.emplace_back(1000.0 * static_cast<double>(a) / ir.rate, db);
        }
        return points;
    }

    static double timeStep(double spanMs) {
        for (double step : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0})
            if (spanMs / step <= 10.0)
                return step;
        return 1000.0;
    }
};

} // namespace

bool renderReport(const std::string& resultsJson, const ImpulseLoader& loadImpulse,
                  std::string* html, std::string* error) {
    const Json root = Json::parse(resultsJson, nullptr, false);
    if (root.is_discarded() || !root.is_object()) {
        *error = "not a JSON object";
        return false;
    }
    if (!root.contains("pairs") && !root.contains("channels") && root.value("complete", false)) {
        *error = "neither pairs nor channels";
        return false;
    }
    try {
        *html = Page(root, loadImpulse).render();
    } catch (const Json::exception& e) {
        *error = e.what();
        return false;
    }
    return true;
}

} // namespace report
