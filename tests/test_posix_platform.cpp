// The Linux stand-ins for the registry, COM and text helpers behave as the
// Windows calls they replace.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix_registry_image.h"
#include "platform/win32api.h"

namespace {

std::string writeFile(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() / ("tandem_platform_" + name);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return path.string();
}

std::string stringValue(HKEY root, const char* path, const char* name) {
    HKEY key;
    if (RegOpenKeyA(root, path, &key) != ERROR_SUCCESS)
        return "<no key>";
    char data[256];
    DWORD size = sizeof data;
    DWORD type = 0;
    const LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return "<no value>";
    if (type != REG_SZ || size != std::strlen(data) + 1)
        return "<bad string>";
    return data;
}

std::vector<std::string> subKeys(HKEY root, const char* path) {
    std::vector<std::string> names;
    HKEY key;
    if (RegOpenKeyA(root, path, &key) != ERROR_SUCCESS)
        return names;
    char name[128];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    RegCloseKey(key);
    return names;
}

TEST(RegistryImage, ReadsTheExportFormatWithoutRegardToLetterCase) {
    const std::string file =
        writeFile("format.reg", "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                                "\r\n"
                                "; a comment\r\n"
                                "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ASIO\\My Card]\r\n"
                                "\"CLSID\"=\"{1}\"\r\n"
                                "\"Description\"=\"Say \\\"hi\\\" C:\\\\x\"\r\n"
                                "@=\"default\"\r\n"
                                "\"Count\"=dword:0000000a\r\n"
                                "\"Broken\"=\"unterminated\r\n"
                                "\"Binary\"=hex:01,02\r\n"
                                "garbage line\r\n"
                                "[HKCR\\clsid\\{1}\\InprocServer32]\r\n"
                                "@=\"/lib/x.so\"\r\n"
                                "[HKEY_NOWHERE\\x]\r\n"
                                "\"Lost\"=\"value\"\r\n");
    loadRegistryImageFiles({file});
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, "software\\asio\\MY CARD", "clsid"), "{1}");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\my card", "description"),
              "Say \"hi\" C:\\x");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\My Card", nullptr), "default");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\My Card", ""), "default");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\My Card", "Broken"), "<no value>");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\My Card", "Binary"), "<no value>");
    EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, "CLSID\\{1}\\inprocserver32", nullptr), "/lib/x.so");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\Other", nullptr), "<no key>");

    HKEY key;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\My Card", &key), ERROR_SUCCESS);
    DWORD count = 0;
    DWORD size = sizeof count;
    DWORD type = 0;
    EXPECT_EQ(
        RegQueryValueExA(key, "count", nullptr, &type, reinterpret_cast<BYTE*>(&count), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(count, 10u);
    RegCloseKey(key);
}

TEST(RegistryImage, LaterFilesAddAndOverrideAndFilesWithoutHeaderAreIgnored) {
    const std::string first = writeFile("first.reg", "REGEDIT4\n[HKLM\\SOFTWARE\\ASIO\\a]\n"
                                                     "\"x\"=\"first\"\n\"y\"=\"kept\"\n"
                                                     "[HKLM\\SOFTWARE\\ASIO\\gone]\n");
    const std::string second =
        writeFile("second.reg", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\software\\asio\\A]\n"
                                "\"X\"=\"second\"\n\"y\"=-\n[-HKLM\\SOFTWARE\\ASIO\\gone]\n");
    const std::string noHeader = writeFile("noheader.reg", "[HKLM\\SOFTWARE\\ASIO\\b]\n");
    loadRegistryImageFiles({first, "/nonexistent/registry.reg", second, noHeader});
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\a", "x"), "second");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO\\a", "y"), "<no value>");
    EXPECT_EQ(subKeys(HKEY_LOCAL_MACHINE, "SOFTWARE\\ASIO"), std::vector<std::string>{"a"});
}

