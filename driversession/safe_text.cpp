#include "driversession/safe_text.h"

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

namespace {

// Nothing in double quotes is special to sh, bash or cmd but these (and
// control characters).
bool safeInDoubleQuotes(unsigned char c) {
    return isPrintable(c) && std::strchr("\"$`\\!%", c) == nullptr;
}

// sh and bash take everything between single quotes as it is; a single quote
// itself ends the quotes, is escaped, and they open again.
std::string posixWord(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Two readers take a line typed into cmd apart. cmd first expands %NAME%, even
// between quotes, and takes & | < > ( ) ^ as its own outside quotes, counting
// every quote character. Then the program's runtime splits the rest into
// arguments, where backslashes before a quote escape it and only unescaped
// quotes open and close. So both quote states are followed: ordinary
// characters go between the runtime's quotes, and where cmd's count says
// "outside" at the same time, its own characters are escaped with ^. A
// percent sign stands outside the runtime's quotes, so the text up to the
// next one always begins with a quote or a backslash, which no variable's
// name does. (Wine's cmd does not honour ^" after a quote, hence \" alone.)
class CmdWord {
  public:
    std::string finish() {
        if (runtimeQuoted_)
            toggleRuntimeQuotes();
        else
            flushBackslashes(false);
        return out_;
    }

    void add(char c) {
        if (c == '\\') {
            ++backslashes_;
        } else if (c == '"') {
            flushBackslashes(true);
            out_ += "\\\"";
            cmdQuoted_ = !cmdQuoted_;
        } else if (c == '%') {
            if (runtimeQuoted_)
                toggleRuntimeQuotes();
            else
                flushBackslashes(false);
            out_ += '%';
        } else {
            if (!runtimeQuoted_)
                toggleRuntimeQuotes();
            else
                flushBackslashes(false);
            if (!cmdQuoted_ && std::strchr("&|<>()^", c) != nullptr)
                out_ += '^';
            out_ += c;
        }
    }

  private:
    // Backslashes stand for themselves unless a quote follows them.
    void flushBackslashes(bool beforeQuote) {
        out_.append(beforeQuote ? 2 * backslashes_ : backslashes_, '\\');
        backslashes_ = 0;
    }

    void toggleRuntimeQuotes() {
        flushBackslashes(true);
        out_ += '"';
        runtimeQuoted_ = !runtimeQuoted_;
        cmdQuoted_ = !cmdQuoted_;
    }

    std::string out_;
    size_t backslashes_ = 0;
    bool runtimeQuoted_ = false;
    bool cmdQuoted_ = false;
};

std::string cmdWord(const std::string& text) {
    if (text.empty())
        return "\"\"";
    CmdWord word;
    for (const char c : text)
        word.add(c);
    return word.finish();
}

} // namespace

bool typeable(const std::string& text) {
    for (const unsigned char c : text)
        if (c < 0x20 || c == 0x7f)
            return false;
    return true;
}

std::string shellWord(const std::string& text, CommandShell shell) {
    bool plain = !text.empty();
    bool quotable = true;
    for (const unsigned char c : text) {
        plain = plain && isPlainWordCharacter(c);
        quotable = quotable && safeInDoubleQuotes(c);
    }
    if (plain)
        return text;
    if (quotable)
        return "\"" + text + "\"";
    return shell == CommandShell::Posix ? posixWord(text) : cmdWord(text);
}

std::string shellWord(const std::string& text) {
    return shellWord(text, typingShell());
}
