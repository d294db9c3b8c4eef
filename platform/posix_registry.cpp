// The registry image: the keys and values of registry export files, held in
// memory and offered through the same calls, codes and size rules as Windows.
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix_registry_image.h"
#include "platform/posix_win32.h"

constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_INVALID_PARAMETER = 87;

struct RegistryValue {
    std::string name;
    DWORD type;
    std::string data; // strings include their terminator, as stored on Windows
};

struct RegistryKey {
    std::string name;
    std::vector<std::unique_ptr<RegistryKey>> subKeys; // kept in the order Windows lists them
    std::vector<RegistryValue> values;
};

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

int compareNoCase(const std::string& a, const std::string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = static_cast<unsigned char>(lowerAscii(a[i]));
        const unsigned char y = static_cast<unsigned char>(lowerAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

struct Image {
    RegistryKey classesRoot;
    RegistryKey currentUser;
    RegistryKey localMachine;
};

Image* loadedImage = nullptr;
// Every image ever loaded stays reachable, so a key handle never dangles.
std::vector<Image*>* allImages = new std::vector<Image*>();

RegistryKey* findSubKey(RegistryKey* key, const std::string& name) {
    for (auto& sub : key->subKeys)
        if (compareNoCase(sub->name, name) == 0)
            return sub.get();
    return nullptr;
}

RegistryKey* addSubKey(RegistryKey* key, const std::string& name) {
    if (RegistryKey* existing = findSubKey(key, name))
        return existing;
    auto sub = std::make_unique<RegistryKey>();
    sub->name = name;
    auto at = std::find_if(key->subKeys.begin(), key->subKeys.end(),
                           [&](const auto& other) { return compareNoCase(name, other->name) < 0; });
    return key->subKeys.insert(at, std::move(sub))->get();
}

std::vector<std::string> splitPath(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('\\', start);
        if (end == std::string::npos)
            end = path.size();
        if (end > start)
            parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

RegistryKey* rootByName(Image& image, const std::string& name) {
    if (compareNoCase(name, "HKEY_LOCAL_MACHINE") == 0 || compareNoCase(name, "HKLM") == 0)
        return &image.localMachine;
    if (compareNoCase(name, "HKEY_CLASSES_ROOT") == 0 || compareNoCase(name, "HKCR") == 0)
        return &image.classesRoot;
    if (compareNoCase(name, "HKEY_CURRENT_USER") == 0 || compareNoCase(name, "HKCU") == 0)
        return &image.currentUser;
    return nullptr;
}

// Section "[path]" creates the key, "[-path]" removes it with all below it.
RegistryKey* applySection(Image& image, const std::string& section) {
    const bool remove = !section.empty() && section[0] == '-';
    std::vector<std::string> parts = splitPath(remove ? section.substr(1) : section);
    if (parts.empty())
        return nullptr;
    RegistryKey* key = rootByName(image, parts[0]);
    if (key == nullptr)
        return nullptr;
    if (remove) {
        for (size_t i = 1; key != nullptr && i + 1 < parts.size(); ++i)
            key = findSubKey(key, parts[i]);
        if (key != nullptr && parts.size() > 1) {
            auto& subs = key->subKeys;
            subs.erase(std::remove_if(subs.begin(), subs.end(),
                                      [&](const auto& s) {
                                          return compareNoCase(s->name, parts.back()) == 0;
                                      }),
                       subs.end());
        }
        return nullptr;
    }
    for (size_t i = 1; i < parts.size(); ++i)
        key = addSubKey(key, parts[i]);
    return key;
}

// Reads a quoted string with the \\ and \" escapes starting at text[pos] == '"';
// pos ends just past the closing quote. False when it is not closed.
bool readQuoted(const std::string& text, size_t& pos, std::string& out) {
    out.clear();
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < text.size())
            c = text[++pos];
        out.push_back(c);
    }
    return false;
}

bool parseDword(const std::string& text, std::string& data) {
    if (text.size() < 7 || text.size() > 14 || compareNoCase(text.substr(0, 6), "dword:") != 0)
        return false;
    if (text.find_first_not_of("0123456789abcdefABCDEF", 6) != std::string::npos)
        return false;
    const uint32_t value = static_cast<uint32_t>(std::strtoul(text.c_str() + 6, nullptr, 16));
    data.assign(reinterpret_cast<const char*>(&value), sizeof value);
    return true;
}

std::vector<RegistryValue>::iterator findValue(RegistryKey* key, const std::string& name) {
    return std::find_if(key->values.begin(), key->values.end(),
                        [&](const RegistryValue& v) { return compareNoCase(v.name, name) == 0; });
}

void setValue(RegistryKey* key, const std::string& name, DWORD type, const std::string& data,
              bool remove) {
    auto& values = key->values;
    auto at = findValue(key, name);
    if (remove) {
        if (at != values.end())
            values.erase(at);
        return;
    }
    if (at != values.end())
        *at = RegistryValue{name, type, data};
    else
        values.push_back(RegistryValue{name, type, data});
}

// "name"="text", @="text", "name"=dword:0000000a, "name"=- ; anything else is skipped.
void applyValueLine(RegistryKey* key, const std::string& line) {
    size_t pos = 0;
    std::string name;
    if (line[0] == '@')
        pos = 1;
    else if (!readQuoted(line, pos, name))
        return;
    if (pos >= line.size() || line[pos] != '=')
        return;
    const std::string rest = line.substr(pos + 1);
    if (rest == "-") {
        setValue(key, name, REG_SZ, std::string(), true);
        return;
    }
    std::string data;
    if (!rest.empty() && rest[0] == '"') {
        size_t at = 0;
        if (!readQuoted(rest, at, data) || at != rest.size())
            return;
        data.push_back('\0');
        setValue(key, name, REG_SZ, data, false);
    } else if (parseDword(rest, data)) {
        setValue(key, name, REG_DWORD, data, false);
    }
}

std::string trimmed(const std::string& line) {
    size_t begin = 0;
    size_t end = line.size();
    while (begin < end && (line[begin] == ' ' || line[begin] == '\t'))
        ++begin;
    while (end > begin && (line[end - 1] == ' ' || line[end - 1] == '\t' || line[end - 1] == '\r'))
        --end;
    return line.substr(begin, end - begin);
}

bool isHeader(std::string line) {
    if (line.compare(0, 3, "\xEF\xBB\xBF") == 0)
        line.erase(0, 3);
    line = trimmed(line);
    return line == "Windows Registry Editor Version 5.00" || line == "REGEDIT4";
}

// The joined path without "..", "." or doubled separators, as people read a
// path and as the probe shows it: the file's own path where it exists,
// otherwise the same worked out from its folder or its words.
std::string cleanPath(const std::string& joined) {
    if (char* real = realpath(joined.c_str(), nullptr)) {
        std::string resolved(real);
        std::free(real);
        return resolved;
    }
    return fullPathName(joined.c_str());
}

// An installed copy names its modules relative to its registration file
// ("../../lib/..."), so the whole prefix can be moved; such a path relative to
// the working folder would mean nothing. A bare name keeps the loader's search.
void anchorModulePath(RegistryKey* key, const std::string& path) {
    if (compareNoCase(key->name, "InprocServer32") != 0)
        return;
    const std::string folder = path.substr(0, path.rfind('/') + 1);
    for (RegistryValue& value : key->values)
        if (value.name.empty() && value.type == REG_SZ && value.data[0] != '/' &&
            value.data.find('/') != std::string::npos && folder[0] == '/')
            value.data = cleanPath(folder + value.data);
}

// A lead byte that marks how many bytes follow and holds the code's top bits,
// then six bits in each byte that follows.
void appendUtf8(std::string& out, uint32_t code) {
    static const uint32_t kLeadMarks[] = {0x00, 0xC0, 0xE0, 0xF0};
    const int following = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    out.push_back(static_cast<char>(kLeadMarks[following] | (code >> (6 * following))));
    for (int shift = 6 * (following - 1); shift >= 0; shift -= 6)
        out.push_back(static_cast<char>(0x80 | ((code >> shift) & 0x3F)));
}

// regedit exports UTF-16 little-endian after a byte-order mark; the reader
// works on UTF-8. A lone surrogate becomes U+FFFD.
std::string utf8FromUtf16(const std::string& bytes) {
    std::string out;
    const size_t units = bytes.size() / 2;
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (size_t i = 1; i < units; ++i) {
        uint32_t code = unit(i);
        const bool high = code >= 0xD800 && code < 0xDC00;
        if (high && i + 1 < units && unit(i + 1) >= 0xDC00 && unit(i + 1) < 0xE000)
            code = 0x10000 + ((code - 0xD800) << 10) + (unit(++i) - 0xDC00);
        else if (code >= 0xD800 && code < 0xE000)
            code = 0xFFFD;
        appendUtf8(out, code);
    }
    return out;
}

std::string fileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const std::string text = bytes.str();
    if (text.compare(0, 2, "\xFF\xFE") == 0)
        return utf8FromUtf16(text);
    return text;
}

