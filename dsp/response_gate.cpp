#include "dsp/response_gate.h"

#include <algorithm>
#include <cmath>

#include "dsp/window_shapes.h"

namespace dsp {

ResponseGate::ResponseGate(double peakFrame, double rate, double gateMs)
    : peak_(peakFrame), gateMs_(gateMs), opensAt_(peakFrame - rate / 1000.0),
      closedAt_(peakFrame + rate * gateMs / 1000.0),
      closingFrom_(closedAt_ - (closedAt_ - opensAt_) / 4.0) {}

double ResponseGate::weight(double frame) const {
    if (frame <= opensAt_ || frame >= closedAt_)
        return 0.0;
    return raisedCosineStep(frame, opensAt_, peak_) *
           (1.0 - raisedCosineStep(frame, closingFrom_, closedAt_));
}

std::vector<std::complex<double>> gatedSpectrum(const std::vector<float>& h,
                                                const ResponseGate& gate, double rate,
                                                const std::vector<double>& hz) {
    const double pi = std::acos(-1.0);
    const long long first = std::max(0LL, static_cast<long long>(std::ceil(gate.opensAt())));
    const long long last = std::min(static_cast<long long>(h.size()) - 1,
                                    static_cast<long long>(std::floor(gate.closedAt())));
    std::vector<double> gated;
    for (long long n = first; n <= last; ++n)
        gated.push_back(static_cast<double>(h[static_cast<size_t>(n)]) *
                        gate.weight(static_cast<double>(n)));
    std::vector<std::complex<double>> spectrum;
    for (double f : hz) {
        // A phasor turned one frame's worth per sample: exact enough over a
        // gate of a second, and far cheaper than a sine per sample.
        const double omega = 2.0 * pi * f / rate;
        const std::complex<double> step = std::polar(1.0, -omega);
        std::complex<double> turn =
            std::polar(1.0, -omega * (static_cast<double>(first) - gate.peak()));
        std::complex<double> sum = 0.0;
        for (double value : gated) {
            sum += value * turn;
            turn *= step;
        }
        spectrum.push_back(sum);
    }
    return spectrum;
}

} // namespace dsp