TEST(RegistryImage, SubkeysAreListedInCaseInsensitiveOrder) {
    loadRegistryImageFiles({writeFile("order.reg", "REGEDIT4\n[HKLM\\S\\beta]\n[HKLM\\S\\Alpha]\n"
                                                   "[HKLM\\S\\Gamma]\n[HKLM\\S\\alpha2]\n")});
    EXPECT_EQ(subKeys(HKEY_LOCAL_MACHINE, "S"),
              (std::vector<std::string>{"Alpha", "alpha2", "beta", "Gamma"}));
    HKEY key;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "S", &key), ERROR_SUCCESS);
    char name[6];
    EXPECT_EQ(RegEnumKeyA(key, 1, name, sizeof name), ERROR_MORE_DATA);
    EXPECT_EQ(RegEnumKeyA(key, 4, name, sizeof name), ERROR_NO_MORE_ITEMS);
    HKEY sub;
    EXPECT_EQ(RegOpenKeyExA(key, "GAMMA", 0, KEY_READ, &sub), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(key, "delta", 0, KEY_READ, &sub), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST(RegistryImage, QueryFollowsTheWindowsSizeRules) {
    loadRegistryImageFiles({writeFile("size.reg", "REGEDIT4\n[HKLM\\K]\n\"v\"=\"abcd\"\n")});
    HKEY key;
    ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "K", &key), ERROR_SUCCESS);
    char data[8] = "zzzzzzz";
    DWORD size = 4;
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              ERROR_MORE_DATA);
    EXPECT_EQ(size, 5u);
    EXPECT_STREQ(data, "zzzzzzz");
    size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(data, "abcd");
    EXPECT_EQ(RegQueryValueExA(key, "w", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST(RegistryImage, StandardPlacesGoFromTheInstalledCopyToBesideTheExecutable) {
    const char* givenHome = std::getenv("HOME");
    const std::string home = givenHome != nullptr ? givenHome : "";
    setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
    std::vector<std::string> paths = registryImagePaths();
    const auto folder = std::filesystem::canonical("/proc/self/exe").parent_path();
    ASSERT_EQ(paths.size(), 4u);
    EXPECT_EQ(std::filesystem::path(paths[0]).lexically_normal(),
              folder.parent_path() / "share/tandemwav/registry.reg");
    EXPECT_EQ(paths[1], "/etc/tandemwav/registry.reg");
    EXPECT_EQ(paths[2], "/tmp/xdg/tandemwav/registry.reg");
    EXPECT_EQ(std::filesystem::path(paths[3]).parent_path(), folder);
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(registryImagePaths()[2], "/home/someone/.config/tandemwav/registry.reg");
    // A relative HOME would name a file of the working folder: the password
    // database's home folder counts instead.
    setenv("HOME", "someone", 1);
    EXPECT_EQ(registryImagePaths()[2].rfind('/', 0), 0u) << registryImagePaths()[2];
    setenv("HOME", home.c_str(), 1);
}

TEST(ComStandIns, ClassIdentifiersParseOnlyInTheBracedForm) {
    CLSID id;
    EXPECT_EQ(CLSIDFromString(u"{00000001-0000-0000-c000-000000000046}", &id), S_OK);
    EXPECT_TRUE(id == IID_IClassFactory);
    EXPECT_EQ(CLSIDFromString(u"{5A1E0001-7D3B-4C2A-9E11-0123456789AB}", &id), S_OK);
    EXPECT_EQ(id.Data1, 0x5A1E0001u);
    EXPECT_EQ(id.Data3, 0x4C2Au);
    EXPECT_EQ(id.Data4[0], 0x9E);
    EXPECT_EQ(id.Data4[7], 0xAB);
    for (const char16_t* bad :
         {u"5A1E0001-7D3B-4C2A-9E11-0123456789AB", u"{5A1E0001-7D3B-4C2A-9E11-0123456789AB}x",
          u"{5A1E0001-7D3B-4C2A-9E11-0123456789A}", u"{5A1E0001+7D3B-4C2A-9E11-0123456789AB}",
          u"{5A1E0001-7D3B-4C2A-9E11-0123456789AG}", u""}) {
        EXPECT_EQ(CLSIDFromString(bad, &id), CO_E_CLASSSTRING);
        EXPECT_TRUE(id == CLSID{});
    }
}

TEST(ComStandIns, WideningHonoursTheCapacity) {
    WCHAR wide[4] = {9, 9, 9, 9};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 4), 4);
    EXPECT_EQ(wide[2], u'c');
    EXPECT_EQ(wide[3], 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, wide, 4), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", -1, nullptr, 0), 5);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xE9", 1, wide, 4), 1);
    EXPECT_EQ(wide[0], 0xE9);
    char text[] = "AbC\xC9z";
    EXPECT_EQ(CharLowerBuffA(text, 4), 4u);
    EXPECT_STREQ(text, "abc\xE9z");
}

