#include "room/band_filters.h"

#include <cmath>
#include <complex>

namespace room {

namespace {

using Complex = std::complex<double>;

const double kPi = std::acos(-1.0);
// The octave ratio of base-10 bands: mid-band frequencies are 1 kHz times
// its whole (octaves) or third (thirds) powers.
const double kOctaveRatio = std::pow(10.0, 0.3);

// A third-order prototype meets class 1 with room to spare where the
// bilinear transform keeps a band's shape; nearer half the rate it widens the
// band's lower skirt, and a fourth order wins the attenuation back.
int prototypeOrder(const Band& band, double rate) {
    return band.upper > rate / 8.0 ? 4 : 3;
}

const char* const kThirdNames[] = {"50",  "63",   "80",    "100", "125", "160",  "200",   "250",
                                   "315", "400",  "500",   "630", "800", "1k",   "1.25k", "1.6k",
                                   "2k",  "2.5k", "3.15k", "4k",  "5k",  "6.3k", "8k",    "10k"};
// The third-octave index (from 1 kHz) of the first band above, and of every
// octave: 63 Hz is 12 thirds below 1 kHz.
constexpr int kFirstThird = -13;
constexpr int kFirstOctaveThird = -12;

// The analogue frequency, rad/s, that the bilinear transform maps to hz.
double warped(double hz, double rate) {
    return 2.0 * rate * std::tan(kPi * hz / rate);
}

Complex sectionResponse(const Section& s, double hz, double rate) {
    const Complex zInverse = std::polar(1.0, -2.0 * kPi * hz / rate);
    return s.gain * (1.0 - zInverse * zInverse) /
           (1.0 + s.a1 * zInverse + s.a2 * zInverse * zInverse);
}

} // namespace

std::vector<Band> bandsFor(BandWidth width, double rate) {
    const int step = width == BandWidth::octave ? 3 : 1;
    const int first = width == BandWidth::octave ? kFirstOctaveThird : kFirstThird;
    const double halfBand = std::pow(kOctaveRatio, step / 6.0);
    std::vector<Band> bands;
    for (int third = first, i = first - kFirstThird; third <= 10; third += step, i += step) {
        Band band;
        band.name = kThirdNames[i];
        band.mid = 1000.0 * std::pow(kOctaveRatio, third / 3.0);
        band.lower = band.mid / halfBand;
        band.upper = band.mid * halfBand;
        if (band.upper >= 0.45 * rate)
            break;
        bands.push_back(band);
    }
    return bands;
}

// The analogue band-pass's poles in the upper half plane, one per prototype
// pole, each made digital and kept with its conjugate as one section.
BandFilter::BandFilter(const Band& band, double rate) : rate_(rate) {
    const double low = warped(band.lower, rate), high = warped(band.upper, rate);
    const double centre = std::sqrt(low * high), width = high - low;
    const int order = prototypeOrder(band, rate);
    for (int k = 0; k < order; ++k) {
        const Complex prototype = std::polar(1.0, kPi * (2.0 * k + order + 1) / (2.0 * order));
        const Complex scaled = prototype * width;
        const Complex root = std::sqrt(scaled * scaled - 4.0 * centre * centre);
        Complex pole = (scaled + root) / 2.0;
        if (pole.imag() < 0.0)
            pole = (scaled - root) / 2.0;
        const Complex z = (2.0 * rate + pole) / (2.0 * rate - pole);
        sections_.push_back(Section{1.0, -2.0 * z.real(), std::norm(z)});
    }
    // Each section passes the mid-band frequency (the analogue centre, made
    // digital) at unit gain, so none of them runs at a large level inside.
    const double mid = rate / kPi * std::atan(centre / (2.0 * rate));
    for (Section& s : sections_)
        s.gain = 1.0 / std::abs(sectionResponse(s, mid, rate));
}

double BandFilter::magnitudeAt(double hz) const {
    double magnitude = 1.0;
    for (const Section& s : sections_)
        magnitude *= std::abs(sectionResponse(s, hz, rate_));
    return magnitude;
}

std::vector<double> BandFilter::filtered(const std::vector<double>& samples) const {
    std::vector<double> out(samples);
    for (const Section& s : sections_) {
        double x1 = 0.0, x2 = 0.0, y1 = 0.0, y2 = 0.0;
        for (double& value : out) {
            const double x = value;
            const double y = s.gain * (x - x2) - s.a1 * y1 - s.a2 * y2;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            value = y;
        }
    }
    return out;
}

} // namespace room
