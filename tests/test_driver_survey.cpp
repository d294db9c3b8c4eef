// The catalogue survey agrees with the driver list on every entry the list
// makes, and names the reason for every subkey it leaves out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asiohost/driver_list.h"
#include "asiohost/driver_survey.h"
#include "host_fixture.h"

namespace {

TEST(DriverSurvey, AgreesWithTheListAndExplainsEverySkippedSubkey) {
    setTestProgramTag("survey");
    TestRegistry registry = registryWithTestClasses();
    const std::string lowerA = "{5a1e0001-7d3b-4c2a-9e11-0123456789ab}";
    ASSERT_EQ(std::string(kClassA).size(), lowerA.size());
    addDriver(registry, "a Lower-case class", lowerA, "");
    registry.setString(Hive::LocalMachine, "SOFTWARE\\ASIO\\b No class", "Description", "B");
    addDriver(registry, "c Unregistered", "{5A1E00FF-7D3B-4C2A-9E11-0123456789AB}", "");
    const std::string noServer = "{5A1E00FD-7D3B-4C2A-9E11-0123456789AB}";
    registry.addKey(Hive::ClassesRoot, "CLSID\\" + noServer);
    addDriver(registry, "d No server", noServer, "");
    const std::string missing = "{5A1E00FE-7D3B-4C2A-9E11-0123456789AB}";
    registry.setString(Hive::ClassesRoot, "CLSID\\" + missing + "\\InprocServer32", "",
                       testFilePath("no_such_driver_module"));
    addDriver(registry, "e Module missing", missing, "");
    // Listed by the list although no class can be made from it.
    registry.setString(Hive::ClassesRoot, "CLSID\\not-a-class\\InprocServer32", "",
                       testDriverPath());
    addDriver(registry, "f Odd class", "not-a-class", "");
    addDriver(registry, "g Long", kClassB, std::string(200, 'L'));
    registry.install();

    const std::vector<CatalogueEntry> survey = surveyInstalledDrivers();
    DriverList list;
    ASSERT_EQ(survey.size(), 7u);
    const CatalogueStatus expected[] = {CatalogueStatus::Listed,
                                        CatalogueStatus::NoClassValue,
                                        CatalogueStatus::ClassNotRegistered,
                                        CatalogueStatus::NoServerPath,
                                        CatalogueStatus::ServerFileMissing,
                                        CatalogueStatus::Listed,
                                        CatalogueStatus::Listed};
    int32_t listed = 0;
    for (size_t k = 0; k < survey.size(); ++k) {
        const CatalogueEntry& entry = survey[k];
        EXPECT_EQ(entry.status, expected[k]) << entry.subKey;
        EXPECT_EQ(entry.status == CatalogueStatus::Listed && entry.classParses,
                  catalogueRemark(entry).empty())
            << entry.subKey;
        if (entry.status != CatalogueStatus::Listed) {
            EXPECT_EQ(entry.number, -1);
            continue;
        }
        ASSERT_EQ(entry.number, listed++);
        char name[32];
        ASSERT_EQ(list.nameAt(entry.number, name, sizeof name), 0);
        EXPECT_EQ(entry.loadName, name);
        EXPECT_EQ(entry.displayName, list.entryAt(entry.number)->driverName);
    }
    EXPECT_EQ(listed, list.count());
    EXPECT_EQ(survey[1].displayName, "B");
    EXPECT_EQ(survey[4].serverPath, testFilePath("no_such_driver_module"));
    EXPECT_EQ(catalogueRemark(survey[5]),
              "CLSID value is not a class identifier: cannot be created");
    EXPECT_EQ(survey[6].loadName, std::string(28, 'L') + "...");
}

} // namespace
