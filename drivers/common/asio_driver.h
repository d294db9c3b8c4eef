// What each of our driver objects is and shares: the driver interface,
// counted by reference and handed out for IUnknown and for the class
// identifier it was created as; the answers every driver gives the same way
// are in driver_contract.h.
#pragma once

#include <cstdint>

#include "asiohost/asio.h"
#include "drivers/common/call_trace.h"
#include "drivers/common/com_server.h"
#include "drivers/common/driver_contract.h"

using AsioDriverObject = ComObject<IASIO>;

// The operations every driver of ours answers alike, each traced, from what
// the driver says of itself: its name, readiness, shape and init's message.
class ContractDriver : public AsioDriverObject {
  public:
    void STDMETHODCALLTYPE getDriverName(char* name) override;
    void STDMETHODCALLTYPE getErrorMessage(char* string) override;
    ASIOError STDMETHODCALLTYPE getChannels(int32_t* numInputChannels,
                                            int32_t* numOutputChannels) override;
    ASIOError STDMETHODCALLTYPE getBufferSize(int32_t* minSize, int32_t* maxSize,
                                              int32_t* preferredSize,
                                              int32_t* granularity) override;
    ASIOError STDMETHODCALLTYPE getClockSources(ASIOClockSource* clocks,
                                                int32_t* numSources) override;
    ASIOError STDMETHODCALLTYPE setClockSource(int32_t reference) override;
    ASIOError STDMETHODCALLTYPE controlPanel() override;
    ASIOError STDMETHODCALLTYPE future(int32_t selector, void* opt) override;
    // A driver that takes it acts on it or needs nothing more; one that does
    // not says so, and the host stops asking.
    ASIOError STDMETHODCALLTYPE outputReady() override;

  protected:
    // The name and the trace's path may be filled in after construction.
    ContractDriver(const CLSID& clsid, const char* name, const char* tracePath,
                   const char* clockName, bool takesOutputReady)
        : AsioDriverObject(clsid), trace_(tracePath), name_(name), clockName_(clockName),
          takesOutputReady_(takesOutputReady) {}
    virtual bool ready() const = 0;
    virtual DriverShape shape() const = 0;
    // What getChannels and getBufferSize tell the host; a test device may
    // report figures other than those it keeps to.
    virtual DriverShape reportedShape() const { return shape(); }
    // Every query the contract answers begins here; a test device may stall.
    virtual void noteCall(const char* call) const { trace_.note("%s", call); }

    CallTrace trace_;
    char errorMessage_[kAsioErrorMessageSize] = {};

  private:
    const char* name_;
    const char* clockName_;
    bool takesOutputReady_;
};

// The operations a driver answers itself, in slot order, declared as
// overrides with this one line; ContractDriver answers the others.
#define TANDEM_ASIO_OPERATIONS                                                                     \
    ASIOBool STDMETHODCALLTYPE init(void* sysHandle) override;                                     \
    int32_t STDMETHODCALLTYPE getDriverVersion() override;                                         \
    ASIOError STDMETHODCALLTYPE start() override;                                                  \
    ASIOError STDMETHODCALLTYPE stop() override;                                                   \
    ASIOError STDMETHODCALLTYPE getLatencies(int32_t* inputLatency, int32_t* outputLatency)        \
        override;                                                                                  \
    ASIOError STDMETHODCALLTYPE canSampleRate(ASIOSampleRate sampleRate) override;                 \
    ASIOError STDMETHODCALLTYPE getSampleRate(ASIOSampleRate* sampleRate) override;                \
    ASIOError STDMETHODCALLTYPE setSampleRate(ASIOSampleRate sampleRate) override;                 \
    ASIOError STDMETHODCALLTYPE getSamplePosition(ASIOSamples* sPos, ASIOTimeStamp* tStamp)        \
        override;                                                                                  \
    ASIOError STDMETHODCALLTYPE getChannelInfo(ASIOChannelInfo* info) override;                    \
    ASIOError STDMETHODCALLTYPE createBuffers(ASIOBufferInfo* bufferInfos, int32_t numChannels,    \
                                              int32_t bufferSize, ASIOCallbacks* callbacks)        \
        override;                                                                                  \
    ASIOError STDMETHODCALLTYPE disposeBuffers() override;
