#include "measure/wav_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

#include "measure/clipping.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "platform/file_system.h"

namespace measure {

namespace {

constexpr uint16_t kPcm = 1;
constexpr uint16_t kFloat = 3;
constexpr uint16_t kExtensible = 0xFFFE;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const unsigned char* p) {
    return uint16_t(p[0] | p[1] << 8);
}

struct Layout {
    WavInfo info;
    uint16_t format = 0;
    int bytes = 0; // per sample
    uint64_t dataOffset = 0;
};

[[noreturn]] void notWav(const std::string& path, const std::string& why) {
    throw Failure(kNotWav, "Error: " + path + " is not a WAV file we can read (" + why + ")!");
}

File openForReading(const std::string& path) {
    if (!isRegularFile(path.c_str()))
        notWav(path, "no such regular file");
    File file(openFileForReading(path.c_str()));
    if (!file)
        notWav(path, "it cannot be opened");
    return file;
}

void readFormat(const std::string& path, const unsigned char* fmt, uint32_t size, Layout& layout) {
    if (size < 16)
        notWav(path, "its format chunk is too short");
    layout.format = le16(fmt);
    layout.info.channels = le16(fmt + 2);
    layout.info.rate = static_cast<int>(le32(fmt + 4));
    const int blockAlign = le16(fmt + 12);
    const int bits = le16(fmt + 14);
    if (layout.format == kExtensible) {
        if (size < 40)
            notWav(path, "its extensible format chunk is too short");
        // The sub-format's GUID begins with the plain format tag.
        layout.format = le16(fmt + 24);
    }
    if (layout.info.channels == 0 || layout.info.rate <= 0)
        notWav(path, "it declares no channel or no rate");
    const bool pcm = layout.format == kPcm && (bits == 16 || bits == 24 || bits == 32);
    const bool floating = layout.format == kFloat && (bits == 32 || bits == 64);
    if (!pcm && !floating)
        throw Failure(kUnsupportedFormat,
                      "Error: " + path + " holds " + std::to_string(bits) +
                          "-bit samples of format " + std::to_string(layout.format) +
                          "; only PCM 16, 24 and 32-bit and float 32 and 64-bit are read!");
    layout.bytes = bits / 8;
    if (blockAlign != layout.bytes * layout.info.channels)
        notWav(path, "its frame size does not match its channels");
}

// Walks the chunks: the format first, then the data, whatever lies between.
Layout readLayout(const std::string& path, std::FILE* file) {
    const int64_t size = lengthOfFile(file);
    unsigned char head[12];
    if (size < 12 || std::fread(head, 1, 12, file) != 12 || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        notWav(path, "no RIFF WAVE header");
    Layout layout;
    bool haveFormat = false;
    int64_t at = 12;
    while (at + 8 <= size) {
        unsigned char chunk[8];
        if (!seekFileTo(file, static_cast<uint64_t>(at)) || std::fread(chunk, 1, 8, file) != 8)
            break;
        const uint32_t length = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char fmt[64] = {};
            const uint32_t wanted = length < sizeof fmt ? length : sizeof fmt;
            if (std::fread(fmt, 1, wanted, file) != wanted)
                notWav(path, "its format chunk is cut short");
            readFormat(path, fmt, length, layout);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                notWav(path, "its data comes before its format");
            // Recorders that were stopped hard leave the size unset: what the
            // file holds counts.
            const int64_t held = std::min<int64_t>(length, size - at - 8);
            layout.dataOffset = static_cast<uint64_t>(at + 8);
            layout.info.frames = held / (layout.bytes * layout.info.channels);
            return layout;
        }
        at += 8 + static_cast<int64_t>(length) + (length & 1);
    }
    notWav(path, haveFormat ? "no data chunk" : "no format chunk");
}

float sampleAt(const unsigned char* p, uint16_t format, int bytes) {
    if (format == kFloat) {
        double value;
        if (bytes == 4) {
            float single;
            std::memcpy(&single, p, 4);
            value = single;
        } else {
            std::memcpy(&value, p, 8);
        }
        return static_cast<float>(value);
    }
    if (bytes == 2) {
        const int16_t code = static_cast<int16_t>(le16(p));
        return static_cast<float>(code / 32768.0);
    }
    if (bytes == 3) {
        int32_t code =
            int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
        return static_cast<float>(code / 8388608.0);
    }
    const int32_t code = static_cast<int32_t>(le32(p));
    return static_cast<float>(code / 2147483648.0);
}

} // namespace

