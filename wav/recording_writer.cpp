#include "wav/recording_writer.h"

#include <fstream>
#include <new>
#include <string>

#include "engine/device_state.h"
#include "platform/file_system.h"
#include "wav/float_wav_writer.h"
#include "wav/sample_conversion.h"
#include "wav/wav_header.h"
#include "wav/wav_stream.h"

namespace {

void writeSamples(std::ostream& out, uint8_t* chunk) {
    const uint32_t channels = recordStore.channelCount;
    const size_t chunkFrames = framesPerChunk(channels);
    // Without channels there are no samples, however many frames were played.
    size_t remaining = channels == 0 ? 0 : recordStore.frameCount;
    while (remaining > 0 && out.good()) {
        const size_t frames = remaining < chunkFrames ? remaining : chunkFrames;
        convertRecordFrames(recordStore.cursors, frames, channels, bytesPerSample, chunk);
        out.write(reinterpret_cast<const char*>(chunk),
                  static_cast<std::streamsize>(frames * 4 * channels));
        for (uint32_t c = 0; c < channels; ++c)
            recordStore.cursors[c] += frames * bytesPerSample;
        remaining -= frames;
    }
}

// Written to a file of our own beside the target: until it is whole and on
// stable storage, the target keeps its old content.
bool writeWholeFile(const std::string& tempPath, uint8_t* chunk) {
    std::ofstream out(tempPath.c_str(), std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.good())
        return false;
    const uint32_t channels = recordStore.channelCount;
    uint8_t header[kWavHeaderBytes];
    composeFloatWavHeader(header, wavSampleRate, channels, recordStore.frameCount);
    out.write(reinterpret_cast<const char*>(header), kWavHeaderBytes);
    for (uint32_t c = 0; c < channels; ++c)
        recordStore.cursors[c] = recordStore.blocks[c];
    writeSamples(out, chunk);
    // Closing flushes the last buffered bytes; only then is the write complete.
    out.close();
    return !out.fail();
}

} // namespace

int writeRecording(const char* path) {
    // A folder, a device or a pipe is never replaced by a file.
    if (namesNonRegularFile(path))
        return kWriteCannotOpen;
    std::string tempPath;
    if (!createFileBeside(path, tempPath))
        return kWriteCannotOpen;
    return writeRecordingInto(tempPath, path);
}

int writeRecordingInto(const std::string& preparedFile, const char* path) {
    reportOversizeWritesAsErrors();
    const uint32_t channels = recordStore.channelCount;
    uint8_t* chunk = new (std::nothrow) uint8_t[framesPerChunk(channels) * 4 * channels + 1];
    const bool written = chunk != nullptr && writeWholeFile(preparedFile, chunk);
    const bool noMemory = chunk == nullptr;
    delete[] chunk;
    if (!written) {
        removeFile(preparedFile);
        return noMemory ? static_cast<int>(kWavNoMemory) : static_cast<int>(kWriteFailed);
    }
    // The target may have become a folder, a device or a pipe during the run:
    // it is never replaced by a file, and the recording is kept.
    if (namesNonRegularFile(path) || !moveOverTarget(preparedFile, path))
        return kWriteKept;
    return kWriteOk;
}
