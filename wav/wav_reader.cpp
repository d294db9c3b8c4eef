#include "wav/wav_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/file_system.h"
#include "wav/clipping.h"
#include "wav/wav_stream.h"

namespace {

constexpr uint16_t kPcm = 1;
constexpr uint16_t kExtensible = 0xFFFE;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct Layout {
    WavInfo info;
    uint16_t format = 0;
    int bytes = 0; // per sample
    uint64_t dataOffset = 0;
};

[[noreturn]] void notWav(const std::string& path, const std::string& why) {
    throw WavReadError(false, "Error: " + path + " is not a WAV file we can read (" + why + ")!");
}

File openForReading(const std::string& path) {
    if (!isRegularFile(path.c_str()))
        notWav(path, "no such regular file");
    File file(openFileForReading(path.c_str()));
    if (!file)
        notWav(path, "it cannot be opened");
    return file;
}

void readFormat(const std::string& path, const uint8_t* fmt, uint32_t size, Layout& layout) {
    if (size < 16)
        notWav(path, "its format chunk is too short");
    layout.format = littleEndianU16(fmt);
    layout.info.channels = littleEndianU16(fmt + 2);
    layout.info.rate = static_cast<int>(littleEndianU32(fmt + 4));
    const int blockAlign = littleEndianU16(fmt + 12);
    const int bits = littleEndianU16(fmt + 14);
    if (layout.format == kExtensible) {
        if (size < 40)
            notWav(path, "its extensible format chunk is too short");
        // The sub-format's GUID begins with the plain format tag.
        layout.format = littleEndianU16(fmt + 24);
    }
    if (layout.info.channels == 0 || layout.info.rate <= 0)
        notWav(path, "it declares no channel or no rate");
    const bool pcm = layout.format == kPcm && (bits == 16 || bits == 24 || bits == 32);
    const bool floating = layout.format == kWavFormatFloat && (bits == 32 || bits == 64);
    if (!pcm && !floating)
        throw WavReadError(true,
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
    uint8_t head[12];
    if (size < 12 || std::fread(head, 1, 12, file) != 12 || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        notWav(path, "no RIFF WAVE header");
    Layout layout;
    bool haveFormat = false;
    int64_t at = 12;
    while (at + 8 <= size) {
        uint8_t chunk[8];
        if (!seekFileTo(file, static_cast<uint64_t>(at)) || std::fread(chunk, 1, 8, file) != 8)
            break;
        const uint32_t length = littleEndianU32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            uint8_t fmt[64] = {};
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

float sampleAt(const uint8_t* p, uint16_t format, int bytes) {
    if (format == kWavFormatFloat) {
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
        const int16_t code = static_cast<int16_t>(littleEndianU16(p));
        return static_cast<float>(code / 32768.0);
    }
    if (bytes == 3) {
        int32_t code =
            int32_t(uint32_t(p[0]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 24) >> 8;
        return static_cast<float>(code / 8388608.0);
    }
    const int32_t code = static_cast<int32_t>(littleEndianU32(p));
    return static_cast<float>(code / 2147483648.0);
}

} // namespace

WavInfo readWavInfo(const std::string& path) {
    File file = openForReading(path);
    return readLayout(path, file.get()).info;
}

WavRecording readWavRecording(const std::string& path) {
    File file = openForReading(path);
    return readWavRecordingFrom(file.get(), path);
}

WavRecording readWavRecordingFrom(std::FILE* file, const std::string& path) {
    const Layout layout = readLayout(path, file);
    WavRecording recording;
    recording.info = layout.info;
    const size_t channels = static_cast<size_t>(layout.info.channels);
    recording.samples.resize(static_cast<size_t>(layout.info.frames) * channels);
    if (!seekFileTo(file, layout.dataOffset))
        notWav(path, "its data cannot be reached");
    // A block at a time, so the raw bytes never sit in memory beside the whole
    // recording; no larger than the data, so short files stay cheap.
    const size_t sampleBytes = static_cast<size_t>(layout.bytes);
    const size_t perBlock = std::min((size_t(1) << 20) / sampleBytes, recording.samples.size());
    std::vector<uint8_t> block(perBlock * sampleBytes);
    for (size_t done = 0; done < recording.samples.size();) {
        const size_t count = std::min(perBlock, recording.samples.size() - done);
        if (std::fread(block.data(), sampleBytes, count, file) != count)
            notWav(path, "it cannot be read to its end");
        for (size_t i = 0; i < count; ++i)
            recording.samples[done + i] =
                sampleAt(block.data() + i * sampleBytes, layout.format, layout.bytes);
        done += count;
    }
    // An integer file's full scale is its largest code, as a device's is.
    const float fullScale = fullScaleOf(layout.format == kWavFormatFloat ? 0 : layout.bytes);
    // A file of no frames has no samples to point into, not even its first.
    for (size_t c = 0; c < channels; ++c)
        recording.clipped.push_back(recording.samples.empty()
                                        ? 0
                                        : clippedSamples(recording.samples.data() + c,
                                                         static_cast<size_t>(layout.info.frames),
                                                         channels, fullScale));
    return recording;
}
