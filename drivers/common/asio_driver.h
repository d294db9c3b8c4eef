// What each of our driver objects is and shares: the driver interface,
// counted by reference and handed out for IUnknown and for the class
// identifier it was created as; the answers every driver gives the same way
// are in driver_contract.h.
#pragma once

#include <cstdint>

#include "asiohost/asio.h"
#include "drivers/common/com_server.h"
#include "drivers/common/driver_contract.h"

using AsioDriverObject = ComObject<IASIO>;

// The driver interface's operations in slot order, declared as overrides: a
// driver class declares them all with this one line, so that the list stands
// once beside IASIO's own.
#define TANDEM_ASIO_OPERATIONS                                                                     \
    ASIOBool STDMETHODCALLTYPE init(void* sysHandle) override;                                     \
    void STDMETHODCALLTYPE getDriverName(char* name) override;                                     \
    int32_t STDMETHODCALLTYPE getDriverVersion() override;                                         \
    void STDMETHODCALLTYPE getErrorMessage(char* string) override;                                 \
    ASIOError STDMETHODCALLTYPE start() override;                                                  \
    ASIOError STDMETHODCALLTYPE stop() override;                                                   \
    ASIOError STDMETHODCALLTYPE getChannels(int32_t* numInputChannels, int32_t* numOutputChannels) \
        override;                                                                                  \
    ASIOError STDMETHODCALLTYPE getLatencies(int32_t* inputLatency, int32_t* outputLatency)        \
        override;                                                                                  \
    ASIOError STDMETHODCALLTYPE getBufferSize(int32_t* minSize, int32_t* maxSize,                  \
                                              int32_t* preferredSize, int32_t* granularity)        \
        override;                                                                                  \
    ASIOError STDMETHODCALLTYPE canSampleRate(ASIOSampleRate sampleRate) override;                 \
    ASIOError STDMETHODCALLTYPE getSampleRate(ASIOSampleRate* sampleRate) override;                \
    ASIOError STDMETHODCALLTYPE setSampleRate(ASIOSampleRate sampleRate) override;                 \
    ASIOError STDMETHODCALLTYPE getClockSources(ASIOClockSource* clocks, int32_t* numSources)      \
        override;                                                                                  \
    ASIOError STDMETHODCALLTYPE setClockSource(int32_t reference) override;                        \
    ASIOError STDMETHODCALLTYPE getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp)        \
        override;                                                                                  \
    ASIOError STDMETHODCALLTYPE getChannelInfo(ASIOChannelInfo* info) override;                    \
    ASIOError STDMETHODCALLTYPE createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,    \
                                              int32_t bufferSize, ASIOCallbacks* callbacks)        \
        override;                                                                                  \
    ASIOError STDMETHODCALLTYPE disposeBuffers() override;                                         \
    ASIOError STDMETHODCALLTYPE controlPanel() override;                                           \
    ASIOError STDMETHODCALLTYPE future(int32_t selector, void* opt) override;                      \
    ASIOError STDMETHODCALLTYPE outputReady() override;
