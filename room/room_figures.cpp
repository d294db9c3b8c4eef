#include "room/room_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace room {

namespace {

std::string formatted(const char* format, double a, double b = 0.0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

Figure givenFigure(double value) {
    return Figure{true, value, ""};
}

Figure absentFigure(const std::string& reason) {
    return Figure{false, 0.0, reason};
}

// Where the direct sound begins: the first sample whose square comes within
// 20 dB of the largest (ISO 3382-1, annex A).
size_t onsetOf(const std::vector<double>& h, size_t peak) {
    const double threshold = h[peak] * h[peak] / 100.0;
    size_t onset = 0;
    while (h[onset] * h[onset] < threshold)
        ++onset;
    return onset;
}

struct DecayRange {
    const char* name;
    double topDb, bottomDb, needsDb;
};

const DecayRange kEdt{"EDT", 0.0, -10.0, kEdtNeedsDb};
const DecayRange kT20{"T20", -5.0, -25.0, kT20NeedsDb};
const DecayRange kT30{"T30", -5.0, -35.0, kT30NeedsDb};

DecayFigure decayFigure(const BandFigures& band, const SchroederDecay& curve,
                        const DecayRange& range) {
    DecayFigure figure;
    if (band.decayRangeDb < range.needsDb) {
        figure.reason = formatted("the decay stands %.1f dB above the noise; ", band.decayRangeDb) +
                        range.name + formatted(" needs %.0f dB", range.needsDb);
        return figure;
    }
    figure.fit = fitDecay(curve, range.topDb, range.bottomDb);
    if (!figure.fit.fitted) {
        figure.reason = formatted(
            "the decay curve does not fall to %.0f dB before it meets the noise", range.bottomDb);
        return figure;
    }
    const double product = band.bandwidth * figure.fit.seconds();
    if (band.mid > 0.0 && product < kLeastBandwidthTime) {
        figure.reason = std::string("bandwidth times ") + range.name +
                        formatted(" is %.1f, below %.0f: the band filter's own decay shows in it",
                                  product, kLeastBandwidthTime);
        return figure;
    }
    figure.given = true;
    return figure;
}

void energyFigures(const SchroederDecay& curve, double rate, BandFigures& band) {
    const double total = curve.total();
    auto clarity = [&](double seconds) {
        const double late = curve.energyFrom(static_cast<size_t>(std::lround(seconds * rate)));
        return late > 0.0 ? givenFigure(10.0 * std::log10((total - late) / late))
                          : absentFigure("no energy arrives after the early limit");
    };
    band.c50 = clarity(0.050);
    band.c80 = clarity(0.080);
    const double late50 = curve.energyFrom(static_cast<size_t>(std::lround(0.050 * rate)));
    band.d50 = givenFigure(100.0 * (total - late50) / total);
    band.ts = givenFigure(1000.0 * curve.firstMoment() / total);
}

void markAbsent(BandFigures& band, const std::string& reason) {
    for (DecayFigure* f : {&band.edt, &band.t20, &band.t30})
        f->reason = reason;
    for (Figure* f : {&band.c50, &band.c80, &band.d50, &band.ts})
        *f = absentFigure(reason);
}

// h: the whole response (band-filtered or not) from its first frame.
BandFigures bandFigures(BandFigures band, const std::vector<double>& h, size_t onset, double rate) {
    std::vector<double> squared(h.begin() + static_cast<std::ptrdiff_t>(onset), h.end());
    double peak = 0.0;
    for (double& value : squared) {
        value *= value;
        peak = std::max(peak, value);
    }
    const NoiseDecay decay = findNoiseDecay(squared, rate);
    band.noiseDb = decay.noiseDb();
    band.peakToNoise = decay.noiseMeanSquare > 0.0
                           ? givenFigure(10.0 * std::log10(peak / decay.noiseMeanSquare))
                           : absentFigure("the response holds no noise to compare with");
    if (!decay.found || !(peak > 0.0)) {
        markAbsent(band, "no decay stands above the noise");
        return band;
    }
    band.decayFound = true;
    band.decayRangeDb = decay.rangeDb();
    band.crossFrame = decay.crossFrame;
    const SchroederDecay curve(squared, decay, rate);
    band.edt = decayFigure(band, curve, kEdt);
    band.t20 = decayFigure(band, curve, kT20);
    band.t30 = decayFigure(band, curve, kT30);
    energyFigures(curve, rate, band);
    const double step = kCurveStepSeconds * rate;
    for (double frame = 0.0; frame < static_cast<double>(decay.crossFrame); frame += step)
        band.curveDb.push_back(curve.levelDb(static_cast<size_t>(frame)));
    return band;
}

} // namespace

const char* bandWidthName(BandWidth width) {
    return width == BandWidth::octave ? "octave" : "third";
}

RoomFigures analyseRoom(const std::vector<float>& response, double rate, BandWidth width) {
    RoomFigures room;
    room.rate = rate;
    room.width = width;
    const std::vector<double> h(response.begin(), response.end());
    size_t peak = 0;
    for (size_t n = 1; n < h.size(); ++n)
        if (std::fabs(h[n]) > std::fabs(h[peak]))
            peak = n;
    if (h.empty() || h[peak] == 0.0) {
        room.reason = "the response is silent";
        return room;
    }
    if (static_cast<double>(h.size() - peak) < kShortestDecaySeconds * rate) {
        room.reason = formatted("the response holds %.3f s after its peak, less than %.1f s",
                                static_cast<double>(h.size() - peak) / rate, kShortestDecaySeconds);
        return room;
    }
    room.onsetFrame = onsetOf(h, peak);
    BandFigures broadband;
    broadband.name = "broadband";
    room.bands.push_back(bandFigures(broadband, h, room.onsetFrame, rate));
    if (!room.bands.front().decayFound) {
        room.reason = "no decay stands above the noise";
        room.bands.clear();
        return room;
    }
    for (const Band& band : bandsFor(width, rate)) {
        BandFigures figures;
        figures.name = band.name;
        figures.mid = band.mid;
        figures.bandwidth = band.bandwidth();
        room.bands.push_back(
            bandFigures(figures, BandFilter(band, rate).filtered(h), room.onsetFrame, rate));
    }
    room.found = true;
    return room;
}

} // namespace room
