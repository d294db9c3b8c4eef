// Converts the whole playback file into the driver's native format before the
// driver starts, one block per channel padded with silence to whole buffers.
#pragma once

int loadPlaybackSamples(const char* path);
