// Real drivers are built against the published layout: every field offset and
// every operation's slot in the table must be where they expect it.
#include <gtest/gtest.h>

#include <cstddef>

#include "asiohost/asio.h"

static_assert(offsetof(ASIODriverInfo, name) == 8, "");
static_assert(offsetof(ASIODriverInfo, errorMessage) == 40, "");
static_assert(offsetof(ASIOClockSource, name) == 16, "");
static_assert(offsetof(ASIOChannelInfo, type) == 16, "");
static_assert(offsetof(ASIOChannelInfo, name) == 20, "");
static_assert(offsetof(ASIOBufferInfo, buffers) == 8, "");
static_assert(offsetof(ASIOTimeInfo, systemTime) == 8, "");
static_assert(offsetof(ASIOTimeInfo, samplePosition) == 16, "");
static_assert(offsetof(ASIOTimeInfo, sampleRate) == 24, "");
static_assert(offsetof(ASIOTimeInfo, flags) == 32, "");
static_assert(offsetof(ASIOTimeCode, timeCodeSamples) == 8, "");
static_assert(offsetof(ASIOTimeCode, flags) == 16, "");
static_assert(offsetof(ASIOTime, timeInfo) + offsetof(ASIOTimeInfo, flags) == 48, "");
static_assert(offsetof(ASIOCallbacks, bufferSwitchTimeInfo) == 3 * sizeof(void*), "");

namespace {

// Answers every operation by remembering which one it was.
struct SlotProbe : IASIO {
    int called = -1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return called = 0; }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(called = 1); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(called = 2); }
    ASIOBool STDMETHODCALLTYPE init(void*) override { return called = 3; }
    void STDMETHODCALLTYPE getDriverName(char*) override { called = 4; }
    int32_t STDMETHODCALLTYPE getDriverVersion() override { return called = 5; }
    void STDMETHODCALLTYPE getErrorMessage(char*) override { called = 6; }
    ASIOError STDMETHODCALLTYPE start() override { return called = 7; }
    ASIOError STDMETHODCALLTYPE stop() override { return called = 8; }
    ASIOError STDMETHODCALLTYPE getChannels(int32_t*, int32_t*) override { return called = 9; }
    ASIOError STDMETHODCALLTYPE getLatencies(int32_t*, int32_t*) override { return called = 10; }
    ASIOError STDMETHODCALLTYPE getBufferSize(int32_t*, int32_t*, int32_t*, int32_t*) override {
        return called = 11;
    }
    ASIOError STDMETHODCALLTYPE canSampleRate(ASIOSampleRate) override { return called = 12; }
    ASIOError STDMETHODCALLTYPE getSampleRate(ASIOSampleRate*) override { return called = 13; }
    ASIOError STDMETHODCALLTYPE setSampleRate(ASIOSampleRate) override { return called = 14; }
    ASIOError STDMETHODCALLTYPE getClockSources(ASIOClockSource*, int32_t*) override {
        return called = 15;
    }
    ASIOError STDMETHODCALLTYPE setClockSource(int32_t) override { return called = 16; }
    ASIOError STDMETHODCALLTYPE getSamplePosition(ASIOSamples*, ASIOTimeStamp*) override {
        return called = 17;
    }
    ASIOError STDMETHODCALLTYPE getChannelInfo(ASIOChannelInfo*) override { return called = 18; }
    ASIOError STDMETHODCALLTYPE createBuffers(ASIOBufferInfo*, int32_t, int32_t,
                                              ASIOCallbacks*) override {
        return called = 19;
    }
    ASIOError STDMETHODCALLTYPE disposeBuffers() override { return called = 20; }
    ASIOError STDMETHODCALLTYPE controlPanel() override { return called = 21; }
    ASIOError STDMETHODCALLTYPE future(int32_t, void*) override { return called = 22; }
    ASIOError STDMETHODCALLTYPE outputReady() override { return called = 23; }
};

// What a driver built elsewhere sees: a table of function addresses. Calls
// through it with no arguments beyond the object, as a foreign caller would.
int slotCalled(SlotProbe& probe, int slot) {
    using NoArguments = intptr_t(STDMETHODCALLTYPE*)(void*);
    void** table = *reinterpret_cast<void***>(static_cast<IASIO*>(&probe));
    probe.called = -1;
    reinterpret_cast<NoArguments>(table[slot])(static_cast<IASIO*>(&probe));
    return probe.called;
}

} // namespace

TEST(DriverInterface, EveryOperationSitsInItsPublishedSlot) {
    SlotProbe probe;
    // The probe ignores every argument, so any slot can be called this way.
    for (int slot = 0; slot <= 23; ++slot)
        EXPECT_EQ(slotCalled(probe, slot), slot) << "slot " << slot;
}

TEST(TimeValues, HighHalfCountsTwoToThe32) {
    EXPECT_EQ(asioWideValue(0, 0), 0.0);
    EXPECT_EQ(asioWideValue(0, 4294967295u), 4294967295.0);
    EXPECT_EQ(asioWideValue(1, 0), 4294967296.0);
    EXPECT_EQ(asioWideValue(2, 5), 2.0 * 4294967296.0 + 5.0);
}
