// What an analysis found, held as plain records before it becomes JSON or a
// summary, so that other programs (a report, averaged runs) can use it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "measure/sweep_plan.h"
#include "room/room_figures.h"

namespace measure {

struct ResponsePoint {
    double hz = 0.0;
    double db = 0.0;
    double deg = 0.0; // with the delay removed
    // Below three periods of the linear response's cut: the cut, not the
    // device, shapes it.
    bool belowResolution = false;
    // Gated responses only: below one period of the gate after the peak.
    bool belowGate = false;
    // False outside a calibration file's range, where the point is left as
    // measured; true where no file applies.
    bool calibrated = true;
};

struct LevelPoint {
    double hz = 0.0; // the excitation frequency
    double db = 0.0;
    bool belowNoise = false; // db is then a level the harmonic stays below
};

// The energy-time curve of a perfect loop's response, which the band limit
// alone shapes: dB of its peak, in steps from a little before the peak.
constexpr double kBandLimitEtcFromMs = -5.0;
constexpr double kBandLimitEtcStepMs = 0.5;
constexpr int kBandLimitEtcSteps = 410;

struct HarmonicCurve {
    int order = 0;
    std::vector<LevelPoint> points; // HDk, relative to the fundamental
};

struct ThdPoint {
    double hz = 0.0;
    double percent = 0.0;
};

struct ChannelResult {
    int input = 0; // from 1
    bool belowNoise = false;
    // Frames from a frame of the played file to its return in the recording:
    // the linear response's largest sample, as the recording's frame 0 is the
    // played file's frame 0. It does not depend on the silence before the sweep.
    int64_t delayFrames = 0;
    // The recording's frame, counted from the start of the played file, where
    // the response to the sweep's first frame peaks: that silence plus the delay.
    int64_t peakRecordingFrame = 0;
    double peak = 0.0;          // the linear response's largest sample, signed
    bool noiseMeasured = false; // false when the noise stretch is all zeros
    double snrDb = 0.0;         // the peak against the noise floor
    double noiseFloorDb = 0.0;  // the noise's power within the band, dB
    uint64_t clippedSamples = 0;
    std::string impulseResponse;       // file name, in the results' folder
    std::vector<float> impulseSamples; // the linear response from frame 0, delay kept
    // Referenced (when a reference divides it) and calibrated (where a file
    // applies): the response reported.
    std::vector<ResponsePoint> response;
    // With a gate: the response of the impulse response gated around its peak.
    std::vector<ResponsePoint> gatedResponse;
    // With smoothing: the gated response smoothed when there is one, else the response.
    std::vector<ResponsePoint> smoothedResponse;
    // The pair's own, before a reference divided it; empty without one.
    std::vector<ResponsePoint> unreferencedResponse;
    // The referenced impulse response's peak against the reference's, in
    // frames to a hundredth; with impulseSamples then the referenced response.
    bool hasRelativeDelay = false;
    double relativeDelayFrames = 0.0;
    std::string calibrationFile; // full path; empty when none applies
    std::string frd, csv;        // the files for other tools, in the results' folder
    std::vector<HarmonicCurve> harmonics;
    std::vector<ThdPoint> thd; // of the orders measured; none where none is
    bool hasRoom = false;      // room figures asked for (--room)
    room::RoomFigures room;
};

struct Results {
    bool complete = false;
    std::string error;
    SweepPlan sweep;
    int harmonicsCounted = 0; // K
    int reference = 0;        // the reference channel, from 1; 0 for none
    uint64_t clippedSamples = 0;
    std::vector<double> bandLimitEtcDb;
    double gateMs = 0.0; // 0: not gated
    int smoothing = 0;   // N of 1/N octave; 0: not smoothed
    std::vector<ChannelResult> channels;
    // What was analysed, when and by which version: the files as full paths.
    std::string sweepFile, recording, date, programVersion;
};

} // namespace measure
