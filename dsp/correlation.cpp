#include "dsp/correlation.h"

#include "dsp/real_fft.h"

namespace dsp {

std::vector<double> crossCorrelation(const std::vector<float>& signal,
                                     const std::vector<float>& recording, size_t lags) {
    // The transform is at least as long as the recording, so the lags asked
    // for never wrap around.
    const RealFft fft(fastSizeAtLeast(recording.size()));
    std::vector<double> samples(fft.size(), 0.0);
    std::vector<Complex> product(fft.bins());
    std::vector<Complex> reference(fft.bins());
    for (size_t i = 0; i < signal.size(); ++i)
        samples[i] = signal[i];
    fft.forward(samples.data(), reference.data());
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = i < recording.size() ? recording[i] : 0.0;
    fft.forward(samples.data(), product.data());
    for (size_t i = 0; i < product.size(); ++i)
        product[i] *= std::conj(reference[i]);
    fft.inverse(product.data(), samples.data());
    samples.resize(lags);
    return samples;
}

} // namespace dsp
