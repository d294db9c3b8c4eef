// Octave and third-octave band filters for room acoustics: base-10 mid-band
// frequencies, each band a Butterworth band-pass of order 6 (a third-order
// low-pass prototype; order 8 for bands above an eighth of the rate) made
// digital by the bilinear transform with its band edges pre-warped, run
// forwards as second-order sections.
#pragma once

#include <string>
#include <vector>

namespace room {

enum class BandWidth { octave, third };

struct Band {
    std::string name; // the nominal mid-band frequency: "63", "1k", "3.15k"
    double mid = 0.0; // the exact mid-band frequency, Hz
    double lower = 0.0, upper = 0.0;
    double bandwidth() const { return upper - lower; }
};

// Octaves 63 Hz to 8 kHz or thirds 50 Hz to 10 kHz, those whose upper edge
// lies below 0.45 times the rate (the bilinear transform squeezes a band any
// nearer to half the rate out of shape).
std::vector<Band> bandsFor(BandWidth width, double rate);

// One second-order section: b0 (1 - z^-2) over 1 + a1 z^-1 + a2 z^-2.
struct Section {
    double gain = 1.0;
    double a1 = 0.0, a2 = 0.0;
};

class BandFilter {
  public:
    BandFilter(const Band& band, double rate);

    // The magnitude of the digital filter at hz, 1.0 at the mid-band frequency.
    double magnitudeAt(double hz) const;

    // The response filtered from rest, forwards.
    std::vector<double> filtered(const std::vector<double>& samples) const;

  private:
    double rate_;
    std::vector<Section> sections_;
};

} // namespace room
