#include "drivers/common/guid_text.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

void guidToText(const GUID& guid, char text[kGuidTextSize]) {
    std::snprintf(text, kGuidTextSize, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), static_cast<unsigned>(guid.Data2),
                  static_cast<unsigned>(guid.Data3), guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Reads the 32 hex digits in their order, checking the dashes on the way.
bool readGuidDigits(const char* text, uint8_t digits[32]) {
    static const char kPattern[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (std::strlen(text) != sizeof(kPattern) - 1)
        return false;
    int count = 0;
    for (int i = 0; kPattern[i] != '\0'; ++i) {
        if (kPattern[i] != 'X') {
            if (text[i] != kPattern[i])
                return false;
            continue;
        }
        const int value = hexDigit(text[i]);
        if (value < 0)
            return false;
        digits[count++] = static_cast<uint8_t>(value);
    }
    return true;
}

uint32_t digitsValue(const uint8_t* digits, int count) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value * 16u + digits[i];
    return value;
}

} // namespace

bool guidFromText(const char* text, GUID* guid) {
    uint8_t digits[32];
    if (text == nullptr || !readGuidDigits(text, digits))
        return false;
    guid->Data1 = digitsValue(digits, 8);
    guid->Data2 = static_cast<uint16_t>(digitsValue(digits + 8, 4));
    guid->Data3 = static_cast<uint16_t>(digitsValue(digits + 12, 4));
    for (int i = 0; i < 8; ++i)
        guid->Data4[i] = static_cast<uint8_t>(digitsValue(digits + 16 + 2 * i, 2));
    return true;
}
