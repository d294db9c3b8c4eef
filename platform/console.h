// The console shows the names the user typed in any script: names travel as
// UTF-8 inside the program, and on Windows the console is told so for the
// run's length.
#pragma once

void useUtf8Console();

// The shell a user of this system types commands into: one whose quoting a
// line printed for copying has to follow.
enum class CommandShell { Posix, Cmd };
CommandShell typingShell();
