// Allocation and release of the record store, and release of the playback
// store that the playback loader fills.
#pragma once

#include <cstdint>

// The material's length rounded up to whole buffers of bufferSize: the
// playback store is padded with silence to it and the recording is as long.
uint64_t wholeBufferFrames(uint64_t frames);

// False when memory ran out; whatever was allocated is released again.
bool allocateRecordStore();

// The same in two steps, so that the loader can fill the playback store while
// a helper thread makes the record store's pages resident: the blocks as
// allocated (false as above), then the helper started, then joined, which
// must happen before the store is used or freed. The join is false when the
// system could not make every page resident.
bool reserveRecordStore();
void startRecordStoreResidency();
bool finishRecordStoreResidency();
void freeRecordStore();
void freePlaybackStore();
