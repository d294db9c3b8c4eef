// Little-endian field access and the header walk shared by the reader and the
// playback loader.
#pragma once

#include <cstdint>
#include <fstream>
#include <istream>

#include "wav/wav_header.h"

inline uint16_t littleEndianU16(const uint8_t* b) {
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

inline uint32_t littleEndianU32(const uint8_t* b) {
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

inline void storeLittleEndianU16(uint8_t* b, uint16_t v) {
    b[0] = static_cast<uint8_t>(v);
    b[1] = static_cast<uint8_t>(v >> 8);
}

inline void storeLittleEndianU32(uint8_t* b, uint32_t v) {
    b[0] = static_cast<uint8_t>(v);
    b[1] = static_cast<uint8_t>(v >> 8);
    b[2] = static_cast<uint8_t>(v >> 16);
    b[3] = static_cast<uint8_t>(v >> 24);
}

// Walks the 44-byte header from the start of the stream; leaves the stream at
// the first sample. Fills the header only when the result is kWavOk.
int readWavHeaderFrom(std::istream& in, WavHeader* header);

// Opens a playback file and walks its header: the stream is left at the first
// sample when the result is kWavOk.
int openWavFile(const char* path, std::ifstream& in, WavHeader* header);
