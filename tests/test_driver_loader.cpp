// Making a driver current by its display name, against the test driver module.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asiohost/asio_calls.h"
#include "asiohost/driver_loader.h"
#include "host_fixture.h"

namespace {

using Log = std::vector<std::string>;

std::string currentNameOf(DriverLoader& loader) {
    char name[32] = "stale";
    const bool found = loader.currentName(name);
    return (found ? "yes:" : "no:") + std::string(name);
}

class DriverLoaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setTestProgramTag("loader");
        registry = registryWithTestClasses();
        currentDriver = nullptr;
    }
    // Installs the registry, then starts each case with an empty log.
    void install() {
        registry.install();
        clearDriverLog();
    }
    void TearDown() override { currentDriver = nullptr; }
    TestRegistry registry;
};

TEST_F(DriverLoaderTest, AnEmptyListFindsNoName) {
    install();
    DriverLoader loader;
    EXPECT_FALSE(loader.loadByName("Tandem Test A"));
    EXPECT_FALSE(loader.loadByName(""));
    EXPECT_EQ(currentNameOf(loader), "no:");
    EXPECT_EQ(currentDriver, nullptr);
    EXPECT_TRUE(driverLog().empty());
}

TEST_F(DriverLoaderTest, NamesMatchExactlyAndMakeTheDriverCurrent) {
    addDriver(registry, "A", kClassA, "Tandem Test A");
    install();
    DriverLoader loader;
    EXPECT_FALSE(loader.loadByName("tandem test a"));
    EXPECT_FALSE(loader.loadByName("Tandem Test A "));
    EXPECT_FALSE(loader.loadByName("Tandem Test"));
    EXPECT_TRUE(driverLog().empty());

    ASSERT_TRUE(loader.loadByName("Tandem Test A"));
    ASSERT_NE(currentDriver, nullptr);
    EXPECT_EQ(loader.entryAt(0)->instance, currentDriver);
    EXPECT_EQ(currentNameOf(loader), "yes:Tandem Test A");
    EXPECT_EQ(driverLog(), Log{"A create"});

    loader.unloadCurrent();
    loader.unloadCurrent();
    EXPECT_EQ(currentNameOf(loader), "no:");
    EXPECT_EQ(driverLog(), (Log{"A create", "A destroy"}));
}

TEST_F(DriverLoaderTest, ALongNameIsFoundOnlyByItsShortenedForm) {
    const std::string longName = "Tandem Test Driver With A Long Name";
    addDriver(registry, "A", kClassA, longName);
    install();
    DriverLoader loader;
    EXPECT_FALSE(loader.loadByName(longName.c_str()));
    ASSERT_TRUE(loader.loadByName((longName.substr(0, 28) + "...").c_str()));
    EXPECT_EQ(currentNameOf(loader), "yes:" + longName.substr(0, 28) + "...");
    loader.unloadCurrent();
}

TEST_F(DriverLoaderTest, TheLowestNumberWinsAmongEqualNames) {
    addDriver(registry, "One", kClassB, "Twin");
    addDriver(registry, "Two", kClassA, "Twin");
    install();
    DriverLoader loader;
    ASSERT_EQ(loader.count(), 2);
    ASSERT_TRUE(loader.loadByName("Twin"));
    EXPECT_EQ(driverLog(), Log{"B create"});
    loader.unloadCurrent();
}

TEST_F(DriverLoaderTest, ThePreviousDriverIsReleasedBeforeTheNextIsCreated) {
    addDriver(registry, "A", kClassA, "Tandem Test A");
    addDriver(registry, "B", kClassB, "Tandem Test B");
    install();
    DriverLoader loader;
    ASSERT_TRUE(loader.loadByName("Tandem Test A"));
    ASSERT_TRUE(loader.loadByName("Tandem Test B"));
    EXPECT_EQ(currentNameOf(loader), "yes:Tandem Test B");
    EXPECT_EQ(loader.entryAt(1)->instance, currentDriver);
    EXPECT_EQ(loader.entryAt(0)->instance, nullptr);
    // The current one again gives a fresh object.
    ASSERT_TRUE(loader.loadByName("Tandem Test B"));
    EXPECT_EQ(driverLog(), (Log{"A create", "A destroy", "B create", "B destroy", "B create"}));
    loader.unloadCurrent();
}

TEST_F(DriverLoaderTest, AFailedCreationBringsThePreviousDriverBack) {
    addDriver(registry, "A", kClassA, "Tandem Test A");
    addDriver(registry, "F", kClassFailing, "Tandem Test Failing");
    install();
    DriverLoader loader;
    ASSERT_TRUE(loader.loadByName("Tandem Test A"));
    EXPECT_FALSE(loader.loadByName("Tandem Test Failing"));
    EXPECT_EQ(driverLog(), (Log{"A create", "A destroy", "F refused creation", "A create"}));
    ASSERT_NE(currentDriver, nullptr);
    EXPECT_EQ(loader.entryAt(0)->instance, currentDriver);
    EXPECT_EQ(currentNameOf(loader), "yes:Tandem Test A");
    loader.unloadCurrent();
}

TEST_F(DriverLoaderTest, AFailedCreationWithNothingCurrentLeavesNothingCurrent) {
    addDriver(registry, "F", kClassFailing, "Tandem Test Failing");
    install();
    DriverLoader loader;
    EXPECT_FALSE(loader.loadByName("Tandem Test Failing"));
    EXPECT_EQ(currentDriver, nullptr);
    EXPECT_EQ(currentNameOf(loader), "no:");
    EXPECT_EQ(driverLog(), Log{"F refused creation"});
}

TEST_F(DriverLoaderTest, AnUnknownNameChangesNothing) {
    addDriver(registry, "A", kClassA, "Tandem Test A");
    install();
    DriverLoader loader;
    ASSERT_TRUE(loader.loadByName("Tandem Test A"));
    IASIO* const before = currentDriver;
    EXPECT_FALSE(loader.loadByName("Tandem Test Z"));
    EXPECT_FALSE(loader.loadByName(nullptr));
    EXPECT_EQ(currentDriver, before);
    EXPECT_EQ(currentNameOf(loader), "yes:Tandem Test A");
    EXPECT_EQ(driverLog(), Log{"A create"});
    loader.unloadCurrent();
}

TEST_F(DriverLoaderTest, TheProcessWideLoaderIsMadeOnceOnFirstUse) {
    addDriver(registry, "A", kClassA, "Tandem Test A");
    install();
    ASSERT_EQ(driverLoader, nullptr);
    ASSERT_TRUE(loadDriverByName("Tandem Test A"));
    DriverLoader* const first = driverLoader;
    ASSERT_NE(first, nullptr);
    // Drivers installed after the first load are not seen.
    addDriver(registry, "B", kClassB, "Tandem Test B");
    registry.install();
    EXPECT_FALSE(loadDriverByName("Tandem Test B"));
    EXPECT_EQ(driverLoader, first);
    driverLoader->unloadCurrent();
    EXPECT_EQ(driverLog(), (Log{"A create", "A destroy"}));
}

} // namespace
