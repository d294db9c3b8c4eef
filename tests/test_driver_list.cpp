// The installed-driver catalogue against registries made up by each test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "asiohost/driver_list.h"
#include "host_fixture.h"

namespace {

CLSID parsed(const char* text) {
    WCHAR wide[64];
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 64);
    CLSID id{};
    CLSIDFromString(wide, &id);
    return id;
}

bool isZero(const CLSID& id) {
    return id == CLSID{};
}

std::string nameOf(const DriverList& list, int32_t number, int32_t capacity = 32) {
    char name[300];
    std::memset(name, '#', sizeof name);
    if (list.nameAt(number, name, capacity) != 0)
        return "<error>";
    return name;
}

class DriverListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setTestProgramTag("list");
        registry = registryWithTestClasses();
        clearDriverLog();
    }
    TestRegistry registry;
};

TEST_F(DriverListTest, NoAsioKeyGivesAnEmptyList) {
    registry.install();
    DriverList list;
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.entryAt(0), nullptr);
    char name[32];
    EXPECT_EQ(list.nameAt(0, name, sizeof name), kNotFound);
}

TEST_F(DriverListTest, AcceptedSubkeysAreNumberedDenselyInEnumerationOrder) {
    // Listed in letter order regardless of case: alpha, Bravo, Charlie, delta, Echo.
    registry.setString(Hive::LocalMachine, "SOFTWARE\\ASIO\\alpha", "Description", "No class");
    addDriver(registry, "Charlie", kClassA, "Charlie's driver");
    addDriver(registry, "Bravo", kClassB, "Bravo's driver");
    addDriver(registry, "delta", "{5A1E00FF-7D3B-4C2A-9E11-0123456789AB}", "Unregistered");
    const std::string missing = "{5A1E00FE-7D3B-4C2A-9E11-0123456789AB}";
    registry.setString(Hive::ClassesRoot, "CLSID\\" + missing + "\\InprocServer32", "",
                       testFilePath("no_such_driver_module"));
    addDriver(registry, "Echo", missing, "Server file missing");
    registry.install();

    DriverList list;
    ASSERT_EQ(list.count(), 2);
    ASSERT_NE(list.entryAt(0), nullptr);
    ASSERT_NE(list.entryAt(1), nullptr);
    EXPECT_EQ(list.entryAt(2), nullptr);
    EXPECT_STREQ(list.entryAt(0)->driverName, "Bravo's driver");
    EXPECT_TRUE(list.entryAt(0)->classId == parsed(kClassB));
    EXPECT_STREQ(list.entryAt(1)->driverName, "Charlie's driver");
    EXPECT_TRUE(list.entryAt(1)->classId == parsed(kClassA));
    EXPECT_EQ(list.entryAt(1)->number, 1);
    EXPECT_EQ(list.entryAt(0)->instance, nullptr);
}

TEST_F(DriverListTest, EnumerationStopsAtASubkeyNameTooLongToFetch) {
    addDriver(registry, "Alpha", kClassA, "");
    addDriver(registry, "M" + std::string(130, 'x'), kClassB, "");
    addDriver(registry, "Zulu", kClassB, "");
    registry.install();
    DriverList list;
    ASSERT_EQ(list.count(), 1);
    EXPECT_STREQ(list.entryAt(0)->driverName, "Alpha");
}

TEST_F(DriverListTest, DisplayNameIsTheDescriptionElseTheSubkeyName) {
    addDriver(registry, "Plain Subkey", kClassA, "");
    addDriver(registry, "Quoted", kClassB, "Say \"hi\" \\ bye");
    registry.install();
    DriverList list;
    ASSERT_EQ(list.count(), 2);
    EXPECT_STREQ(list.entryAt(0)->driverName, "Plain Subkey");
    EXPECT_STREQ(list.entryAt(1)->driverName, "Say \"hi\" \\ bye");
}

TEST_F(DriverListTest, LongDescriptionsAreCutToTheFieldOrFallBackWhenTooLongToRead) {
    addDriver(registry, "A255", kClassA, std::string(255, 'a'));
    addDriver(registry, "B256", kClassB, std::string(256, 'b'));
    registry.install();
    DriverList list;
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(std::string(list.entryAt(0)->driverName), std::string(127, 'a'));
    EXPECT_STREQ(list.entryAt(1)->driverName, "B256");
    EXPECT_EQ(nameOf(list, 0, 128), std::string(127, 'a'));
}