void readFileInto(Image& image, const std::string& path) {
    std::istringstream file(fileText(path));
    std::string line;
    if (!std::getline(file, line) || !isHeader(line))
        return;
    RegistryKey* key = nullptr;
    while (std::getline(file, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            key =
                line.back() == ']' ? applySection(image, line.substr(1, line.size() - 2)) : nullptr;
        } else if (key != nullptr) {
            applyValueLine(key, line);
            anchorModulePath(key, path);
        }
    }
}

// ~ is the user's home folder. A HOME that is not an absolute path would make
// the drivers loaded depend on the working folder, so then the user's entry
// in the password database counts, as for a HOME that is not set.
std::string homeDirectory() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/')
        return home;
    const struct passwd* user = getpwuid(getuid());
    if (user != nullptr && user->pw_dir != nullptr && user->pw_dir[0] == '/')
        return user->pw_dir;
    return std::string();
}

std::string executableDirectory() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return std::string();
    const std::string full(path, static_cast<size_t>(length));
    const size_t slash = full.rfind('/');
    return slash == std::string::npos ? std::string() : full.substr(0, slash);
}

Image& image() {
    // Read on first use only: like the program's driver list, later edits are not seen.
    static const bool loaded = [] {
        if (loadedImage == nullptr)
            loadRegistryImageFiles(registryImagePaths());
        return true;
    }();
    (void)loaded;
    return *loadedImage;
}

