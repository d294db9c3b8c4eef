// The ASIO native sample types by number: their published names, what they
// hold, and whether tandemwav can stream them.
#pragma once

#include <cstdint>

// "Int32LSB"; "unknown" for a number outside the table.
const char* sampleTypeName(int32_t type);
// "32-bit integer, little-endian"; "an unknown sample type" outside the table.
const char* sampleTypeDescription(int32_t type);
// The little-endian 16, 24 and 32-bit integer types, as tandemwav's engine.
bool tandemwavStreams(int32_t type);
