// The loopback's one source of randomness: SplitMix64, fast, seedable and
// the same on every system, so that a run's noise repeats exactly.
#pragma once

#include <cstdint>

// The next value of the generator whose state this is, uniform in (0, 1):
// never 0, so that its logarithm is finite.
inline double nextUniform(uint64_t& state) {
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    return (static_cast<double>(z >> 11) + 0.5) * 0x1.0p-53;
}
