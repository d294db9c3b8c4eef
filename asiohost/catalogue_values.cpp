#include "catalogue_values.h"

#include <cstring>

bool readCatalogueString(HKEY key, const char* valueName, char* buffer, DWORD capacity) {
    DWORD size = capacity;
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                         &size) != ERROR_SUCCESS)
        return false;
    if (size == 0 || buffer[size - 1] != '\0') {
        if (size >= capacity)
            return false;
        buffer[size] = '\0';
    }
    return true;
}

void lowerCatalogueText(char* text) {
    CharLowerBuffA(text, static_cast<DWORD>(std::strlen(text)));
}

bool catalogueFileExists(const char* path, std::string* found) {
    OFSTRUCT info;
    if (OpenFile(path, &info, OF_EXIST) == HFILE_ERROR)
        return false;
    // The system's field holds 127 characters; a longer path stays as written.
    const size_t length = strnlen(info.szPathName, sizeof info.szPathName);
    if (found != nullptr && length > 0 && length < sizeof info.szPathName - 1)
        *found = info.szPathName;
    return true;
}
