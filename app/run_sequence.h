// One whole run: set-up, streaming, tear-down and the recording.
#pragma once

#include "app/exit_codes.h"

int runTandemWav(int argc, char** argv);
