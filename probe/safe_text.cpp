#include "probe/safe_text.h"

#include <cstdio>
#include <cstring>

namespace {

bool isPrintable(unsigned char c) {
    return c >= 0x20 && c < 0x7f;
}

std::string hexEscape(const char* format, unsigned char c) {
    char text[8];
    std::snprintf(text, sizeof text, format, c);
    return text;
}

bool isPlainWordCharacter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::strchr("._-+/:,=@", c) != nullptr;
}

} // namespace

std::string fieldText(const char* field, size_t capacity) {
    if (field == nullptr)
        return std::string();
    const void* end = std::memchr(field, '\0', capacity);
    const size_t length =
        end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - field) : capacity;
    return std::string(field, length);
}

std::string printableText(const std::string& text) {
    std::string out;
    for (const unsigned char c : text) {
        if (isPrintable(c))
            out += static_cast<char>(c);
        else
            out += hexEscape("\\x%02X", c);
    }
    return out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\')
            out += {'\\', static_cast<char>(c)};
        else if (isPrintable(c))
            out += static_cast<char>(c);
        else
            out += hexEscape("\\u%04x", c);
    }
    return out + "\"";
}

std::string shellWord(const std::string& text) {
    bool plain = !text.empty();
    for (const unsigned char c : text)
        plain = plain && isPlainWordCharacter(c);
    if (plain)
        return text;
    // \" is a quote inside a quoted argument for the shells and for the
    // Windows runtime alike; bytes no one can type stay visible as escapes.
    std::string quoted;
    for (const unsigned char c : text) {
        if (c == '"')
            quoted += "\\\"";
        else if (isPrintable(c))
            quoted += static_cast<char>(c);
        else
            quoted += hexEscape("\\x%02X", c);
    }
    return "\"" + quoted + "\"";
}
