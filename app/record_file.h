// Whether the recording can be written, asked before a long measurement starts.
#pragma once

// Opens the file for appending, so an existing recording is never truncated,
// and removes it again when this check was what created it.
bool recordFileWritable(const char* path);
