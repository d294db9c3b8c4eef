// The ANSI text helpers, for the Latin-1 code page that stands in for the
// Windows ANSI one, and the file-existence test, which looks for a module
// name without a folder where the dynamic loader would.
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/posix_win32.h"

int MultiByteToWideChar(UINT, DWORD, const char* text, int textLength, WCHAR* wide,
                        int wideCapacity) {
    if (text == nullptr || textLength == 0 || wideCapacity < 0 ||
        (wide == nullptr && wideCapacity != 0))
        return 0;
    const int needed = textLength < 0 ? static_cast<int>(std::strlen(text)) + 1 : textLength;
    if (wideCapacity == 0)
        return needed;
    if (needed > wideCapacity)
        return 0;
    for (int i = 0; i < needed; ++i)
        wide[i] = static_cast<WCHAR>(static_cast<unsigned char>(text[i]));
    return needed;
}

DWORD CharLowerBuffA(char* text, DWORD length) {
    if (text == nullptr)
        return 0;
    for (DWORD i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool upperLatin1 = c >= 0xC0 && c <= 0xDE && c != 0xD7;
        if ((c >= 'A' && c <= 'Z') || upperLatin1)
            text[i] = static_cast<char>(c + 32);
    }
    return length;
}

namespace {

// Where the dynamic loader looks for a name without a folder: the folders of
// LD_LIBRARY_PATH, then the system's library folders. Never the working
// folder, where dlopen does not look either.
std::vector<std::string> librarySearchFolders() {
    std::vector<std::string> folders;
    const char* given = std::getenv("LD_LIBRARY_PATH");
    std::istringstream list(given != nullptr ? given : "");
    for (std::string folder; std::getline(list, folder, ':');)
        if (!folder.empty())
            folders.push_back(folder);
#if defined(__x86_64__)
    folders.insert(folders.end(), {"/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu"});
#endif
    folders.insert(folders.end(), {"/usr/local/lib", "/lib", "/usr/lib"});
    return folders;
}

// The file a module path names: itself when it has a folder, else the first
// file of that name on the loader's search path; empty when there is none.
std::string locateFile(const char* path) {
    if (std::strchr(path, '/') != nullptr)
        return isRegularFile(path) ? path : std::string();
    for (const std::string& folder : librarySearchFolders())
        if (isRegularFile((folder + "/" + path).c_str()))
            return folder + "/" + path;
    return std::string();
}

} // namespace

HFILE OpenFile(const char* path, OFSTRUCT* info, UINT style) {
    if (info != nullptr) {
        std::memset(info, 0, sizeof *info);
        info->cBytes = sizeof *info;
    }
    const std::string found = path != nullptr && path[0] != '\0' ? locateFile(path) : "";
    if (found.empty() || (style & OF_EXIST) == 0) {
        if (info != nullptr)
            info->nErrCode = 2;
        return HFILE_ERROR;
    }
    if (info != nullptr)
        std::strncpy(info->szPathName, found.c_str(), sizeof info->szPathName - 1);
    return 1;
}
