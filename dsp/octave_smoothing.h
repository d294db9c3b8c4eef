// Fractional-octave smoothing of a frequency response on a logarithmic grid.
#pragma once

#include <complex>
#include <vector>

namespace dsp {

// The widths offered, as N of 1/N octave.
bool isSmoothingFraction(int fraction);

// 1/N-octave smoothing: at each grid frequency f, the mean of the grid
// points within f 2^(-1/(2N)) to f 2^(1/(2N)), which near the grid's ends
// holds only the points inside it. The magnitude is the root of the mean
// power, the phase that of the mean complex response. hz rises.
std::vector<std::complex<double>> smoothOctave(const std::vector<double>& hz,
                                               const std::vector<std::complex<double>>& response,
                                               int fraction);

} // namespace dsp
