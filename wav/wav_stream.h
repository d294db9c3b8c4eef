// Little-endian field access, the header walk and the piece size shared by
// the readers, the playback loader and the recording writer.
#pragma once

#include <cstddef>
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

// Sample files are read and written in pieces of about 1 MiB of 4-byte
// samples, converted in memory; 0 without channels.
inline size_t framesPerChunk(uint32_t channels) {
    if (channels == 0)
        return 0;
    const size_t frames = (size_t{1} << 20) / (size_t{4} * channels);
    return frames == 0 ? 1 : frames;
}

// Walks the 44-byte header from the start of the stream; leaves the stream at
// the first sample. Fills the header only when the result is kWavOk.
int readWavHeaderFrom(std::istream& in, WavHeader* header);

// Opens a playback file and walks its header: the stream is left at the first
// sample when the result is kWavOk.
int openWavFile(const char* path, std::ifstream& in, WavHeader* header);