TEST_F(DriverListTest, ClassIdentifiersMatchWhateverTheirLetterCase) {
    addDriver(registry, "Lower", "{5a1e0001-7d3b-4c2a-9e11-0123456789ab}", "");
    const std::string lowerClass = "{5a1e00fd-7d3b-4c2a-9e11-0123456789ab}";
    registry.setString(Hive::ClassesRoot, "CLSID\\" + lowerClass + "\\InprocServer32", "",
                       testDriverPath());
    addDriver(registry, "Upper", "{5A1E00FD-7D3B-4C2A-9E11-0123456789AB}", "");
    registry.install();
    DriverList list;
    ASSERT_EQ(list.count(), 2);
    EXPECT_TRUE(list.entryAt(0)->classId == parsed(kClassA));
    EXPECT_TRUE(list.entryAt(1)->classId == parsed("{5A1E00FD-7D3B-4C2A-9E11-0123456789AB}"));
}

TEST_F(DriverListTest, UnparsableClassTextIsListedWithAZeroClassThatCannotBeCreated) {
    const std::string longText = "{" + std::string(120, '5') + "}";
    for (const std::string& text : {std::string("not-a-class"), longText}) {
        registry.setString(Hive::ClassesRoot, "CLSID\\" + text + "\\InprocServer32", "",
                           testDriverPath());
    }
    addDriver(registry, "Long", longText, "");
    addDriver(registry, "Word", "not-a-class", "");
    registry.install();
    DriverList list;
    ASSERT_EQ(list.count(), 2);
    for (int32_t number = 0; number < 2; ++number) {
        EXPECT_TRUE(isZero(list.entryAt(number)->classId));
        IASIO* driver = nullptr;
        EXPECT_NE(list.open(number, &driver), 0);
        EXPECT_EQ(list.entryAt(number)->instance, nullptr);
    }
    EXPECT_TRUE(driverLog().empty());
}

TEST_F(DriverListTest, NamesAreCopiedWholeOrCutWithAnEllipsis) {
    const std::string name31(31, 'n');
    const std::string name32 = std::string(28, 'm') + "MMMM";
    addDriver(registry, "A", kClassA, name31);
    addDriver(registry, "B", kClassB, name32);
    registry.install();
    DriverList list;
    EXPECT_EQ(nameOf(list, 0), name31);
    EXPECT_EQ(nameOf(list, 1), std::string(28, 'm') + "...");
    EXPECT_EQ(nameOf(list, 1, 4), "...");
    EXPECT_EQ(nameOf(list, 0, 6), "nn...");

    char buffer[32] = "untouched";
    EXPECT_EQ(list.nameAt(0, nullptr, 32), kBadArgument);
    EXPECT_EQ(list.nameAt(0, buffer, 3), kBadArgument);
    EXPECT_EQ(list.nameAt(2, buffer, 32), kNotFound);
    EXPECT_EQ(list.nameAt(-1, buffer, 32), kNotFound);
    EXPECT_STREQ(buffer, "untouched");
}

TEST_F(DriverListTest, OpenCreatesOnceAndCloseReleases) {
    addDriver(registry, "A", kClassA, "");
    registry.install();
    DriverList list;
    IASIO* driver = nullptr;
    EXPECT_EQ(list.open(0, nullptr), kBadArgument);
    EXPECT_EQ(list.open(1, &driver), kNotFound);
    ASSERT_EQ(list.open(0, &driver), 0);
    ASSERT_NE(driver, nullptr);
    EXPECT_EQ(list.entryAt(0)->instance, driver);

    IASIO* second = nullptr;
    EXPECT_EQ(list.open(0, &second), kAlreadyOpen);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(driverLog(), std::vector<std::string>{"A create"});

    EXPECT_EQ(list.close(0), 0);
    EXPECT_EQ(list.entryAt(0)->instance, nullptr);
    EXPECT_EQ(list.close(0), 0);
    EXPECT_EQ(list.close(7), 0);
    EXPECT_EQ(driverLog(), (std::vector<std::string>{"A create", "A destroy"}));
}

TEST_F(DriverListTest, FailedCreationPassesTheResultThroughAndKeepsNoInstance) {
    addDriver(registry, "F", kClassFailing, "");
    registry.install();
    DriverList list;
    IASIO* driver = nullptr;
    EXPECT_EQ(list.open(0, &driver), static_cast<int32_t>(0x80004005u));
    EXPECT_EQ(list.entryAt(0)->instance, nullptr);
    EXPECT_EQ(driverLog(), std::vector<std::string>{"F refused creation"});
}

TEST_F(DriverListTest, ADroppedListReleasesTheObjectsItStillHolds) {
    addDriver(registry, "A", kClassA, "");
    registry.install();
    {
        DriverList list;
        IASIO* driver = nullptr;
        ASSERT_EQ(list.open(0, &driver), 0);
    }
    EXPECT_EQ(driverLog(), (std::vector<std::string>{"A create", "A destroy"}));
}

} // namespace