WavInfo readWavInfo(const std::string& path) {
    File file = openForReading(path);
    return readLayout(path, file.get()).info;
}

Recording readRecording(const std::string& path) {
    File file = openForReading(path);
    const Layout layout = readLayout(path, file.get());
    Recording recording;
    recording.info = layout.info;
    const size_t channels = static_cast<size_t>(layout.info.channels);
    recording.samples.resize(static_cast<size_t>(layout.info.frames) * channels);
    if (!seekFileTo(file.get(), layout.dataOffset))
        notWav(path, "its data cannot be reached");
    // A block at a time, so the raw bytes never sit in memory beside the whole recording.
    std::vector<unsigned char> block(size_t(1) << 20);
    const size_t sampleBytes = static_cast<size_t>(layout.bytes);
    const size_t perBlock = block.size() / sampleBytes;
    for (size_t done = 0; done < recording.samples.size();) {
        const size_t count = std::min(perBlock, recording.samples.size() - done);
        if (std::fread(block.data(), sampleBytes, count, file.get()) != count)
            notWav(path, "it cannot be read to its end");
        for (size_t i = 0; i < count; ++i)
            recording.samples[done + i] =
                sampleAt(block.data() + i * sampleBytes, layout.format, layout.bytes);
        done += count;
    }
    // An integer file's full scale is its largest code, as a device's is.
    const float fullScale = fullScaleOf(layout.format == kFloat ? 0 : layout.bytes);
    for (size_t c = 0; c < channels; ++c)
        recording.clipped.push_back(clippedSamples(recording.samples.data() + c,
                                                   static_cast<size_t>(layout.info.frames),
                                                   channels, fullScale));
    return recording;
}

namespace {

void put32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}
void put16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

// Writes bytes to a new file beside the target and moves it over the target.
void replaceFile(const std::string& path, const void* head, size_t headSize, const void* body,
                 size_t bodySize) {
    std::string temp;
    const std::string failed = "Error: Unable to write " + path + "!";
    if (namesNonRegularFile(path.c_str()) || !mayReplace(path.c_str()) ||
        !createFileBeside(path.c_str(), temp))
        throw Failure(kCannotWrite, failed);
    std::FILE* file = std::fopen(temp.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(head, 1, headSize, file) == headSize &&
                   (bodySize == 0 || std::fwrite(body, 1, bodySize, file) == bodySize);
    if (file != nullptr)
        written = std::fclose(file) == 0 && written;
    if (!written || !moveOverTarget(temp, path.c_str())) {
        removeFile(temp);
        throw Failure(kCannotWrite, failed);
    }
}

} // namespace

void writeFloatWav(const std::string& path, int rate, int channels,
                   const std::vector<float>& interleaved) {
    const uint64_t dataBytes = interleaved.size() * sizeof(float);
    if (dataBytes > 0xFFFFFFFFull - 36)
        throw Failure(kCannotWrite, "Error: " + path + " would pass the 4 GiB of a WAV file!");
    std::string header = "RIFF";
    put32(header, static_cast<uint32_t>(36 + dataBytes));
    header += "WAVEfmt ";
    put32(header, 16);
    put16(header, kFloat);
    put16(header, static_cast<uint16_t>(channels));
    put32(header, static_cast<uint32_t>(rate));
    put32(header, static_cast<uint32_t>(rate * channels * 4));
    put16(header, static_cast<uint16_t>(channels * 4));
    put16(header, 32);
    header += "data";
    put32(header, static_cast<uint32_t>(dataBytes));
    // Little-endian floats: the file's byte order is the machine's.
    replaceFile(path, header.data(), header.size(), interleaved.data(), dataBytes);
}

void writeTextFile(const std::string& path, const std::string& text) {
    replaceFile(path, text.data(), text.size(), nullptr, 0);
}

} // namespace measure
