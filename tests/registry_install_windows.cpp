// Under Windows the test's registry is built under HKCU and stands in for
// HKLM and HKCR in this process (RegOverridePredefKey), so other programs'
// drivers in the same registry stay out of the tests. COM itself reads the
// real HKCR when it creates a class, so the classes are written there too.
#include <string>

#include "host_fixture.h"
#include "platform/win32api.h"

namespace {

void writeValue(HKEY root, const std::string& key, const std::string& name, bool hasValue,
                bool isDword, const std::string& text, uint32_t number) {
    HKEY opened;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &opened,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (hasValue && isDword) {
        DWORD value = number;
        RegSetValueExA(opened, name.empty() ? nullptr : name.c_str(), 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&value), sizeof value);
    } else if (hasValue) {
        RegSetValueExA(opened, name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
    RegCloseKey(opened);
}

HKEY createKey(const std::string& path) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    return key;
}

} // namespace

std::string testDriverPath() {
    std::string path = TANDEM_TEST_DRIVER;
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

void TestRegistry::installFor(const std::string& programTag) const {
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    for (const Value& v : values_)
        if (v.hive == Hive::ClassesRoot)
            writeValue(HKEY_CLASSES_ROOT, v.key, v.name, v.hasValue, v.isDword, v.text, v.number);
    const std::string base = "Software\\TandemWavTests\\" + programTag;
    RegDeleteTreeA(HKEY_CURRENT_USER, base.c_str());
    HKEY machine = createKey(base + "\\HKLM");
    HKEY classes = createKey(base + "\\HKCR");
    for (const Value& v : values_)
        writeValue(v.hive == Hive::LocalMachine ? machine : classes, v.key, v.name, v.hasValue,
                   v.isDword, v.text, v.number);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, classes);
    RegCloseKey(machine);
    RegCloseKey(classes);
}
