#include "measure/tool_files.h"

#include <cmath>
#include <cstdio>

#include "measure/command_line.h"
#include "measure/measure_files.h"

namespace measure {

namespace {

// The response a tool is given: smoothed where asked, else gated where
// asked, else as reported (referenced and calibrated where asked).
const std::vector<ResponsePoint>& finalResponse(const ChannelResult& channel) {
    if (!channel.smoothedResponse.empty())
        return channel.smoothedResponse;
    if (!channel.gatedResponse.empty())
        return channel.gatedResponse;
    return channel.response;
}

std::string formatted(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

double wrappedDegrees(double deg) {
    return deg - 360.0 * std::floor((deg + 180.0) / 360.0);
}

// -dphi/domega between the neighbouring grid points (one-sided at the ends),
// in ms: the phase is read with the delay removed, so this is the group delay
// about the impulse response's peak.
double groupDelayMs(const std::vector<ResponsePoint>& r, size_t i) {
    const size_t a = i > 0 ? i - 1 : i;
    const size_t b = i + 1 < r.size() ? i + 1 : i;
    if (a == b || !(r[b].hz > r[a].hz))
        return 0.0;
    const double degrees = wrappedDegrees(r[b].deg - r[a].deg);
    return -degrees / 360.0 / (r[b].hz - r[a].hz) * 1000.0;
}

std::string levelCell(const HarmonicCurve& curve, size_t i) {
    if (i >= curve.points.size() || curve.points[i].belowNoise)
        return "";
    return formatted("%.3f", curve.points[i].db);
}

std::string thdCell(const std::vector<ThdPoint>& thd, double hz) {
    for (const ThdPoint& p : thd)
        if (std::fabs(p.hz - hz) <= 1e-9 * hz)
            return formatted("%.5f", p.percent);
    return "";
}

std::string dbCell(const std::vector<ResponsePoint>& response, size_t i) {
    return i < response.size() ? formatted("%.4f", response[i].db) : "";
}

std::string frdText(const ChannelResult& channel, const ResponseMaking& making) {
    std::string text = "* tandemwav-measure " TANDEM_VERSION ": " + making.pair + "\n";
    if (making.reference > 0 && channel.hasRelativeDelay)
        text += "* referenced to input " + std::to_string(making.reference) + "\n";
    if (!channel.calibrationFile.empty())
        text += "* calibrated by " + channel.calibrationFile +
                " (points outside its range as measured)\n";
    if (making.gateMs > 0.0)
        text += "* gated at " + formatted("%g", making.gateMs) + " ms\n";
    if (making.smoothing > 0)
        text += "* smoothed 1/" + std::to_string(making.smoothing) + " octave\n";
    text += "* Hz dB degrees\n";
    for (const ResponsePoint& p : finalResponse(channel))
        text += formatted("%.4f", p.hz) + " " + formatted("%.4f", p.db) + " " +
                formatted("%.4f", p.deg) + "\n";
    return text;
}

} // namespace

std::string csvText(const ChannelResult& channel, int harmonicsCounted) {
    std::string text = "Hz,dB,degrees,group delay ms";
    for (int k = 2; k <= harmonicsCounted; ++k)
        text += ",HD" + std::to_string(k) + " dB";
    text += ",THD %";
    const bool smoothed = !channel.smoothedResponse.empty();
    const bool gated = !channel.gatedResponse.empty();
    text += std::string(smoothed ? ",smoothed dB" : "") + (gated ? ",gated dB" : "") + "\n";
    const std::vector<ResponsePoint>& r = channel.response;
    for (size_t i = 0; i < r.size(); ++i) {
        text += formatted("%.3f", r[i].hz) + "," + formatted("%.4f", r[i].db) + "," +
                formatted("%.4f", r[i].deg) + "," + formatted("%.5f", groupDelayMs(r, i));
        for (int k = 2; k <= harmonicsCounted; ++k) {
            const size_t order = static_cast<size_t>(k - 2);
            text += "," + (order < channel.harmonics.size() ? levelCell(channel.harmonics[order], i)
                                                            : std::string());
        }
        text += "," + thdCell(channel.thd, r[i].hz);
        if (smoothed)
            text += "," + dbCell(channel.smoothedResponse, i);
        if (gated)
            text += "," + dbCell(channel.gatedResponse, i);
        text += "\n";
    }
    return text;
}

void writeChannelFiles(const std::string& dir, const std::string& name, int rate,
                       ChannelResult& channel, const ResponseMaking& making, int harmonicsCounted) {
    channel.impulseResponse = "ir-" + name + ".wav";
    channel.frd = "response-" + name + ".frd";
    channel.csv = "response-" + name + ".csv";
    writeFloatWav(joinPath(dir, channel.impulseResponse), rate, 1, channel.impulseSamples);
    writeTextFile(joinPath(dir, channel.frd), frdText(channel, making));
    writeTextFile(joinPath(dir, channel.csv), csvText(channel, harmonicsCounted));
}

} // namespace measure
