#include "report/report_page.h"

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <set>

#include "dsp/group_delay.h"
#include "dsp/response_gate.h"
#include "dsp/step_response.h"
#include "report/interface_page.h"
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

// What a field shows: its text escaped, or its number; empty when the
// document has nothing there, and the page then leaves the field out.
std::string shown(const Json& j, const char* key, int decimals = -1, const char* unit = "") {
    const auto found = j.find(key);
    if (found == j.end() || found->is_null())
        return "";
    if (found->is_string())
        return escapeHtml(found->get<std::string>()) + unit;
    if (found->is_boolean())
        return found->get<bool>() ? "yes" : "no";
    if (found->is_number_integer() && decimals < 0)
        return std::to_string(found->get<long long>()) + unit;
    if (found->is_number() && std::isfinite(found->get<double>()))
        return formatNumber(found->get<double>(), decimals < 0 ? 2 : decimals) + unit;
    return "";
}

// The parts that have something to say, joined.
std::string joined(const std::vector<std::string>& parts, const char* separator = ", ") {
    std::string out;
    for (const std::string& part : parts)
        if (!part.empty())
            out += (out.empty() ? "" : separator) + part;
    return out;
}

// prefix + value, or nothing when the value is empty.
std::string labelled(const std::string& prefix, const std::string& value) {
    return value.empty() ? "" : prefix + value;
}

long long countAt(const Json& j, const char* key) {
    return static_cast<long long>(numberOr(j, key, 0.0));
}

