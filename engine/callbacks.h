// The four callbacks the driver calls on its own thread while it runs.
#pragma once

#include "asiohost/asio.h"

void onBufferSwitch(int32_t index, ASIOBool processNow);
void onSampleRateDidChange(ASIOSampleRate rate);
int32_t onAsioMessage(int32_t selector, int32_t value, void* message, double* opt);
ASIOTime* onBufferSwitchTimeInfo(ASIOTime* params, int32_t index, ASIOBool processNow);

// Points hostCallbacks at the four above.
void fillHostCallbacks();

// The buffer switch plays silence, records nothing and leaves the countdown
// alone until the stores are complete: some drivers call it from inside
// createBuffers or start. The run sequence arms it just before ASIOStart;
// arming also starts a fresh sample-position history.
void armBufferSwitch();
void disarmBufferSwitch();

// Switches since process start whose sample position did not follow the
// previous one by one buffer, switches with a half index other than 0 or 1,
// and reset or resync requests from the driver. Safe to read at any time.
uint32_t lostBlockCount();
