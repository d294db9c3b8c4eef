#include "host_fixture.h"

#include <filesystem>
#include <fstream>

const char* const kClassA = "{5A1E0001-7D3B-4C2A-9E11-0123456789AB}";
const char* const kClassB = "{5A1E0002-7D3B-4C2A-9E11-0123456789AB}";
const char* const kClassRefusing = "{5A1E0003-7D3B-4C2A-9E11-0123456789AB}";
const char* const kClassFailing = "{5A1E0004-7D3B-4C2A-9E11-0123456789AB}";

namespace {

std::string programTag = "host";

std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

const char* hiveName(Hive hive) {
    return hive == Hive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CLASSES_ROOT";
}

} // namespace

void setTestProgramTag(const std::string& tag) {
    programTag = tag;
}

void TestRegistry::setString(Hive hive, const std::string& key, const std::string& name,
                             const std::string& value) {
    values_.push_back(Value{hive, key, name, true, false, value, 0});
}

void TestRegistry::setDword(Hive hive, const std::string& key, const std::string& name,
                            uint32_t value) {
    values_.push_back(Value{hive, key, name, true, true, std::string(), value});
}

void TestRegistry::addKey(Hive hive, const std::string& key) {
    values_.push_back(Value{hive, key, std::string(), false, false, std::string(), 0});
}

void TestRegistry::install() const {
    installFor(programTag);
}

std::string TestRegistry::regFileText() const {
    std::string text = "Windows Registry Editor Version 5.00\r\n";
    for (const Value& value : values_) {
        text += "\r\n[" + std::string(hiveName(value.hive)) + "\\" + value.key + "]\r\n";
        if (!value.hasValue)
            continue;
        text += value.name.empty() ? "@" : "\"" + escaped(value.name) + "\"";
        if (value.isDword) {
            char number[16];
            std::snprintf(number, sizeof number, "%08x", static_cast<unsigned>(value.number));
            text += std::string("=dword:") + number + "\r\n";
        } else {
            text += "=\"" + escaped(value.text) + "\"\r\n";
        }
    }
    return text;
}

std::string testFilePath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("tandem_" + programTag + "_" + name))
        .string();
}

std::string driverLogPath() {
    return testFilePath("driver.log");
}

void clearDriverLog() {
    std::ofstream(driverLogPath(), std::ios::binary | std::ios::trunc);
}

std::vector<std::string> driverLog() {
    std::vector<std::string> lines;
    std::ifstream file(driverLogPath(), std::ios::binary);
    std::string line;
    while (std::getline(file, line))
        lines.push_back(line);
    return lines;
}

void addTestClass(TestRegistry& registry, const std::string& classId, const std::string& tag,
                  const std::string& name) {
    const std::string key = "CLSID\\" + classId;
    registry.setString(Hive::ClassesRoot, key + "\\InprocServer32", "", testDriverPath());
    registry.setString(Hive::ClassesRoot, key, "TestTag", tag);
    registry.setString(Hive::ClassesRoot, key, "TestName", name);
    registry.setString(Hive::ClassesRoot, key, "TestLog", driverLogPath());
}

TestRegistry registryWithTestClasses() {
    TestRegistry registry;
    addTestClass(registry, kClassA, "A", "Tandem Test A");
    addTestClass(registry, kClassB, "B", "Tandem Test B");
    addTestClass(registry, kClassRefusing, "R", "Tandem Test Refusing");
    registry.setDword(Hive::ClassesRoot, std::string("CLSID\\") + kClassRefusing, "TestInit", 0);
    registry.setString(Hive::ClassesRoot, std::string("CLSID\\") + kClassRefusing, "TestError",
                       "Device not connected");
    addTestClass(registry, kClassFailing, "F", "Tandem Test Failing");
    registry.setDword(Hive::ClassesRoot, std::string("CLSID\\") + kClassFailing, "TestFactory",
                      0x80004005u);
    return registry;
}

void addDriver(TestRegistry& registry, const std::string& subKey, const std::string& classId,
               const std::string& description) {
    const std::string key = "SOFTWARE\\ASIO\\" + subKey;
    registry.setString(Hive::LocalMachine, key, "CLSID", classId);
    if (!description.empty())
        registry.setString(Hive::LocalMachine, key, "Description", description);
}
