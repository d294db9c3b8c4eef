// The loopback device model's room: the partitioned convolution gives the
// drawn tail sample for sample, across blocks and starts, and the tail is the
// one asked for (its energy, its decay, its delay, the same every time).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "drivers/loopback/loopback_reverb.h"

namespace {

// What the entry's blocks come out as when `input` is played through them.
std::vector<double> played(LoopbackReverb& reverb, size_t entry, const std::vector<double>& input,
                           size_t frames) {
    std::vector<double> out;
    for (size_t from = 0; from < input.size(); from += frames) {
        std::vector<double> block(input.begin() + static_cast<std::ptrdiff_t>(from),
                                  input.begin() + static_cast<std::ptrdiff_t>(from + frames));
        reverb.process(entry, block.data());
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

TEST(LoopbackReverb, AnImpulseComesBackAsItselfAndTheTailInEveryEntryAndStart) {
    const double rate = 48000.0, seconds = 0.3, db = -10.0;
    const size_t frames = 96, at = 37;
    LoopbackReverb reverb;
    reverb.configure(seconds, db, LoopbackReverb::kDefaultSeed);
    ASSERT_TRUE(reverb.prepare(2, frames, rate));
    const std::vector<double>& tail = reverb.tail();
    ASSERT_EQ(tail.size(), 96u + static_cast<size_t>(std::ceil(100.0 / 60.0 * seconds * rate)));
    double energy = 0.0, early = 0.0;
    for (size_t n = 0; n < tail.size(); ++n) {
        energy += tail[n] * tail[n];
        early += n < 96 + static_cast<size_t>(seconds / 6.0 * rate) ? tail[n] * tail[n] : 0.0;
        if (n < 96) {
            EXPECT_EQ(tail[n], 0.0) << "the tail starts 2 ms after the direct sound";
        }
    }
    EXPECT_NEAR(10.0 * std::log10(energy), db, 1e-9);
    // A tenth of T holds all but 10 dB of an exponential decay's energy.
    EXPECT_NEAR(10.0 * std::log10(1.0 - early / energy), -10.0, 0.5);

    std::vector<double> input((tail.size() / frames + 3) * frames, 0.0);
    input[at] = 1.0;
    for (int start = 0; start < 2; ++start) {
        reverb.restart();
        for (size_t entry = 0; entry < 2; ++entry) {
            const std::vector<double> out = played(reverb, entry, input, frames);
            for (size_t n = 0; n < out.size(); ++n) {
                const double expected =
                    (n == at ? 1.0 : 0.0) + (n >= at && n - at < tail.size() ? tail[n - at] : 0.0);
                ASSERT_NEAR(out[n], expected, 1e-12) << "frame " << n << ", entry " << entry;
            }
        }
    }
    LoopbackReverb again;
    again.configure(seconds, db, LoopbackReverb::kDefaultSeed);
    ASSERT_TRUE(again.prepare(1, 256, rate));
    EXPECT_EQ(again.tail(), tail) << "one room, whatever the buffer";
}

} // namespace
