// Shapes that fade a signal or a stretch of a response in and out.
#pragma once

#include <cstddef>

namespace dsp {

// Gain i of a half-Hann fade-in of length frames: from 0 at i = 0 rising to 1
// at i = length (so the fade never reaches exactly full gain inside it). A
// fade-out is the same read from its far end.
double halfHannRise(size_t i, size_t length);

// A raised-cosine step in frequency: 0 at or below low, 1 at or above high.
double raisedCosineStep(double x, double low, double high);

// A flat window of size frames whose outermost taper frames on each side fade
// with a half Hann, so that cutting a response out of a longer one adds
// little leakage.
double taperedWindow(size_t i, size_t size, size_t taper);

} // namespace dsp
