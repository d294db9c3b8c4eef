// The clock thread's scheduling, asked for the way drivers of real devices do;
// each system has its own source file.
#pragma once

// Called on the clock thread as it begins; names what it got ("mmcss",
// "time-critical", "fifo" or "normal"). Refusals fall back silently.
const char* raiseClockPriority();

// Called on the clock thread as it ends.
void restoreClockPriority();
