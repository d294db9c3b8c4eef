// A-weighting as IEC 61672-1 defines it: the analogue response of its four
// poles, normalised to 0 dB at 1 kHz.
#pragma once

namespace dsp {

// The weighting's amplitude gain at hz (1.0 at 1 kHz).
double aWeightingGain(double hz);

} // namespace dsp
