// The ANSI text helpers and the file-existence test, for the Latin-1 code page
// that stands in for the Windows ANSI one.
#include <sys/stat.h>

#include <cstring>

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

HFILE OpenFile(const char* path, OFSTRUCT* info, UINT style) {
    if (info != nullptr) {
        std::memset(info, 0, sizeof *info);
        info->cBytes = sizeof *info;
    }
    struct stat status {};
    const bool exists = path != nullptr && stat(path, &status) == 0 && S_ISREG(status.st_mode);
    if (!exists || (style & OF_EXIST) == 0) {
        if (info != nullptr)
            info->nErrCode = 2;
        return HFILE_ERROR;
    }
    if (info != nullptr) {
        std::strncpy(info->szPathName, path, sizeof info->szPathName - 1);
    }
    return 1;
}
