// The in-process server's bookkeeping: DllCanUnloadNow answers yes only while
// no object of ours is alive and nobody holds the server locked.
#pragma once

void loopbackServerObjectCreated();
void loopbackServerObjectDestroyed();
