// One plot as inline SVG: curves over a logarithmic frequency axis with
// labelled decades, or over a linear axis, on a labelled grid. Readable
// without any script or style sheet beyond what it carries.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace report {

struct Curve {
    std::string name; // shown in the legend when the plot has more than one
    std::string colour;
    std::vector<std::pair<double, double>> points;
    // A jump of more than this between neighbours starts a new line (phase
    // wrapping from +180 to -180 degrees); 0: never.
    double breakAbove = 0.0;
    bool dashed = false; // drawn over the others without hiding them
    // Lighter: what the analysis marks (below its resolution, a bound where a
    // harmonic lies below the noise, the band limit's own share).
    bool faint = false;
};

struct Axis {
    double low = 0.0;
    double high = 1.0;
    bool logarithmic = false;
    double step = 1.0; // grid spacing of a linear axis
    std::string unit;  // "Hz", "dB", "degrees", "ms"
    std::string title; // the axis's caption
};

struct PlotFrame {
    std::string id;    // unique in the page
    std::string kind;  // a class naming what it shows: magnitude, phase, ...
    std::string title; // above the plot
    Axis x;
    Axis y;
    // Optional labels on the right edge, at y values: the percentages beside
    // a dB scale.
    std::vector<std::pair<double, std::string>> rightLabels;
};

// Curves are drawn in order, the first beneath; those without a name stay
// out of the legend.
std::string svgPlot(const PlotFrame& frame, const std::vector<Curve>& curves);

// A grid spacing and limits rounded outward to it, so the curves fit with
// some room, spanning at least `minimumSpan`.
Axis levelAxis(double lowest, double highest, double minimumSpan, const std::string& unit,
               const std::string& title);

// The lowest and highest finite y of the curves' points; INFINITY and
// -INFINITY when they have none.
std::pair<double, double> levelRange(const std::vector<Curve>& curves);

Axis linearAxis(double low, double high, double step, const std::string& unit,
                const std::string& title);

Axis frequencyAxis(double lowHz, double highHz); // logarithmic

// "20 Hz", "1 kHz", "10 kHz".
std::string frequencyLabel(double hz);

// A number for the page: fixed decimals, a real minus sign.
std::string formatNumber(double value, int decimals);

// Text safe inside HTML and SVG elements and attribute values.
std::string escapeHtml(const std::string& text);

} // namespace report
