#include "measure/measure_files.h"

#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "wav/file_replacement.h"
#include "wav/float_wav_writer.h"

namespace measure {

namespace {

template <typename Work> auto readingAs(Work work) {
    try {
        return work();
    } catch (const WavReadError& e) {
        throw Failure(e.unsupportedFormat() ? kUnsupportedFormat : kNotWav, e.what());
    }
}

template <typename Work> void writingAs(Work work) {
    try {
        work();
    } catch (const FileWriteError& e) {
        throw Failure(kCannotWrite, e.what());
    }
}

} // namespace

WavInfo readWavInfo(const std::string& path) {
    return readingAs([&] { return ::readWavInfo(path); });
}

Recording readRecording(const std::string& path) {
    return readingAs([&] { return readWavRecording(path); });
}

void writeFloatWav(const std::string& path, int rate, int channels,
                   const std::vector<float>& interleaved) {
    writingAs([&] { ::writeFloatWav(path, rate, channels, interleaved); });
}

void writeTextFile(const std::string& path, const std::string& text) {
    writingAs([&] { replaceFileWith(path, text); });
}

} // namespace measure
