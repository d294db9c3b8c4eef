#include "platform/console.h"

// Terminals take the bytes of the names as the user's locale gave them.
void useUtf8Console() {}

CommandShell typingShell() {
    return CommandShell::Posix;
}
