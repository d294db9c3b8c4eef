// The host API: every call reaches the one current driver, or answers by
// itself with ASE_NotPresent when there is none.
#pragma once

#include "asiohost/asio.h"

extern IASIO* currentDriver;

ASIOError ASIOInit(ASIODriverInfo* info);
ASIOError ASIOExit();
ASIOError ASIOStart();
ASIOError ASIOStop();
ASIOError ASIOGetChannels(int32_t* numInputChannels, int32_t* numOutputChannels);
ASIOError ASIOGetLatencies(int32_t* inputLatency, int32_t* outputLatency);
ASIOError ASIOGetBufferSize(int32_t* minSize, int32_t* maxSize, int32_t* preferredSize,
                            int32_t* granularity);
ASIOError ASIOCanSampleRate(ASIOSampleRate sampleRate);
ASIOError ASIOGetSampleRate(ASIOSampleRate* currentRate);
// numSources: the room in clocks going in, the sources described coming out.
ASIOError ASIOGetClockSources(ASIOClockSource* clocks, int32_t* numSources);
ASIOError ASIOSetSampleRate(ASIOSampleRate sampleRate);
ASIOError ASIOGetSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp);
ASIOError ASIOGetChannelInfo(ASIOChannelInfo* info);
ASIOError ASIOCreateBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels, int32_t bufferSize,
                            ASIOCallbacks* callbacks);
ASIOError ASIODisposeBuffers();
ASIOError ASIOOutputReady();
