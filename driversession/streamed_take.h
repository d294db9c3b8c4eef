// One take through tandemwav's own streaming path: material in the playback
// store as the playback loader leaves it, the driver started with the buffer
// switch armed and stopped when the material is used up, and the recording
// read back as the recording writer converts it. The probe's latency run and
// the measurement's device capture both play this way.
#pragma once

#include <cstdint>
#include <vector>

// The length asked for, or else the driver's preferred one (its minimum when
// the preferred lies outside its limits); the limits are read into
// deviceState on the way, to be checked with bufferLengthAdmissible.
int32_t chooseBufferFrames(int32_t asked);

// The rate asked for, set on the driver, or else the driver's current one
// when it tells a usable one (1 kHz to 1 MHz). False when neither.
bool chooseSampleRate(double asked, double* rate);

// `material` on every playback channel at once, channel c from frame
// starts[c] on (silent where starts[c] is negative), padded with silence to
// whole buffers after the latest ends; a record store of `inputs` channels as
// long. False without memory, and then nothing is held.
bool fillStaggeredTakeStores(const std::vector<float>& material, const std::vector<int64_t>& starts,
                             uint32_t inputs);

// The record store as floats, one vector per input, first input first.
std::vector<std::vector<float>> takeRecordings();

enum class TakeEnd { Stopped, StartRefused, Interrupted, TimedOut };

// One start and one stop. A take that runs a second beyond twice its material
// is taken to have lost its driver's callbacks. lost: the blocks the driver
// lost or repeated meanwhile. The stores stay until the caller frees them.
TakeEnd runTake(double sampleRate, uint32_t* lost);
