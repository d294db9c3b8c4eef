// Allocation and release of the record store, and release of the playback
// store that the playback loader fills.
#pragma once

// False when memory ran out; whatever was allocated is released again.
bool allocateRecordStore();
void freeRecordStore();
void freePlaybackStore();
