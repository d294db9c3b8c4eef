#include "measure/clipping.h"

#include <cmath>

namespace measure {

float fullScaleOf(int integerBytes) {
    if (integerBytes == 2)
        return 1.0f - 0x1p-15f;
    if (integerBytes == 3)
        return 1.0f - 0x1p-23f;
    return 1.0f;
}

uint64_t clippedSamples(const float* first, size_t count, size_t stride, float fullScale) {
    uint64_t clipped = 0;
    size_t run = 0;     // consecutive samples at full scale, this one included
    size_t counted = 0; // of them, those already counted for passing 1.0
    for (size_t n = 0; n < count; ++n) {
        const float magnitude = std::fabs(first[n * stride]);
        if (!(magnitude >= fullScale)) {
            run = counted = 0;
            continue;
        }
        ++run;
        if (run < kClippedRun) {
            if (magnitude > 1.0f) {
                ++clipped; // beyond any code: clipped on its own
                ++counted;
            }
        } else {
            // The run's earlier samples count once it is known to be one.
            clipped += run == kClippedRun ? kClippedRun - counted : 1;
        }
    }
    return clipped;
}

} // namespace measure
