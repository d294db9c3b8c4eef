// The host API with no driver, and forwarding to the test driver module.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asiohost/asio_calls.h"
#include "asiohost/driver_loader.h"
#include "host_fixture.h"

namespace {

using Log = std::vector<std::string>;

TEST(AsioCallsWithoutDriver, AnswerNotPresentWithNeutralOuts) {
    currentDriver = nullptr;
    int32_t a = 5, b = 6, c = 7, d = 8;
    EXPECT_EQ(ASIOGetChannels(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0);
    a = b = 9;
    EXPECT_EQ(ASIOGetLatencies(&a, &b), ASE_NotPresent);
    EXPECT_EQ(a + b, 0);
    a = b = 9;
    EXPECT_EQ(ASIOGetBufferSize(&a, &b, &c, &d), ASE_NotPresent);
    EXPECT_EQ(a | b | c | d, 0);

    ASIOSampleRate rate = 12.5;
    EXPECT_EQ(ASIOGetSampleRate(&rate), ASE_NotPresent);
    EXPECT_EQ(rate, 12.5);
    ASIOClockSource clocks[2];
    a = 2;
    EXPECT_EQ(ASIOGetClockSources(clocks, &a), ASE_NotPresent);
    EXPECT_EQ(a, 0);
    ASIOSamples position{1, 2};
    ASIOTimeStamp stamp{3, 4};
    EXPECT_EQ(ASIOGetSamplePosition(&position, &stamp), ASE_NotPresent);
    EXPECT_EQ(position.hi + position.lo * 10 + stamp.hi * 100 + stamp.lo * 1000, 4321u);

    EXPECT_EQ(ASIOStart(), ASE_NotPresent);
    EXPECT_EQ(ASIOStop(), ASE_NotPresent);
    EXPECT_EQ(ASIOCanSampleRate(48000.0), ASE_NotPresent);
    EXPECT_EQ(ASIOSetSampleRate(48000.0), ASE_NotPresent);
    EXPECT_EQ(ASIODisposeBuffers(), ASE_NotPresent);
    EXPECT_EQ(ASIOOutputReady(), ASE_NotPresent);
    EXPECT_EQ(ASIOExit(), ASE_OK);
    EXPECT_EQ(ASIOExit(), ASE_OK);
}

TEST(AsioCallsWithoutDriver, ChannelInfoNamesNoneAndKeepsTheRequest) {
    currentDriver = nullptr;
    ASIOChannelInfo info{};
    info.channel = 3;
    info.isInput = ASIOTrue;
    info.isActive = 77;
    info.channelGroup = 5;
    info.type = ASIOSTInt32LSB;
    EXPECT_EQ(ASIOGetChannelInfo(&info), ASE_NotPresent);
    EXPECT_EQ(info.channel, 3);
    EXPECT_EQ(info.isInput, ASIOTrue);
    EXPECT_EQ(info.isActive, 77);
    EXPECT_EQ(info.channelGroup, -1);
    EXPECT_EQ(info.type, ASIOSTInt16MSB);
    EXPECT_STREQ(info.name, "None");
}

TEST(AsioCallsWithoutDriver, CreateBuffersClearsExactlyTheGivenEntries) {
    currentDriver = nullptr;
    int marker = 0;
    ASIOBufferInfo infos[4];
    for (auto& info : infos) {
        info.isInput = ASIOTrue;
        info.channelNum = 2;
        info.buffers[0] = info.buffers[1] = &marker;
    }
    ASIOCallbacks callbacks{};
    EXPECT_EQ(ASIOCreateBuffers(infos, 0, 64, &callbacks), ASE_NotPresent);
    EXPECT_EQ(ASIOCreateBuffers(infos, -2, 64, &callbacks), ASE_NotPresent);
    EXPECT_EQ(infos[0].buffers[0], &marker);
    EXPECT_EQ(ASIOCreateBuffers(infos, 3, 64, &callbacks), ASE_NotPresent);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(infos[i].buffers[0], nullptr);
        EXPECT_EQ(infos[i].buffers[1], nullptr);
        EXPECT_EQ(infos[i].channelNum, 2);
    }
    EXPECT_EQ(infos[3].buffers[0], &marker);
    EXPECT_EQ(infos[3].buffers[1], &marker);
}

TEST(AsioCallsWithoutDriver, InitNamesNoDriverAndLeavesTheMessage) {
    currentDriver = nullptr;
    ASIODriverInfo info{};
    info.driverVersion = 9;
    std::snprintf(info.name, sizeof info.name, "old name");
    std::snprintf(info.errorMessage, sizeof info.errorMessage, "old message");
    EXPECT_EQ(ASIOInit(&info), ASE_NotPresent);
    EXPECT_EQ(info.driverVersion, 0);
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_STREQ(info.errorMessage, "old message");
}

// These share the one process-wide loader, built from one registry.
class AsioCallsWithDriver : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setTestProgramTag("calls");
        TestRegistry registry = registryWithTestClasses();
        registry.setDword(Hive::ClassesRoot, std::string("CLSID\\") + kClassA, "TestVersion", 7);
        registry.setDword(Hive::ClassesRoot, std::string("CLSID\\") + kClassA, "TestMinSize", 32);
        registry.setString(Hive::ClassesRoot, std::string("CLSID\\") + kClassA, "TestSetRates",
                           "48000");
        addDriver(registry, "A", kClassA, "Tandem Test A");
        addDriver(registry, "R", kClassRefusing, "Tandem Test Refusing");
        registry.install();
    }
    void SetUp() override { clearDriverLog(); }
    void TearDown() override {
        ASIOExit();
        if (driverLoader != nullptr)
            driverLoader->unloadCurrent();
    }
    ASIODriverInfo info{};
};

