// Test files: canonical float WAV files and hand-made variations of them, in a
// scratch folder that each test program makes for itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct WavSpec {
    uint16_t formatTag = 3;
    uint16_t channels = 2;
    uint32_t sampleRate = 48000;
    uint16_t bitsPerSample = 32;
    uint32_t dataSize = 0; // 0: taken from the samples
};

// The 44-byte canonical header.
std::vector<uint8_t> canonicalHeader(const WavSpec& spec);

// A canonical header followed by the samples as little-endian floats.
std::vector<uint8_t> floatWav(const WavSpec& spec, const std::vector<float>& samples);

// A path in this test program's scratch folder; the folder is made on first use.
std::string scratchPath(const std::string& name);

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFileBytes(const std::string& path);

void putU16(std::vector<uint8_t>& bytes, uint16_t value);
void putU32(std::vector<uint8_t>& bytes, uint32_t value);
void putText(std::vector<uint8_t>& bytes, const char* text);
