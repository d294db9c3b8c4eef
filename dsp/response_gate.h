// A time gate on an impulse response: it keeps the direct sound of a
// loudspeaker and leaves out the room's reflections that arrive later.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace dsp {

// The gate opens over the millisecond before the response's peak with a
// half Hann, stays open, and closes with a half Hann over the last quarter
// of its span, which ends gateMs after the peak. Frames count as the
// response's do, fractions allowed.
class ResponseGate {
  public:
    ResponseGate(double peakFrame, double rate, double gateMs);
    double peak() const { return peak_; }
    double opensAt() const { return opensAt_; } // the weight rises from 0 here
    double closedAt() const { return closedAt_; }
    double weight(double frame) const;
    // The lowest frequency it resolves: one period within gateMs.
    double resolvedFromHz() const { return 1000.0 / gateMs_; }

  private:
    double peak_, gateMs_, opensAt_, closedAt_, closingFrom_;
};

// The gated response's spectrum at each of hz, with the peak as time 0 (the
// delay removed). Samples past h's ends count as 0.
std::vector<std::complex<double>> gatedSpectrum(const std::vector<float>& h,
                                                const ResponseGate& gate, double rate,
                                                const std::vector<double>& hz);

} // namespace dsp
