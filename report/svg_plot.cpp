#include "report/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace report {

namespace {

constexpr double kWidth = 520.0;
constexpr double kHeight = 250.0;
constexpr double kLeft = 58.0;
constexpr double kTop = 30.0;
constexpr double kBottom = 40.0;

// Where the data lands: the plot area inside the margins.
struct Area {
    double left, top, width, height;
};

Area areaOf(const PlotFrame& frame) {
    const double right = frame.rightLabels.empty() ? 16.0 : 58.0;
    return Area{kLeft, kTop, kWidth - kLeft - right, kHeight - kTop - kBottom};
}

double fraction(const Axis& axis, double value) {
    if (axis.logarithmic)
        return (std::log10(value) - std::log10(axis.low)) /
               (std::log10(axis.high) - std::log10(axis.low));
    return (value - axis.low) / (axis.high - axis.low);
}

double xAt(const Area& a, const Axis& axis, double value) {
    return a.left + a.width * fraction(axis, value);
}

double yAt(const Area& a, const Axis& axis, double value) {
    return a.top + a.height * (1.0 - fraction(axis, value));
}

std::string coordinate(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string line(double x1, double y1, double x2, double y2, const char* cls) {
    return "<line class=\"" + std::string(cls) + "\" x1=\"" + coordinate(x1) + "\" y1=\"" +
           coordinate(y1) + "\" x2=\"" + coordinate(x2) + "\" y2=\"" + coordinate(y2) + "\"/>";
}

std::string text(double x, double y, const char* anchor, const char* cls,
                 const std::string& content, const std::string& extra = "") {
    return "<text class=\"" + std::string(cls) + "\" x=\"" + coordinate(x) + "\" y=\"" +
           coordinate(y) + "\" text-anchor=\"" + anchor + "\"" + extra + ">" + escapeHtml(content) +
           "</text>";
}

// Decades carry labels; the steps between them (2 to 9) are finer lines,
// labelled at 2 and 5 only when the band holds fewer than two decades.
std::string logGrid(const Area& a, const Axis& x) {
    std::string out;
    int decadesInside = 0;
    for (double decade = std::pow(10.0, std::floor(std::log10(x.low))); decade <= x.high;
         decade *= 10.0)
        decadesInside += decade >= x.low ? 1 : 0;
    for (double decade = std::pow(10.0, std::floor(std::log10(x.low))); decade <= x.high;
         decade *= 10.0)
        for (int k = 1; k < 10; ++k) {
            const double hz = decade * k;
            if (hz < x.low * 0.9999 || hz > x.high * 1.0001)
                continue;
            const double px = xAt(a, x, hz);
            out += line(px, a.top, px, a.top + a.height, k == 1 ? "grid major" : "grid");
            if (k == 1 || (decadesInside < 2 && (k == 2 || k == 5)))
                out += text(px, a.top + a.height + 15, "middle", "tick x", frequencyLabel(hz));
        }
    return out;
}

std::string linearXGrid(const Area& a, const Axis& x) {
    std::string out;
    for (double v = std::ceil(x.low / x.step) * x.step; v <= x.high + 1e-9; v += x.step) {
        const double px = xAt(a, x, v);
        out += line(px, a.top, px, a.top + a.height, "grid major");
        out += text(px, a.top + a.height + 15, "middle", "tick x",
                    formatNumber(v, x.step < 1.0 ? 1 : 0));
    }
    return out;
}

std::string yGrid(const Area& a, const PlotFrame& f) {
    std::string out;
    const Axis& y = f.y;
    for (double v = std::ceil(y.low / y.step - 1e-9) * y.step; v <= y.high + 1e-9; v += y.step) {
        const double py = yAt(a, y, v);
        out += line(a.left, py, a.left + a.width, py, "grid major");
        out += text(a.left - 5, py + 4, "end", "tick y",
                    formatNumber(v, y.step < 1.0 ? 1 : 0) + " " + y.unit);
    }
    for (const auto& [value, label] : f.rightLabels)
        if (value >= y.low && value <= y.high)
            out += text(a.left + a.width + 5, yAt(a, y, value) + 4, "start", "tick right", label);
    return out;
}

std::string polylines(const Area& a, const PlotFrame& f, const Curve& curve) {
    std::string out;
    std::string points;
    double previous = 0.0;
    auto flush = [&] {
        if (!points.empty())
            out += "<polyline class=\"curve\" stroke=\"" + escapeHtml(curve.colour) + "\"" +
                   (curve.dashed ? " stroke-dasharray=\"6 3\"" : "") +
                   (curve.faint ? " stroke-opacity=\"0.35\"" : "") + " points=\"" + points + "\"/>";
        points.clear();
    };
    for (const auto& [xv, yv] : curve.points) {
        if (!std::isfinite(xv) || !std::isfinite(yv) || (f.x.logarithmic && xv <= 0.0)) {
            flush();
            continue;
        }
        if (curve.breakAbove > 0.0 && !points.empty() &&
            std::fabs(yv - previous) > curve.breakAbove)
            flush();
        previous = yv;
        points += coordinate(xAt(a, f.x, xv)) + "," + coordinate(yAt(a, f.y, yv)) + " ";
    }
    flush();
    return out;
}

std::string legend(const Area& a, const std::vector<Curve>& curves) {
    std::string out;
    if (curves.size() < 2)
        return out;
    double x = a.left + 8;
    for (const Curve& c : curves) {
        if (c.name.empty())
            continue;
        out += "<rect x=\"" + coordinate(x) + "\" y=\"" + coordinate(a.top + 6) +
               "\" width=\"12\" height=\"4\" fill=\"" + escapeHtml(c.colour) + "\"" +
               (c.faint ? " fill-opacity=\"0.35\"" : "") + "/>";
        out += text(x + 16, a.top + 12, "start", "legend", c.name);
        x += 24 + 7.0 * static_cast<double>(c.name.size());
    }
    return out;
}

} // namespace

std::string svgPlot(const PlotFrame& f, const std::vector<Curve>& curves) {
    const Area a = areaOf(f);
    const std::string clip = f.id + "-clip";
    std::string out = "<svg class=\"plot " + escapeHtml(f.kind) + "\" id=\"" + escapeHtml(f.id) +
                      "\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
                      coordinate(kWidth) + " " + coordinate(kHeight) + "\" width=\"" +
                      coordinate(kWidth) + "\" height=\"" + coordinate(kHeight) +
                      "\" role=\"img\">";
    out += "<title>" + escapeHtml(f.title) + "</title>";
    out += "<clipPath id=\"" + escapeHtml(clip) + "\"><rect x=\"" + coordinate(a.left) + "\" y=\"" +
           coordinate(a.top) + "\" width=\"" + coordinate(a.width) + "\" height=\"" +
           coordinate(a.height) + "\"/></clipPath>";
    out += text(a.left, 18, "start", "plot-title", f.title);
    out += f.x.logarithmic ? logGrid(a, f.x) : linearXGrid(a, f.x);
    out += yGrid(a, f);
    out += "<rect class=\"frame\" x=\"" + coordinate(a.left) + "\" y=\"" + coordinate(a.top) +
           "\" width=\"" + coordinate(a.width) + "\" height=\"" + coordinate(a.height) + "\"/>";
    out += "<g clip-path=\"url(#" + escapeHtml(clip) + ")\">";
    for (const Curve& c : curves)
        out += polylines(a, f, c);
    out += "</g>";
    out += legend(a, curves);
    out += text(a.left + a.width / 2, kHeight - 6, "middle", "axis-title x", f.x.title);
    out += "</svg>";
    return out;
}

Axis levelAxis(double lowest, double highest, double minimumSpan, const std::string& unit,
               const std::string& title) {
    if (!std::isfinite(lowest) || !std::isfinite(highest) || lowest > highest)
        lowest = highest = 0.0;
    const double span = std::max(highest - lowest, minimumSpan);
    const double step = span <= 30.0 ? 6.0 : (span <= 90.0 ? 10.0 : 20.0);
    Axis axis;
    axis.step = step;
    axis.high = std::ceil((highest + step / 2) / step) * step;
    axis.low = std::floor((lowest - step / 2) / step) * step;
    if (axis.high - axis.low < minimumSpan)
        axis.low = axis.high - std::ceil(minimumSpan / step) * step;
    axis.unit = unit;
    axis.title = title;
    return axis;
}

std::pair<double, double> levelRange(const std::vector<Curve>& curves) {
    double low = INFINITY, high = -INFINITY;
    for (const Curve& c : curves)
        for (const auto& point : c.points)
            if (std::isfinite(point.second)) {
                low = std::min(low, point.second);
                high = std::max(high, point.second);
            }
    return {low, high};
}

Axis linearAxis(double low, double high, double step, const std::string& unit,
                const std::string& title) {
    Axis a;
    a.low = low;
    a.high = high;
    a.step = step;
    a.unit = unit;
    a.title = title;
    return a;
}

Axis frequencyAxis(double lowHz, double highHz) {
    Axis x = linearAxis(lowHz, highHz, 1.0, "Hz", "frequency (Hz)");
    x.logarithmic = true;
    return x;
}

std::string frequencyLabel(double hz) {
    if (hz >= 1000.0)
        return formatNumber(hz / 1000.0, std::fmod(hz, 1000.0) == 0.0 ? 0 : 1) + " kHz";
    return formatNumber(hz, 0) + " Hz";
}

std::string formatNumber(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    std::string out = buffer;
    if (out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos)
        out.erase(0, 1); // no minus sign on a zero
    if (!out.empty() && out[0] == '-')
        out.replace(0, 1, "\u2212");
    return out;
}

std::string escapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        out += c == '&'    ? "&amp;"
               : c == '<'  ? "&lt;"
               : c == '>'  ? "&gt;"
               : c == '"'  ? "&quot;"
               : c == '\'' ? "&#39;"
                           : std::string(1, c);
    return out;
}

} // namespace report
