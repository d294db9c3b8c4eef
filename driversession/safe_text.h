// Text that a driver or the registry gave, made safe to print: cut at its
// field's end even when unterminated, and every byte that is not printable
// ASCII escaped, so a hostile driver can neither overrun a field nor drive the
// console or break a JSON document.
#pragma once

#include <cstddef>
#include <string>

// The bytes of a fixed-size field up to its terminator or its end.
std::string fieldText(const char* field, size_t capacity);

// For the console: bytes that are not printable ASCII as \xNN; a backslash
// stays itself, so Windows paths read as they are.
std::string printableText(const std::string& text);

#include "platform/console.h"

// Whether a shell line can carry the text at all: no control characters.
bool typeable(const std::string& text);

// A word that the shell passes on as one argument, unchanged, with nothing in
// it expanded or run: plain words as they are, and names that are safe in
// double quotes in every shell so quoted; anything else in the shell's own
// way. Bytes above 127 stay themselves. Only for typeable text.
std::string shellWord(const std::string& text, CommandShell shell);
// For the shell of this system.
std::string shellWord(const std::string& text);
