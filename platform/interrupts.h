// The user's interrupt: Ctrl+C, Ctrl+Break or the console closing on Windows;
// SIGINT and SIGTERM elsewhere. The handler only raises a flag; the main
// thread looks at it between its steps, releases what it holds and ends.
#pragma once

#include <cstdio>

void watchInterrupts();
bool interruptRequested();

// Tells a handler that is holding the process open (the console is closing)
// that the driver has been released and the recording written.
void interruptHandled();

// While the main thread may be inside a driver's call, it cannot act on an
// interrupt until the driver returns, and a driver may never return. A second
// interrupt then prints the line (with its line break) on the stream (after
// what standard output holds) and ends the process at once with exit code
// 130, releasing nothing. Kept until ended.
void endOnSecondInterrupt(const char* line, std::FILE* stream = stdout);
void keepOnSecondInterrupt();
