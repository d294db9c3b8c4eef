#include "tests/wav_files.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

void putU16(std::vector<uint8_t>& bytes, uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

void putU32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<uint8_t>(value >> shift));
}

void putText(std::vector<uint8_t>& bytes, const char* text) {
    bytes.insert(bytes.end(), text, text + std::strlen(text));
}

std::vector<uint8_t> canonicalHeader(const WavSpec& spec) {
    std::vector<uint8_t> bytes;
    const uint32_t blockAlign = spec.channels * (spec.bitsPerSample / 8u);
    putText(bytes, "RIFF");
    putU32(bytes, 36 + spec.dataSize);
    putText(bytes, "WAVE");
    putText(bytes, "fmt ");
    putU32(bytes, 16);
    putU16(bytes, spec.formatTag);
    putU16(bytes, spec.channels);
    putU32(bytes, spec.sampleRate);
    putU32(bytes, spec.sampleRate * blockAlign);
    putU16(bytes, static_cast<uint16_t>(blockAlign));
    putU16(bytes, spec.bitsPerSample);
    putText(bytes, "data");
    putU32(bytes, spec.dataSize);
    return bytes;
}

std::vector<uint8_t> floatWav(const WavSpec& spec, const std::vector<float>& samples) {
    WavSpec sized = spec;
    if (sized.dataSize == 0)
        sized.dataSize = static_cast<uint32_t>(samples.size() * 4);
    std::vector<uint8_t> bytes = canonicalHeader(sized);
    for (float sample : samples) {
        uint32_t bits;
        std::memcpy(&bits, &sample, 4);
        putU32(bytes, bits);
    }
    return bytes;
}

namespace {

// Made on first use, removed with everything in it when the test program ends.
struct ScratchFolder {
    std::filesystem::path path;
    ScratchFolder() {
        std::random_device entropy;
        path = std::filesystem::temp_directory_path() /
               ("tandemwav-test-" + std::to_string(entropy()));
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

} // namespace

std::string scratchPath(const std::string& name) {
    static const ScratchFolder folder;
    return (folder.path / name).string();
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}