// A results document's blocks lost in one attempt: a count, or a list of the
// blocks themselves.
long long blocksIn(const Json& attempt) {
    if (attempt.is_array())
        return static_cast<long long>(attempt.size());
    return attempt.is_number() ? attempt.get<long long>() : 0;
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

// A table row, or nothing when the value is empty.
std::string row(const std::string& name, const std::string& value, const std::string& id = "") {
    if (value.empty())
        return "";
    return (id.empty() ? "<tr>" : "<tr id=\"" + id + "\">") + "<th>" + name + "</th><td>" + value +
           "</td></tr>";
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
        id += "-o" + std::to_string(countAt(pair, "output"));
    return id + "-i" + std::to_string(countAt(pair, "input"));
}

class Page {
  public:
    Page(const Json& root, const ImpulseLoader& load) : root_(root), load_(load) {}

    std::string render() {
        std::string out =
            pageStart("Measurement report: " + subject(), "", root_.value("complete", false),
                      shown(root_, "error") + missingOutputs());
        if (root_.contains("source"))
            return out + roomResponse() + "</body></html>\n";
        out += warnings() + facts() + events() + summary() + overlay() + crosstalk();
        for (const Json& pair : pairs())
            out += pairSection(pair);
        return out + "</body></html>\n";
    }

  private:
    const Json& root_;
    const ImpulseLoader& load_;

    // The device measured, else the recording analysed.
    std::string subject() const {
        if (root_.contains("source"))
            return "room, " + shown(root_, "source");
        const std::string device = shown(root_, "device");
        if (!device.empty())
            return device;
        const std::string recording = shown(root_, "recording");
        return recording.empty() ? "one recording" : recording;
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
        std::string rows = row("Device", shown(root_, "device"));
        rows += row("Sweep file", shown(root_, "sweepFile"));
        rows += row("Recording", shown(root_, "recording"));
        rows +=
            row("Driver",
                joined({shown(driver, "name"), labelled("version ", shown(driver, "version"))}));
        rows += row("Buffer", shown(root_, "buffer", -1, " frames"));
        rows += row("Rate", shown(root_, "rate", -1, " Hz"));
        rows += row("Sweep", sweepFacts());
        rows += row("Reported latencies", reportedLatencies());
        rows += row("Repeats", repeats());
        rows += row("Repeats left out", excludedRepeats());
        rows += row("Reference", labelled("input ", shown(root_, "reference")), "reference");
        rows += row("Calibration", calibrationFiles(), "calibration");
        rows += row("Gate", gate(), "gate");
        rows += row("Smoothing",
                    labelled("1/", shown(root_, "smoothing")) +
                        (root_.contains("smoothing") ? " octave" : ""),
                    "smoothing");
        rows += row("Date", shown(root_, "date"));
        rows += row("Program", labelled("tandemwav-measure ", shown(root_, "programVersion")));
        return rows.empty() ? "" : "<h2>Measurement</h2><table id=\"facts\">" + rows + "</table>\n";
    }

    std::string sweepFacts() const {
        const Json& sweep = objectAt(root_, "sweep");
        const auto band = [&sweep](const char* from, const char* to) {
            const std::string low = shown(sweep, from, 1), high = shown(sweep, to, 1);
            return low.empty() || high.empty() ? "" : low + " to " + high + " Hz";
        };
        return joined({labelled("reported ", band("from", "to")),
                       labelled("swept ", band("sweptFrom", "sweptTo")),
                       shown(sweep, "seconds", 2, " s"),
                       labelled("peak ", shown(sweep, "level", 1, " dBFS"))});
    }

    std::string calibrationFiles() const {
        std::string out;
        for (const Json& c : arrayAt(root_, "calibration"))
            out += (out.empty() ? "" : "; ") + labelled("input ", shown(c, "input")) +
                   labelled(": ", shown(c, "file"));
        return out;
    }

    std::string gate() const {
        double ms = 0.0;
        if (!numberAt(root_, "gateMs", &ms) || !(ms > 0.0))
            return "";
        return formatNumber(ms, ms == std::floor(ms) ? 0 : 1) +
               " ms after the peak, from 1 ms before it (resolves from " +
               frequencyLabel(1000.0 / ms) + ")";
    }

    std::string reportedLatencies() const {
        const auto found = root_.find("latencies");
        if (found != root_.end() && found->is_null())
            return "not reported by the driver";
        const Json& latencies = objectAt(root_, "latencies");
        return joined({labelled("input ", shown(latencies, "input", -1, " frames")),
                       labelled("output ", shown(latencies, "output", -1, " frames"))});
    }

    // The gain is the console's figure, to a tenth of a dB, and only where
    // there was more than one repeat to average.
    std::string repeats() const {
        const std::string count = shown(root_, "repeats");
        if (count.empty() || countAt(root_, "repeats") < 2)
            return count;
        return joined(
            {count, labelled("averaging gain ", shown(root_, "averagingGainDb", 1, " dB"))});
    }

    std::string excludedRepeats() const {
        if (!root_.contains("excludedRepeats"))
            return "";
        std::string out;
        for (const Json& e : arrayAt(root_, "excludedRepeats")) {
            const std::string delay = shown(e, "delayFrames", -1, " frames");
            out += (out.empty() ? "" : "; ") + std::string("output ") + shown(e, "output") +
                   " repeat " + shown(e, "repeat") + " (" +
                   (delay.empty() ? "nothing responded" : "delay " + delay) + ")";
        }
        return out.empty() ? "none" : out;
    }

    // What went wrong while recording, at the top where nobody misses it.
    std::string warnings() const {
        std::string out;
        if (const long long clipped = countAt(root_, "clippedSamples"); clipped > 0)
            out +=
                "<p class=\"banner\" id=\"clipped-warning\">Clipped: " + std::to_string(clipped) +
                " samples at full scale; lower the level and measure again.</p>\n";
        if (const long long lost = countAt(root_, "lostBlocks"); lost > 0)
            out += "<p class=\"banner\" id=\"lost-warning\">Lost blocks: " + std::to_string(lost) +
                   " buffer(s) lost or repeated by the driver" +
                   // Results from before retakes averaged damaged takes in.
                   (root_.contains("takes") ? "; no take that lost any is in the figures"
                                            : "; the figures may hold them: measure again") +
                   ".</p>\n";
        return out;
    }

    // Clipping, lost blocks and retakes with their counts, also when none.
    std::string events() const {
        std::string rows;
        if (root_.contains("clippedSamples"))
            rows += row("Clipped samples", clippedSamples(), "clipped");
        if (root_.contains("lostBlocks"))
            rows += row("Lost blocks", countText(countAt(root_, "lostBlocks")), "lost-blocks");
        if (root_.contains("takes"))
            rows += row("Retakes", retakes(), "retakes");
        return rows.empty() ? ""
                            : "<h2>What happened</h2><table id=\"events\">" + rows + "</table>\n";
    }

    static std::string countText(long long count) {
        return count == 0 ? "none" : std::to_string(count);
    }

    std::string clippedSamples() const {
        std::string out = countText(countAt(root_, "clippedSamples"));
        for (const Json& pair : pairs())
            if (const long long n = countAt(pair, "clippedSamples"); n > 0)
                out += "; " + pairName(pair) + ": " + std::to_string(n);
        return out;
    }

    // Every take that lost blocks in any attempt (taken again, or the one
    // that ended the run), with the blocks each attempt lost.
    std::string retakes() const {
        std::string out;
        for (const Json& take : arrayAt(root_, "takes")) {
            std::vector<std::string> lost;
            bool damaged = false;
            for (const Json& attempt : arrayAt(take, "lostBlocks")) {
                damaged = damaged || blocksIn(attempt) > 0;
                lost.push_back(std::to_string(blocksIn(attempt)));
            }
            const long long attempts = countAt(take, "attempts");
            if (!damaged && attempts < 2)
                continue;
            out += (out.empty() ? "" : "; ") + std::string("output ") + shown(take, "output") +
                   " repeat " + shown(take, "repeat") + ": " + std::to_string(attempts) +
                   (attempts == 1 ? " attempt" : " attempts") +
                   labelled(", blocks lost in each: ", joined(lost));
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

    // An input that recorded nothing but zeros: no noise to stand above.
    bool silent(const Json& pair) const {
        if (pair.value("silent", false))
            return true;
        for (const Json& e : arrayAt(root_, "crosstalk"))
            if (countAt(e, "output") == countAt(pair, "output") &&
                countAt(e, "input") == countAt(pair, "input"))
                return e.value("belowNoise", false) && shown(e, "db").empty();
        return false;
    }

    std::string summary() const {
        const bool latency = std::any_of(pairs().begin(), pairs().end(), [](const Json& pair) {
            return pair.contains("latencyVerdict");
        });
        std::string out = "<h2>Pairs</h2><table id=\"pairs\"><tr><th>pair</th><th>delay "
                          "(frames)</th>";
        if (latency)
            out += "<th>reported latency (frames)</th><th>latency verdict</th>";
        out += "<th>SNR</th><th>noise floor</th></tr>";
        for (const Json& pair : pairs()) {
            out += "<tr><td><a href=\"#" + pairId(pair) + "\">" + pairName(pair) + "</a></td>";
            if (pair.value("belowNoise", false)) {
                out += "<td colspan=\"" + std::string(latency ? "5" : "3") + "\">" +
                       (silent(pair) ? "silent" : "below its noise") + "</td></tr>";
                continue;
            }
            out += "<td>" + shown(pair, "delayFrames") + "</td>";
            if (latency)
                out += "<td>" + shown(pair, "reportedLatencyFrames") + "</td><td>" +
                       shown(pair, "latencyVerdict") + "</td>";
            out += "<td>" + shown(pair, "snrDb", 1, " dB") + "</td><td>" +
                   shown(pair, "noiseFloorDb", 1, " dB") + "</td></tr>";
        }
        return out + "</table>\n";
    }

    std::string crosstalk() const {
        const Json& entries = arrayAt(root_, "crosstalk");
        if (entries.empty())
            return "";
        std::set<long long> outputs, inputs;
        for (const Json& e : entries) {
            outputs.insert(countAt(e, "output"));
            inputs.insert(countAt(e, "input"));
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
            if (countAt(e, "output") != output || countAt(e, "input") != input)
                continue;
            double db = 0.0;
            const bool bound = e.value("belowNoise", false);
            if (!numberAt(e, "db", &db))
                return bound ? "<td class=\"xt\" style=\"background:" +
                                   crosstalkColour(-200.0, true) + "\">silent</td>"
                             : "<td class=\"xt\"></td>";
            const std::string mark = bound ? "&lt; " : "";
            const std::string at1k = shown(e, "db1k", 1, " dB");
            return "<td class=\"xt\" style=\"background:" + crosstalkColour(db, bound) + "\">" +
                   mark + formatNumber(db, 1) + " dB" + labelled("<small>1 kHz: " + mark, at1k) +
                   (at1k.empty() ? "" : "</small>") + "</td>";
        }
        return "<td class=\"xt\"></td>";
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
            return out + "<p class=\"note\">" +
                   (silent(pair) ? "Its input recorded nothing but zeros (silent)"
                                 : "Its response does not rise above its noise") +
                   ": no figures.</p></section>\n";
        const std::string latency =
            joined({labelled("reported ", shown(pair, "reportedLatencyFrames")),
                    shown(pair, "latencyVerdict")});
        const long long clipped = countAt(pair, "clippedSamples");
        out += "<p class=\"note\">" +
               joined({labelled("delay ", shown(pair, "delayFrames", -1, " frames")) +
                           labelled(" (", latency) + (latency.empty() ? "" : ")"),
                       labelled("SNR ", shown(pair, "snrDb", 1, " dB")),
                       labelled("noise floor ", shown(pair, "noiseFloorDb", 1, " dB")),
                       clipped > 0 ? std::to_string(clipped) + " samples at full scale (clipped)"
                                   : ""}) +
               "</p><div class=\"plots\">";
        ImpulseResponse ir;
        const bool loaded = loadImpulse(pair, &ir);
        out += magnitude(pair, id) + phase(pair, id) + groupDelay(pair, id) + distortion(pair, id) +
               energyTime(loaded, ir, id) + step(loaded, ir, id);
        out += "</div>";
        if (pair.contains("room"))
            out += roomSection(objectAt(pair, "room"), id);
        return out + "</section>\n";
    }
    Axis frequencyAxis() const {
        const Json& sweep = objectAt(root_, "sweep");
        const double low = numberOr(sweep, "from", 20.0), high = numberOr(sweep, "to", 20000.0);
        return low > 0.0 && high > low ? report::frequencyAxis(low, high)
                                       : report::frequencyAxis(20.0, 20000.0);
    }

    // A response's points in two curves: those the analysis resolves, and,
    // lighter, those below its resolution, joined where they meet.
    static std::vector<Curve> resolvedAndNot(const Json& pair, const char* key, Curve resolved,
                                             const char* response = "response",
                                             const char* flag = "belowResolution") {
        Curve below = resolved;
        below.name = "";
        below.faint = true;
        bool previousBelow = false;
        for (const Json& p : arrayAt(pair, response)) {
            const double hz = numberOr(p, "hz", NAN), value = numberOr(p, key, NAN);
            const bool isBelow = p.value(flag, false);
            resolved.points.emplace_back(hz, isBelow ? NAN : value);
            below.points.emplace_back(hz, isBelow || previousBelow ? value : NAN);
            previousBelow = isBelow;
        }
        return {below, resolved};
    }

    std::string magnitude(const Json& pair, const std::string& id) const {
        std::vector<Curve> curves =
            resolvedAndNot(pair, "db", {"magnitude", "#1f5fbf", {}, 0.0, false});
        if (pair.contains("gatedResponse"))
            for (Curve& c : resolvedAndNot(pair, "db", {"gated", "#2e8b57", {}, 0.0, false},
                                           "gatedResponse", "belowGate"))
                curves.push_back(std::move(c));
        if (pair.contains("smoothedResponse"))
            curves.push_back({"smoothed 1/" + shown(root_, "smoothing"), "#c0392b",
                              pointsOf(pair, "smoothedResponse", "db"), 0.0, true});
        const auto [low, high] = levelRange(curves);
        PlotFrame f{id + "-magnitude",
                    "magnitude",
                    "Magnitude (lighter: below what the analysis resolves)",
                    frequencyAxis(),
                    levelAxis(low, high, 24.0, "dB", "level"),
                    {}};
        return svgPlot(f, curves);
    }

    // The group delay of the response as reported, over the pair's delay.
    std::string groupDelay(const Json& pair, const std::string& id) const {
        std::vector<double> hz, deg;
        for (const Json& p : arrayAt(pair, "response")) {
            hz.push_back(numberOr(p, "hz", NAN));
            deg.push_back(numberOr(p, "deg", NAN));
        }
        const std::vector<double> seconds = dsp::groupDelaySeconds(hz, deg);
        Curve curve{"group delay", "#b0456e", {}, 0.0, false};
        std::vector<double> ms;
        for (size_t i = 0; i < seconds.size(); ++i) {
            curve.points.emplace_back(hz[i], 1000.0 * seconds[i]);
            if (std::isfinite(seconds[i]))
                ms.push_back(1000.0 * seconds[i]);
        }
        PlotFrame f{id + "-group-delay", "group-delay", "Group delay after the delay, ms",
                    frequencyAxis(),     delayAxis(ms), {}};
        return svgPlot(f, {curve});
    }

    // From the tenth to the ninetieth percentile and a little beyond, so
    // that the spikes at a response's notches do not flatten the rest.
    static Axis delayAxis(std::vector<double> ms) {
        double low = -1.0, high = 1.0;
        if (!ms.empty()) {
            std::sort(ms.begin(), ms.end());
            low = std::min(low, ms[ms.size() / 10]);
            high = std::max(high, ms[ms.size() * 9 / 10]);
        }
        const double step = gridStep(high - low, 6.0);
        return linearAxis(std::floor(low / step - 1.0) * step, std::ceil(high / step + 1.0) * step,
                          step, "ms", "group delay");
    }

    static std::vector<std::pair<double, double>> pointsOf(const Json& pair, const char* response,
                                                           const char* key) {
        std::vector<std::pair<double, double>> points;
        for (const Json& p : arrayAt(pair, response))
            points.emplace_back(numberOr(p, "hz", NAN), numberOr(p, key, NAN));
        return points;
    }

    // The pairs that carry an output's sound: of a run, each output's
    // strongest input (0 dB in the crosstalk matrix); of an analysis, every
    // channel that responds.
    std::vector<const Json*> directPairs() const {
        std::vector<const Json*> direct;
        for (const Json& pair : pairs()) {
            if (pair.value("belowNoise", false))
                continue;
            bool isDirect = !root_.contains("crosstalk");
            for (const Json& e : arrayAt(root_, "crosstalk"))
                isDirect = isDirect || (numberOr(e, "output", 0) == numberOr(pair, "output", -1) &&
                                        numberOr(e, "input", 0) == numberOr(pair, "input", -1) &&
                                        !e.value("belowNoise", false) &&
                                        std::fabs(numberOr(e, "db", NAN)) < 0.005);
            if (isDirect)
                direct.push_back(&pair);
        }
        return direct;
    }

    // Every direct pair's magnitude in one plot, as finally reported: smoothed
    // where asked for, else gated where asked for.
    std::string overlay() const {
        static const char* const colours[] = {"#1f5fbf", "#c0392b", "#2e8b57", "#d08c00",
                                              "#8e44ad", "#16a0a0", "#b0456e", "#6b7a2a"};
        const char* response = root_.contains("smoothing") ? "smoothedResponse"
                               : root_.contains("gateMs")  ? "gatedResponse"
                                                           : "response";
        std::vector<Curve> curves;
        for (const Json* pair : directPairs())
            curves.push_back({pairLabel(*pair), colours[curves.size() % 8],
                              pointsOf(*pair, response, "db"), 0.0, false});
        if (curves.empty())
            return "";
        const auto [low, high] = levelRange(curves);
        const std::string which = root_.contains("smoothing") ? ", smoothed"
                                  : root_.contains("gateMs")  ? ", gated"
                                                              : "";
        PlotFrame f{"overlay-magnitude",
                    "overlay",
                    "Magnitude of every direct pair" + which,
                    frequencyAxis(),
                    levelAxis(low, high, 24.0, "dB", "level"),
                    {}};
        // A legend even for one pair: the plot says whose response it is.
        if (curves.size() == 1)
            curves.insert(curves.begin(), Curve{"", "#ffffff", {}, 0.0, false});
        return "<h2>Responses</h2><div class=\"plots\">" + svgPlot(f, curves) + "</div>\n";
    }

    static std::string pairLabel(const Json& pair) {
        const std::string input = "in " + shown(pair, "input");
        return pair.contains("output") ? "out " + shown(pair, "output") + " \u2192 " + input
                                       : input;
    }

    std::string phase(const Json& pair, const std::string& id) const {
        PlotFrame f{id + "-phase",
                    "phase",
                    "Phase (delay removed), degrees",
                    frequencyAxis(),
                    linearAxis(-180.0, 180.0, 90.0, "\u00b0", ""),
                    {}};
        return svgPlot(f, resolvedAndNot(pair, "deg", {"phase", "#7a3db8", {}, 180.0, false}));
    }

    // Every order up to the count analysed, each measured where it stands out
    // of its noise and, lighter, the bound it stays below elsewhere.
    static std::vector<Curve> harmonicCurves(const Json& pair) {
        static const char* const colours[] = {"#1f5fbf", "#2e8b57", "#d08c00", "#8e44ad",
                                              "#16a0a0", "#b0456e", "#6b7a2a", "#5d6d7e"};
        std::vector<Curve> curves;
        for (const Json& h : arrayAt(pair, "harmonics")) {
            const int order = static_cast<int>(numberOr(h, "order", 0));
            const std::string colour = colours[static_cast<size_t>(std::max(order - 2, 0)) % 8];
            Curve measured{"HD" + std::to_string(order), colour, {}, 0.0, false};
            Curve bound{"", colour, {}, 0.0, false, true};
            for (const Json& p : arrayAt(h, "points")) {
                const double hz = numberOr(p, "hz", NAN), db = numberOr(p, "db", NAN);
                const bool belowNoise = p.value("belowNoise", false);
                measured.points.emplace_back(hz, belowNoise ? NAN : db);
                bound.points.emplace_back(hz, belowNoise ? db : NAN);
            }
            curves.push_back(std::move(bound));
            curves.push_back(std::move(measured));
        }
        return curves;
    }

    std::string distortion(const Json& pair, const std::string& id) const {
        // THD first, dashed, so that the orders drawn over it stay in sight
        // where it lies on HD2.
        std::vector<Curve> curves{{"THD", "#c0392b", {}, 0.0, true}};
        for (const Json& p : arrayAt(pair, "thd")) {
            const double percent = numberOr(p, "percent", NAN);
            curves[0].points.emplace_back(numberOr(p, "hz", NAN),
                                          percent > 0.0 ? 20.0 * std::log10(percent / 100.0) : NAN);
        }
        for (Curve& c : harmonicCurves(pair))
            curves.push_back(std::move(c));
        auto [low, high] = levelRange(curves);
        if (!std::isfinite(low))
            low = high = -60.0;
        PlotFrame f{id + "-distortion",
                    "distortion",
                    "Distortion against excitation frequency, dB and % (lighter: below the "
                    "noise, a bound)",
                    frequencyAxis(),
                    levelAxis(std::max(low, -160.0), high, 40.0, "dB", "level"),
                    {}};
        for (int decade = 0; decade <= 8; ++decade)
            f.rightLabels.emplace_back(
                -20.0 * decade,
                formatNumber(100.0 / std::pow(10.0, decade), std::max(0, decade - 2)) + " %");
        return svgPlot(f, curves);
    }

    bool loadImpulse(const Json& pair, ImpulseResponse* ir) const {
        const auto name = pair.find("impulseResponse");
        return name != pair.end() && name->is_string() && load_ &&
               load_(name->get<std::string>(), ir) && !ir->samples.empty() && ir->rate > 0.0;
    }

    std::string energyTime(bool loaded, const ImpulseResponse& ir, const std::string& id) const {
        if (!loaded)
            return "<p class=\"note\" id=\"" + id +
                   "-etc-missing\">Energy-time curve: the impulse response file could not be "
                   "read.</p>";
        Curve curve{"ETC", "#444444", etcPoints(ir), 0.0, false};
        Curve bandLimit{"band limit alone", "#c0392b", bandLimitPoints(ir), 0.0, false, true};
        const double lastMs = curve.points.empty() ? 1.0 : curve.points.back().first;
        const double firstMs = curve.points.empty() ? 0.0 : curve.points.front().first;
        double low = 0.0;
        for (const auto& point : curve.points)
            low = std::min(low, point.second);
        PlotFrame f{id + "-etc",
                    "etc",
                    "Energy-time curve of the impulse response (lighter: a perfect loop's)",
                    timeAxis(firstMs, std::max(lastMs, firstMs + 1.0)),
                    levelAxis(std::max(low, -160.0), 0.0, 60.0, "dB", "level"),
                    {}};
        f.y.high = 0.0; // the peak
        // Beneath: what the analysis's band limit leaves of a perfect loop's
        // response, so that its ringing is not taken for the device's decay.
        std::vector<Curve> curves{bandLimit, curve};
        double gateMs = 0.0;
        if (numberAt(root_, "gateMs", &gateMs) && gateMs > 0.0) {
            curves.push_back({"gate", "#2e8b57", gatePoints(ir, gateMs), 0.0, true});
            f.title = "Energy-time curve of the impulse response, and the gate";
        }
        return svgPlot(f, curves);
    }

    // The gate's weight in dB, where it is open, over the same time axis.
    static std::vector<std::pair<double, double>> gatePoints(const ImpulseResponse& ir,
                                                             double gateMs) {
        const dsp::ResponseGate gate(static_cast<double>(peakOf(ir.samples)), ir.rate, gateMs);
        std::vector<std::pair<double, double>> points;
        const double from = std::floor(gate.opensAt()), to = std::ceil(gate.closedAt());
        const double step = std::max(1.0, (to - from) / 200.0);
        for (double frame = from; frame <= to + step / 2; frame += step) {
            const double w = gate.weight(frame);
            points.emplace_back(1000.0 * frame / ir.rate,
                                w > 0.0 ? std::max(20.0 * std::log10(w), -160.0) : -160.0);
        }
        return points;
    }

    // The running sum of the impulse response, from 2 ms before its peak
    // to 20 ms after it: a device that passes the band whole steps to 1.
    std::string step(bool loaded, const ImpulseResponse& ir, const std::string& id) const {
        if (!loaded)
            return "";
        const std::vector<double> sum = dsp::stepResponse(ir.samples);
        const size_t peak = peakOf(ir.samples);
        const size_t before = static_cast<size_t>(0.002 * ir.rate);
        const size_t from = peak > before ? peak - before : 0;
        const size_t to = std::min(sum.size(), peak + static_cast<size_t>(0.02 * ir.rate) + 1);
        Curve curve{"step", "#1f5fbf", {}, 0.0, false};
        double low = 0.0, high = 1.0;
        for (size_t n = from; n < to; ++n) {
            curve.points.emplace_back(1000.0 * static_cast<double>(n) / ir.rate, sum[n]);
            low = std::min(low, sum[n]);
            high = std::max(high, sum[n]);
        }
        const double yStep = gridStep(high - low);
        return svgPlot({id + "-step",
                        "step",
                        "Step response (the impulse response summed)",
                        timeAxis(1000.0 * static_cast<double>(from) / ir.rate,
                                 1000.0 * static_cast<double>(to) / ir.rate),
                        linearAxis(std::floor(low / yStep) * yStep, std::ceil(high / yStep) * yStep,
                                   yStep, "", "amplitude"),
                        {}},
                       {curve});
    }

    // The squared response's largest value in each of 400 steps, in dB of its
    // peak, from 5 ms before the peak to 200 ms after it.
    static std::vector<std::pair<double, double>> etcPoints(const ImpulseResponse& ir) {
        const std::vector<float>& h = ir.samples;
        const size_t peak = peakOf(h);
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

    static size_t peakOf(const std::vector<float>& h) {
        size_t peak = 0;
        for (size_t t = 0; t < h.size(); ++t)
            if (std::fabs(h[t]) > std::fabs(h[peak]))
                peak = t;
        return peak;
    }

    // The sweep's band-limit curve, placed at this response's peak.
    std::vector<std::pair<double, double>> bandLimitPoints(const ImpulseResponse& ir) const {
        const Json& etc = objectAt(objectAt(root_, "sweep"), "bandLimitEtc");
        const double peakMs = 1000.0 * static_cast<double>(peakOf(ir.samples)) / ir.rate;
        const double fromMs = numberOr(etc, "fromMs", NAN), stepMs = numberOr(etc, "stepMs", NAN);
        std::vector<std::pair<double, double>> points;
        size_t i = 0;
        for (const Json& db : arrayAt(etc, "db")) {
            const double ms = fromMs + stepMs * static_cast<double>(i++);
            if (db.is_number() && peakMs + ms >= 0.0)
                points.emplace_back(peakMs + ms, std::max(db.get<double>(), -160.0));
        }
        return points;
    }

    // Milliseconds from the start of the sweep file.
    static Axis timeAxis(double fromMs, double toMs) {
        return linearAxis(fromMs, toMs, gridStep(toMs - fromMs), "ms",
                          "time from the start of the sweep file (ms)");
    }

    // The step of a linear grid that divides span into `most` or fewer.
    static double gridStep(double span, double most = 10.0) {
        for (double step : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0})
            if (span / step <= most)
                return step;
        return 1000.0;
    }
};

} // namespace

std::string pageStart(const std::string& title, const char* extraStyle, bool complete,
                      const std::string& whatWentWrong) {
    std::string out = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" +
                      title + "</title>" + kStyle + extraStyle + "</head><body>\n<h1>" + title +
                      "</h1>\n";
    if (!complete)
        out += "<p class=\"banner\" id=\"incomplete\">Incomplete: these results are not "
               "complete. " +
               whatWentWrong + "</p>\n";
    return out;
}

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
        *html = root.value("kind", std::string()) == "interface" ? interfacePage(root)
                                                                 : Page(root, loadImpulse).render();
    } catch (const Json::exception& e) {
        *error = e.what();
        return false;
    }
    return true;
}

} // namespace report