TEST_F(AsioCallsWithDriver, InitTakesTheDriversNameAndVersion) {
    ASSERT_TRUE(loadDriverByName("Tandem Test A"));
    std::snprintf(info.errorMessage, sizeof info.errorMessage, "old message");
    EXPECT_EQ(ASIOInit(&info), ASE_OK);
    EXPECT_STREQ(info.name, "Tandem Test A");
    EXPECT_EQ(info.driverVersion, 7);
    EXPECT_STREQ(info.errorMessage, "No ASIO Driver Error");
    EXPECT_EQ(driverLog(), (Log{"A create", "A init", "A getDriverName", "A getDriverVersion"}));
}

TEST_F(AsioCallsWithDriver, CallsReachTheDriverAndItsResultsComeBackUnchanged) {
    ASSERT_TRUE(loadDriverByName("Tandem Test A"));
    ASSERT_EQ(ASIOInit(&info), ASE_OK);
    clearDriverLog();
    int32_t inputs = 0, outputs = 0, minSize = 0, maxSize = 0, preferred = 0, granularity = 0;
    EXPECT_EQ(ASIOGetChannels(&inputs, &outputs), ASE_OK);
    EXPECT_EQ(inputs * 100 + outputs, 808);
    EXPECT_EQ(ASIOGetBufferSize(&minSize, &maxSize, &preferred, &granularity), ASE_OK);
    EXPECT_EQ(minSize, 32);
    EXPECT_EQ(maxSize, 1024);
    EXPECT_EQ(preferred, 256);
    EXPECT_EQ(granularity, -1);
    EXPECT_EQ(ASIOCanSampleRate(22050.0), ASE_NoClock);
    EXPECT_EQ(ASIOCanSampleRate(44100.0), ASE_OK);
    EXPECT_EQ(ASIOSetSampleRate(44100.0), ASE_NoClock);
    EXPECT_EQ(ASIOSetSampleRate(48000.0), ASE_OK);
    ASIOSampleRate rate = 0;
    EXPECT_EQ(ASIOGetSampleRate(&rate), ASE_OK);
    EXPECT_EQ(rate, 48000.0);
    ASIOBufferInfo buffers[1] = {};
    ASIOCallbacks callbacks{};
    EXPECT_EQ(ASIOCreateBuffers(buffers, 1, 64, &callbacks), ASE_InvalidMode);
    EXPECT_EQ(ASIOOutputReady(), ASE_NotPresent);
    ASIOClockSource clocks[1];
    int32_t clockCount = 1;
    EXPECT_EQ(ASIOGetClockSources(clocks, &clockCount), ASE_NotPresent);
    EXPECT_EQ(ASIOStart(), ASE_OK);
    EXPECT_EQ(driverLog(), (Log{"A getChannels", "A getBufferSize", "A canSampleRate 22050",
                                "A canSampleRate 44100", "A setSampleRate 44100",
                                "A setSampleRate 48000", "A getSampleRate", "A createBuffers",
                                "A outputReady", "A getClockSources", "A start"}));
}

TEST_F(AsioCallsWithDriver, ARefusedInitDropsTheDriverButLeavesItWithTheLoader) {
    ASSERT_TRUE(loadDriverByName("Tandem Test Refusing"));
    EXPECT_EQ(ASIOInit(&info), ASE_NotPresent);
    EXPECT_EQ(currentDriver, nullptr);
    EXPECT_STREQ(info.errorMessage, "Device not connected");
    EXPECT_STREQ(info.name, "No ASIO Driver");
    EXPECT_EQ(ASIOStart(), ASE_NotPresent);
    EXPECT_EQ(ASIOExit(), ASE_OK);
    EXPECT_EQ(driverLog(), (Log{"R create", "R init", "R getErrorMessage"}));
    driverLoader->unloadCurrent();
    EXPECT_EQ(driverLog(), (Log{"R create", "R init", "R getErrorMessage", "R destroy"}));
}

// The one release path: buffers, then the call layer, then the object, and
// nothing more on a second call or after a refused init.
TEST_F(AsioCallsWithDriver, OneCallReleasesBuffersThenTheDriverInOrder) {
    ASSERT_TRUE(loadDriverByName("Tandem Test A"));
    ASSERT_EQ(ASIOInit(&info), ASE_OK);
    clearDriverLog();
    releaseLoadedDriver(true);
    EXPECT_EQ(currentDriver, nullptr);
    releaseLoadedDriver(true);
    EXPECT_EQ(driverLog(), (Log{"A disposeBuffers", "A destroy"}));
    ASSERT_TRUE(loadDriverByName("Tandem Test Refusing"));
    ASSERT_EQ(ASIOInit(&info), ASE_NotPresent);
    clearDriverLog();
    releaseLoadedDriver(false);
    EXPECT_EQ(driverLog(), (Log{"R destroy"}));
}

TEST_F(AsioCallsWithDriver, ExitLeavesTheObjectToTheLoaderWhichReleasesItOnce) {
    ASSERT_TRUE(loadDriverByName("Tandem Test A"));
    ASSERT_EQ(ASIOInit(&info), ASE_OK);
    EXPECT_EQ(ASIOExit(), ASE_OK);
    EXPECT_EQ(currentDriver, nullptr);
    EXPECT_EQ(ASIOExit(), ASE_OK);
    EXPECT_EQ(driverLog(), (Log{"A create", "A init", "A getDriverName", "A getDriverVersion"}));
    driverLoader->unloadCurrent();
    EXPECT_EQ(ASIOStop(), ASE_NotPresent);
    EXPECT_EQ(driverLog(),
              (Log{"A create", "A init", "A getDriverName", "A getDriverVersion", "A destroy"}));
}

} // namespace
