// The user's interrupt while the driver runs: Ctrl+C, Ctrl+Break or the console
// closing on Windows; SIGINT and SIGTERM elsewhere. The handler only raises a
// flag; the main loop sees it, stops the driver and tears down as usual.
#pragma once

void watchInterrupts();
bool interruptRequested();

// Tells a handler that is holding the process open (the console is closing)
// that the driver has been released and the recording written.
void interruptHandled();