RegistryKey* resolve(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE)
        return &image().localMachine;
    if (key == HKEY_CLASSES_ROOT)
        return &image().classesRoot;
    if (key == HKEY_CURRENT_USER)
        return &image().currentUser;
    return key;
}

} // namespace

std::vector<std::string> registryImagePaths() {
    const std::string beside = executableDirectory();
    std::vector<std::string> paths;
    if (!beside.empty())
        paths.push_back(beside + "/" TANDEM_INSTALLED_REGISTRY);
    paths.push_back("/etc/tandemwav/registry.reg");
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const std::string home = homeDirectory();
    if (config != nullptr && config[0] == '/')
        paths.push_back(std::string(config) + "/tandemwav/registry.reg");
    else if (!home.empty())
        paths.push_back(home + "/.config/tandemwav/registry.reg");
    if (!beside.empty())
        paths.push_back(beside + "/registry.reg");
    return paths;
}

void loadRegistryImageFiles(const std::vector<std::string>& paths) {
    auto* fresh = new Image();
    for (const auto& path : paths)
        readFileInto(*fresh, path);
    allImages->push_back(fresh);
    loadedImage = fresh;
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD, REGSAM, PHKEY result) {
    if (result == nullptr)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    RegistryKey* at = key == nullptr ? nullptr : resolve(key);
    if (at == nullptr)
        return ERROR_INVALID_HANDLE;
    for (const auto& part : splitPath(subKey == nullptr ? std::string() : subKey)) {
        at = findSubKey(at, part);
        if (at == nullptr)
            return ERROR_FILE_NOT_FOUND;
    }
    *result = at;
    return ERROR_SUCCESS;
}

LONG RegOpenKeyA(HKEY root, const char* path, PHKEY result) {
    return RegOpenKeyExA(root, path, 0, KEY_READ, result);
}

LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD capacity) {
    RegistryKey* at = key == nullptr ? nullptr : resolve(key);
    if (at == nullptr)
        return ERROR_INVALID_HANDLE;
    if (index >= at->subKeys.size())
        return ERROR_NO_MORE_ITEMS;
    const std::string& found = at->subKeys[index]->name;
    if (name == nullptr || found.size() + 1 > capacity)
        return ERROR_MORE_DATA;
    std::memcpy(name, found.c_str(), found.size() + 1);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD*, DWORD* type, BYTE* data,
                      DWORD* size) {
    RegistryKey* at = key == nullptr ? nullptr : resolve(key);
    if (at == nullptr)
        return ERROR_INVALID_HANDLE;
    if (data != nullptr && size == nullptr)
        return ERROR_INVALID_PARAMETER;
    auto found = findValue(at, valueName == nullptr ? std::string() : valueName);
    if (found == at->values.end())
        return ERROR_FILE_NOT_FOUND;
    if (type != nullptr)
        *type = found->type;
    const DWORD needed = static_cast<DWORD>(found->data.size());
    if (size == nullptr)
        return ERROR_SUCCESS;
    if (data != nullptr && *size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (data != nullptr)
        std::memcpy(data, found->data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key) {
    return key == nullptr ? ERROR_INVALID_HANDLE : ERROR_SUCCESS;
}
