// The room figures against a response whose answer is known in closed form:
// a unit direct sound and an exponentially decaying noise tail, with a noise
// floor under it; and the band filters against the class 1 acceptance limits.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "room/room_figures.h"

namespace {

using room::BandFigures;
using room::BandWidth;

// Class 1 limits on the relative attenuation (dB), at breakpoints given for
// an octave band as powers of the octave ratio; fractional bands scale the
// distance from the mid-band frequency (IEC 61260, ANSI S1.11 class 1).
struct Breakpoint {
    double octavePower, least, most;
};
const Breakpoint kClass1[] = {{0.0, -0.3, 0.3},      {0.125, -0.3, 0.4},    {0.25, -0.3, 0.6},
                              {0.375, -0.3, 1.3},    {0.5, 2.0, 5.0},       {1.0, 17.5, INFINITY},
                              {2.0, 42.0, INFINITY}, {3.0, 61.0, INFINITY}, {4.0, 70.0, INFINITY}};

TEST(BandFilters, EveryBandMeetsClass1AtEveryRate) {
    const double ratio = std::pow(10.0, 0.3);
    for (double rate : {44100.0, 48000.0, 96000.0})
        for (BandWidth width : {BandWidth::octave, BandWidth::third}) {
            const double b = width == BandWidth::octave ? 1.0 : 3.0;
            const std::vector<room::Band> bands = room::bandsFor(width, rate);
            EXPECT_EQ(bands.size(), width == BandWidth::octave ? 8u : 24u) << rate;
            for (const room::Band& band : bands) {
                const room::BandFilter filter(band, rate);
                for (const Breakpoint& p : kClass1) {
                    const double omega = 1.0 + (std::pow(ratio, 1.0 / (2.0 * b)) - 1.0) /
                                                   (std::pow(ratio, 0.5) - 1.0) *
                                                   (std::pow(ratio, p.octavePower) - 1.0);
                    for (double hz : {band.mid * omega, band.mid / omega}) {
                        if (hz >= rate / 2.0)
                            continue;
                        const double attenuation = -20.0 * std::log10(filter.magnitudeAt(hz));
                        EXPECT_GE(attenuation, p.least) << band.name << " at " << hz << " Hz";
                        EXPECT_LE(attenuation, p.most) << band.name << " at " << hz << " Hz";
                    }
                }
            }
        }
    EXPECT_EQ(room::bandsFor(BandWidth::octave, 22050.0).back().name, "4k");
}

constexpr double kRate = 48000.0;
constexpr double kT = 0.8, kReverbDb = -10.0, kStart = 0.002;
constexpr size_t kDirect = 480;

// A unit direct sound at kDirect, then from kStart after it Gaussian noise
// whose energy falls 60 dB in kT and sums to kReverbDb; a white floor
// `floorDb` below the tail's starting mean square, all along.
std::vector<float> modelResponse(double floorDb, unsigned seed) {
    const double tau = kT / (6.0 * std::log(10.0));
    const size_t start = kDirect + static_cast<size_t>(kStart * kRate);
    std::vector<double> h(static_cast<size_t>(3.0 * kRate), 0.0);
    std::mt19937_64 generator(seed);
    std::normal_distribution<double> gauss;
    double energy = 0.0;
    for (size_t n = start; n < h.size(); ++n) {
        h[n] = gauss(generator) * std::exp(-static_cast<double>(n - start) / kRate / (2.0 * tau));
        energy += h[n] * h[n];
    }
    const double scale = std::sqrt(std::pow(10.0, kReverbDb / 10.0) / energy);
    const double startMeanSquare = std::pow(10.0, kReverbDb / 10.0) / (tau * kRate);
    const double floor = std::sqrt(startMeanSquare * std::pow(10.0, -floorDb / 10.0));
    std::vector<float> out(h.size());
    for (size_t n = 0; n < h.size(); ++n)
        out[n] = static_cast<float>(h[n] * scale + floor * gauss(generator) + (n == kDirect));
    return out;
}

const BandFigures& bandNamed(const room::RoomFigures& figures, const std::string& name) {
    for (const BandFigures& band : figures.bands)
        if (band.name == name)
            return band;
    throw std::runtime_error("no band " + name);
}

TEST(RoomFigures, ModelRoomAgainstClosedFormsAndTheNoiseItCanCarry) {
    const double tau = kT / (6.0 * std::log(10.0)), er = std::pow(10.0, kReverbDb / 10.0);
    auto clarity = [&](double te) {
        const double late = er * std::exp(-(te - kStart) / tau);
        return 10.0 * std::log10((1.0 + er - late) / late);
    };
    const room::RoomFigures figures =
        room::analyseRoom(modelResponse(55.0, 1), kRate, BandWidth::octave);
    ASSERT_TRUE(figures.found) << figures.reason;
    EXPECT_EQ(figures.onsetFrame, kDirect);
    const BandFigures& broadband = figures.bands.front();
    ASSERT_TRUE(broadband.t20.given && broadband.t30.given) << broadband.t30.reason;
    EXPECT_NEAR(broadband.t20.fit.seconds(), kT, 0.02 * kT);
    EXPECT_NEAR(broadband.t30.fit.seconds(), kT, 0.02 * kT);
    EXPECT_GT(broadband.t30.fit.correlation, -1.0);
    EXPECT_LT(broadband.t30.fit.nonLinearity(), 10.0);
    EXPECT_NEAR(broadband.c50.value, clarity(0.05), 0.3);
    EXPECT_NEAR(broadband.c80.value, clarity(0.08), 0.3);
    EXPECT_NEAR(broadband.d50.value,
                100.0 * (1.0 + er * (1.0 - std::exp(-(0.05 - kStart) / tau))) / (1.0 + er), 0.5);
    EXPECT_NEAR(broadband.ts.value, 1000.0 * er * (kStart + tau) / (1.0 + er), 0.5);
    EXPECT_NEAR(broadband.decayRangeDb, 55.0, 3.0);
    for (const char* name : {"250", "500", "1k", "2k", "4k", "8k"}) {
        const BandFigures& band = bandNamed(figures, name);
        ASSERT_TRUE(band.t30.given) << name << ": " << band.t30.reason;
        EXPECT_NEAR(band.t30.fit.seconds(), kT, kT * 1.65 / std::sqrt(0.707 * band.mid * kT))
            << name;
    }

    // 40 dB of decay above the floor carries T20, not T30; it is not
    // extrapolated from the shorter range.
    const room::RoomFigures shallow =
        room::analyseRoom(modelResponse(40.0, 2), kRate, BandWidth::octave);
    ASSERT_TRUE(shallow.found);
    const BandFigures& shallowBroadband = shallow.bands.front();
    EXPECT_FALSE(shallowBroadband.t30.given);
    EXPECT_NE(shallowBroadband.t30.reason.find("T30 needs 45 dB"), std::string::npos)
        << shallowBroadband.t30.reason;
    ASSERT_TRUE(shallowBroadband.t20.given) << shallowBroadband.t20.reason;
    EXPECT_NEAR(shallowBroadband.t20.fit.seconds(), kT, 0.02 * kT);
    // The low thirds' filters decay too slowly for this room.
    const room::RoomFigures thirds =
        room::analyseRoom(modelResponse(55.0, 3), kRate, BandWidth::third);
    EXPECT_FALSE(bandNamed(thirds, "50").t30.given);
    EXPECT_NE(bandNamed(thirds, "50").t30.reason.find("filter"), std::string::npos);
}

// A digital reverb's response ends: its decay stops 100 dB down, far above
// the floor of rounding that the deconvolution leaves, and that floor falls
// slowly on its own. The floor is noise under the decay, not its late part.
TEST(RoomFigures, ADecayThatEndsFarAboveASlopingFloorKeepsItsOwnLine) {
    const double tau = kT / (6.0 * std::log(10.0));
    constexpr double kFloorFallDbPerSecond = 25.0;
    std::vector<float> h = modelResponse(200.0, 4);
    h.resize(kDirect + static_cast<size_t>(2.0 * kRate));
    const size_t end = kDirect + static_cast<size_t>((kStart + kT * 100.0 / 60.0) * kRate);
    const double startLevel = std::sqrt(std::pow(10.0, kReverbDb / 10.0) / (tau * kRate));
    const double floorLevel = startLevel * std::pow(10.0, -160.0 / 20.0);
    std::mt19937_64 generator(5);
    std::normal_distribution<double> gauss;
    for (size_t n = end; n < h.size(); ++n) {
        const double seconds = static_cast<double>(n - end) / kRate;
        h[n] = static_cast<float>(floorLevel * gauss(generator) *
                                  std::pow(10.0, -kFloorFallDbPerSecond / 20.0 * seconds));
    }
    const room::RoomFigures figures = room::analyseRoom(h, kRate, BandWidth::octave);
    ASSERT_TRUE(figures.found) << figures.reason;
    const BandFigures& broadband = figures.bands.front();
    ASSERT_TRUE(broadband.t30.given) << broadband.t30.reason;
    EXPECT_NEAR(broadband.t30.fit.seconds(), kT, 0.02 * kT);
    // The low octaves' own filters decay too slowly for this room's T30.
    for (const char* name : {"250", "500", "1k", "2k", "4k", "8k"}) {
        const BandFigures& band = bandNamed(figures, name);
        ASSERT_TRUE(band.t30.given) << name << ": " << band.t30.reason;
        EXPECT_NEAR(band.t30.fit.seconds(), kT, kT * 1.65 / std::sqrt(0.707 * band.mid * kT))
            << name;
    }
}

TEST(RoomFigures, NoDecayIsFoundInNoiseOrInTooShortAResponse) {
    std::mt19937_64 generator(7);
    std::normal_distribution<double> gauss;
    std::vector<float> noise(static_cast<size_t>(kRate));
    for (float& sample : noise)
        sample = static_cast<float>(gauss(generator));
    EXPECT_FALSE(room::analyseRoom(noise, kRate, BandWidth::octave).found);
    std::vector<float> brief = modelResponse(55.0, 1);
    brief.resize(kDirect + static_cast<size_t>(0.09 * kRate));
    const room::RoomFigures figures = room::analyseRoom(brief, kRate, BandWidth::octave);
    EXPECT_FALSE(figures.found);
    EXPECT_NE(figures.reason.find("after its peak"), std::string::npos) << figures.reason;
    EXPECT_FALSE(room::analyseRoom(std::vector<float>(1000, 0.0f), kRate, BandWidth::octave).found);
}

} // namespace
