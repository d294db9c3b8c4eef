// Self-registration of the loopback DLL as regsvr32 performs it, into this
// test's private view of the registry.
#include <gtest/gtest.h>

#include <string>

#include "host_fixture.h"
#include "platform/win32api.h"

namespace {

const char* const kDefaultClass = "{8980851F-4FD3-4041-8214-576F7F967C37}";
const char* const kConfiguredClass = "{C0FFEE00-0000-4000-8000-000000000002}";
const char* const kForeignClass = "{C0FFEE00-0000-4000-8000-0000000000FF}";

using ServerEntry = HRESULT(STDAPICALLTYPE*)();

// The value's text, or "(absent)" when the key or value is missing.
std::string readText(HKEY root, const std::string& path, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(absent)";
    char text[512] = {};
    DWORD size = sizeof text - 1;
    const LONG result =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? std::string(text) : "(absent)";
}

bool keyExists(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

ServerEntry entry(HMODULE module, const char* name) {
    return reinterpret_cast<ServerEntry>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

TEST(LoopbackRegistration, EntersEveryDeviceAndRemovesOnlyItsOwn) {
    setTestProgramTag("loopback_registration");
    TestRegistry registry;
    registry.setString(Hive::LocalMachine,
                       std::string("SOFTWARE\\tandemwav\\loopback\\") + kConfiguredClass, "name",
                       "Registered Loop");
    registry.install();
    HMODULE module = LoadLibraryA("tandem_loopback.dll");
    ASSERT_NE(module, nullptr);
    ServerEntry registerServer = entry(module, "DllRegisterServer");
    ServerEntry unregisterServer = entry(module, "DllUnregisterServer");
    ASSERT_NE(registerServer, nullptr);
    ASSERT_NE(unregisterServer, nullptr);

    ASSERT_EQ(registerServer(), S_OK);
    EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Tandem Loopback", "CLSID"),
              kDefaultClass);
    EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Registered Loop", "CLSID"),
              kConfiguredClass);
    EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Registered Loop", "Description"),
              "Registered Loop");
    const std::string server = std::string("CLSID\\") + kConfiguredClass + "\\InprocServer32";
    const std::string path = readText(HKEY_CLASSES_ROOT, server, nullptr);
    EXPECT_NE(path.find("tandem_loopback.dll"), std::string::npos) << path;
    EXPECT_EQ(readText(HKEY_CLASSES_ROOT, server, "ThreadingModel"), "Both");

    // Another driver took the default device's name since: it stays.
    HKEY taken = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Tandem Loopback", 0, KEY_SET_VALUE,
                            &taken),
              ERROR_SUCCESS);
    RegSetValueExA(taken, "CLSID", 0, REG_SZ, reinterpret_cast<const BYTE*>(kForeignClass), 39);
    RegCloseKey(taken);

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(readText(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Tandem Loopback", "CLSID"),
              kForeignClass);
    EXPECT_FALSE(keyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Registered Loop"));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kConfiguredClass));
    EXPECT_FALSE(keyExists(HKEY_CLASSES_ROOT, std::string("CLSID\\") + kDefaultClass));
    // The settings are the user's; a later registration uses them again.
    EXPECT_EQ(readText(HKEY_LOCAL_MACHINE,
                       std::string("SOFTWARE\\tandemwav\\loopback\\") + kConfiguredClass, "name"),
              "Registered Loop");
    FreeLibrary(module);
}

} // namespace
