#include "drivers/common/asio_driver.h"

#include <cstring>

void describeOwnClock(ASIOClockSource* clock, const char* name) {
    std::memset(clock, 0, sizeof *clock);
    clock->associatedChannel = -1;
    clock->associatedGroup = -1;
    clock->isCurrentSource = ASIOTrue;
    copyFieldText(clock->name, sizeof clock->name, name);
}

void describeSwitchTime(ASIOTime* time, uint64_t systemTimeNs, uint64_t samplePosition,
                        ASIOSampleRate sampleRate) {
    std::memset(time, 0, sizeof *time);
    time->timeInfo.speed = 1.0;
    splitAsioWide(systemTimeNs, &time->timeInfo.systemTime.hi, &time->timeInfo.systemTime.lo);
    splitAsioWide(samplePosition, &time->timeInfo.samplePosition.hi,
                  &time->timeInfo.samplePosition.lo);
    time->timeInfo.sampleRate = sampleRate;
    time->timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid;
}