TEST(ComStandIns, CreationFailsWithTheWindowsCodes) {
    const std::string notLibrary = writeFile("not_a_library.so", "text");
    loadRegistryImageFiles({writeFile(
        "com.reg",
        "REGEDIT4\n[HKCR\\CLSID\\{00000000-0000-0000-0000-00000000000A}\\InprocServer32]\n"
        "@=\"" +
            notLibrary +
            "\"\n"
            "[HKCR\\CLSID\\{00000000-0000-0000-0000-00000000000B}\\InprocServer32]\n"
            "@=\"libc.so.6\"\n")});
    IUnknown* object = reinterpret_cast<IUnknown*>(&object);
    CLSID id{};
    EXPECT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    id.Data4[7] = 0x0A;
    EXPECT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CO_E_DLLNOTFOUND);
    id.Data4[7] = 0x0B;
    EXPECT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CO_E_ERRORINDLL);
    EXPECT_EQ(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);
}

TEST(ComStandIns, OnlyRegularFilesExist) {
    OFSTRUCT info;
    EXPECT_NE(OpenFile(writeFile("exists", "x").c_str(), &info, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(OpenFile("/nonexistent/file", &info, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(OpenFile("/tmp", &info, OF_EXIST), HFILE_ERROR);
}

TEST(Clock, CountsMillisecondsAcrossASleep) {
    const DWORD before = timeGetTime();
    Sleep(30);
    const DWORD elapsed = timeGetTime() - before;
    // Each reading may lag by up to one tick of the clock (at most 10 ms).
    EXPECT_GE(elapsed, 20u);
    EXPECT_LT(elapsed, 5000u);
}

} // namespace

// A module name without a folder is looked for where dlopen looks, never in
// the working folder; the path found is the one shown.
TEST(FileStandIns, ABareModuleNameIsLookedForOnTheLoadersPath) {
    const std::filesystem::path base =
        std::filesystem::temp_directory_path() / ("bare-module-" + std::to_string(getpid()));
    std::filesystem::create_directories(base / "libs");
    std::filesystem::create_directories(base / "work");
    std::ofstream(base / "libs/libbare.so") << "x";
    std::ofstream(base / "work/libhere.so") << "x";
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(base / "work");
    const char* given = std::getenv("LD_LIBRARY_PATH");
    const std::string searchPath = given != nullptr ? given : "";
    setenv("LD_LIBRARY_PATH", (base / "libs").c_str(), 1);
    OFSTRUCT info;
    EXPECT_NE(OpenFile("libbare.so", &info, OF_EXIST), HFILE_ERROR);
    EXPECT_EQ(std::string(info.szPathName), (base / "libs/libbare.so").string());
    EXPECT_EQ(OpenFile("libhere.so", &info, OF_EXIST), HFILE_ERROR);
    EXPECT_NE(OpenFile("./libhere.so", &info, OF_EXIST), HFILE_ERROR);
    setenv("LD_LIBRARY_PATH", searchPath.c_str(), 1);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(base);
}
