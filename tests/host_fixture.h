// A registry made up by a test: the installed drivers under
// HKLM\software\asio and their classes under HKCR\clsid, served by the test
// driver module, plus the driver's call log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class Hive { LocalMachine, ClassesRoot };

class TestRegistry {
  public:
    // An empty value name sets the key's default value.
    void setString(Hive hive, const std::string& key, const std::string& name,
                   const std::string& value);
    void setDword(Hive hive, const std::string& key, const std::string& name, uint32_t value);
    // Only the key, with no values.
    void addKey(Hive hive, const std::string& key);

    // Makes this the registry that this process's registry calls see, instead
    // of whatever the previous install left.
    void install() const;

    std::string regFileText() const;

  private:
    struct Value {
        Hive hive;
        std::string key;
        std::string name;
        bool hasValue;
        bool isDword;
        std::string text;
        uint32_t number;
    };
    std::vector<Value> values_;

    void installFor(const std::string& programTag) const;
};

// Classes that the test driver module serves. Each behaves as its settings say.
extern const char* const kClassA;        // a working driver, "Tandem Test A"
extern const char* const kClassB;        // another working driver, "Tandem Test B"
extern const char* const kClassRefusing; // init refuses with "Device not connected"
extern const char* const kClassFailing;  // its class factory fails with E_FAIL

// The path of the test driver module in the form the registry holds.
std::string testDriverPath();
// A path of the program's own, in the form the registry and the driver use.
std::string testFilePath(const std::string& name);

// The registry with the four classes above, their log in driverLogPath(), and
// nothing under software\asio yet.
TestRegistry registryWithTestClasses();
// A class registered to the test driver with its settings' tag and name.
void addTestClass(TestRegistry& registry, const std::string& classId, const std::string& tag,
                  const std::string& name);
// An installed driver: HKLM\software\asio\<subKey> with its clsid and, unless
// empty, its description.
void addDriver(TestRegistry& registry, const std::string& subKey, const std::string& classId,
               const std::string& description);

std::string driverLogPath();
void clearDriverLog();
// The calls logged since the last clear, one "<tag> <call>" per line.
std::vector<std::string> driverLog();

// Which test program this is, so that programs running side by side use
// files and registry keys of their own. Set before the first install.
void setTestProgramTag(const std::string& tag);
