// Whether the recording can be written, asked before a long measurement starts.
#pragma once

// The recording will be written beside the target and moved over it: this
// proves that a new file can be made in the target's folder and that an
// existing target is a regular file that may be replaced, without touching it.
bool recordFileWritable(const char* path);
