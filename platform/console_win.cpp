#include "platform/console.h"

#include <cstdlib>

#include "platform/win32api.h"

namespace {

UINT previousOutputPage = 0;

void restoreOutputPage() {
    SetConsoleOutputCP(previousOutputPage);
}

} // namespace

// The console is shared with the shell that started us; it gets its own code
// page back when the program ends.
void useUtf8Console() {
    previousOutputPage = GetConsoleOutputCP();
    if (previousOutputPage == 0 || previousOutputPage == CP_UTF8)
        return;
    if (SetConsoleOutputCP(CP_UTF8))
        std::atexit(restoreOutputPage);
}

CommandShell typingShell() {
    return CommandShell::Cmd;
}
