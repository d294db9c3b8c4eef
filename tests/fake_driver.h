// A driver object that lives inside the test program: it answers the calls the
// engine makes, records what it was asked, and can be told to misbehave.
#pragma once

#include <cstdint>
#include <vector>

#include "asiohost/asio.h"
#include "asiohost/asio_calls.h"

class FakeDriver : public IASIO {
  public:
    // What createBuffers was handed.
    std::vector<ASIOBufferInfo> requested;
    int32_t requestedFrames = -1;
    ASIOCallbacks* requestedCallbacks = nullptr;
    // Buffer halves handed out: one byte vector per entry and half.
    std::vector<std::vector<uint8_t>> halves;
    uint32_t bytesPerHalf = 256;
    ASIOError createResult = ASE_OK;
    int nullHalfEntry = -1; // leave buffers[1] of this entry null
    ASIOSampleType sampleType = ASIOSTInt16LSB;
    int failChannelInfoAt = -1;
    std::vector<ASIOChannelInfo> queried;
    ASIOError positionResult = ASE_OK;
    ASIOSamples position{0, 0};
    ASIOTimeStamp stamp{0, 0};
    int outputReadyCalls = 0;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    ASIOBool STDMETHODCALLTYPE init(void*) override { return ASIOTrue; }
    void STDMETHODCALLTYPE getDriverName(char* name) override { name[0] = 0; }
    int32_t STDMETHODCALLTYPE getDriverVersion() override { return 1; }
    void STDMETHODCALLTYPE getErrorMessage(char* text) override { text[0] = 0; }
    ASIOError STDMETHODCALLTYPE start() override { return ASE_OK; }
    ASIOError STDMETHODCALLTYPE stop() override { return ASE_OK; }
    ASIOError STDMETHODCALLTYPE getChannels(int32_t* in, int32_t* out) override {
        *in = 64;
        *out = 64;
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE getLatencies(int32_t*, int32_t*) override { return ASE_OK; }
    ASIOError STDMETHODCALLTYPE getBufferSize(int32_t*, int32_t*, int32_t*, int32_t*) override {
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE canSampleRate(ASIOSampleRate) override { return ASE_OK; }
    ASIOError STDMETHODCALLTYPE getSampleRate(ASIOSampleRate*) override { return ASE_OK; }
    ASIOError STDMETHODCALLTYPE setSampleRate(ASIOSampleRate) override { return ASE_OK; }
    ASIOError STDMETHODCALLTYPE getClockSources(ASIOClockSource*, int32_t*) override {
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE setClockSource(int32_t) override { return ASE_OK; }
    ASIOError STDMETHODCALLTYPE getSamplePosition(ASIOSamples* p, ASIOTimeStamp* t) override {
        if (positionResult == ASE_OK) {
            *p = position;
            *t = stamp;
        }
        return positionResult;
    }
    ASIOError STDMETHODCALLTYPE getChannelInfo(ASIOChannelInfo* info) override {
        if (static_cast<int>(queried.size()) == failChannelInfoAt)
            return ASE_InvalidParameter;
        queried.push_back(*info);
        info->type = sampleType;
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE createBuffers(ASIOBufferInfo* infos, int32_t count, int32_t frames,
                                              ASIOCallbacks* callbacks) override {
        requested.assign(infos, infos + count);
        requestedFrames = frames;
        requestedCallbacks = callbacks;
        if (createResult != ASE_OK)
            return createResult;
        halves.assign(2 * static_cast<size_t>(count), std::vector<uint8_t>(bytesPerHalf));
        for (int32_t k = 0; k < count; ++k)
            for (int h = 0; h < 2; ++h)
                infos[k].buffers[h] =
                    (k == nullHalfEntry && h == 1) ? nullptr : halves[2 * k + h].data();
        return ASE_OK;
    }
    ASIOError STDMETHODCALLTYPE disposeBuffers() override { return ASE_OK; }
    ASIOError STDMETHODCALLTYPE controlPanel() override { return ASE_OK; }
    ASIOError STDMETHODCALLTYPE future(int32_t, void*) override { return ASE_OK; }
    ASIOError STDMETHODCALLTYPE outputReady() override {
        ++outputReadyCalls;
        return ASE_OK;
    }
};

// Makes a fake driver current for the lifetime of the scope.
struct CurrentFakeDriver {
    FakeDriver driver;
    CurrentFakeDriver() { currentDriver = &driver; }
    ~CurrentFakeDriver() { currentDriver = nullptr; }
};
