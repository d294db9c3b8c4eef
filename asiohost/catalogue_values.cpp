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

bool catalogueFileExists(const char* path) {
    OFSTRUCT info;
    return OpenFile(path, &info, OF_EXIST) != HFILE_ERROR;
}
