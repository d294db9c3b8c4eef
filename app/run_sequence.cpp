#include "app/run_sequence.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>

#include "app/command_line.h"
#include "app/record_file.h"
#include "asiohost/asio_calls.h"
#include "asiohost/driver_loader.h"
#include "engine/callbacks.h"
#include "engine/channel_buffers.h"
#include "engine/device_state.h"
#include "engine/sample_stores.h"
#include "platform/file_system.h"
#include "platform/helper_thread.h"
#include "platform/interrupts.h"
#include "platform/win32api.h"
#include "wav/playback_loader.h"
#include "wav/recording_writer.h"
#include "wav/wav_header.h"

namespace {

const char* requestedDriverName;
const char* playPath;
const char* recordPath;
int32_t playStart;
int32_t recordCount;
int32_t recordStart;

int32_t playCount; // the playback file's channel count, as its header was checked

int fail(int code) {
    std::fflush(stdout);
    return code;
}

constexpr const char* kDriverDidNotReturn =
    "\nError: The ASIO driver did not return; ending without releasing it!\n";

// What the run holds when an interrupt is seen before the driver starts.
enum class Held { Nothing, Driver, Buffers, Stores };

// Nothing was played or recorded, so the record file is not touched.
int endInterruptedBeforeStart(Held held) {
    if (held != Held::Nothing)
        releaseLoadedDriver(held != Held::Driver);
    keepOnSecondInterrupt();
    if (held == Held::Stores) {
        freePlaybackStore();
        freeRecordStore();
    }
    std::printf("\n\nPlay & Record Interrupted!\n\nNothing was played or recorded.\n");
    const int code = fail(kExitInterrupted);
    // A closing console's handler holds the process open until this is known.
    interruptHandled();
    return code;
}

// The playback file's header, before any driver is touched: exit codes 2, 3.
int checkPlaybackFile() {
    uint32_t formatTag = 0;
    uint32_t bitsPerSample = 0;
    const int result = readWavHeader(playPath, &formatTag, &wavSampleRate, &bitsPerSample,
                                     &playbackStore.channelCount, &playbackStore.remainingFrames);
    if (result != kWavOk) {
        std::printf("Error: Unable to load input WAV file %s!", playPath);
        return kExitPlaybackFile;
    }
    if (formatTag != kWavFormatFloat || bitsPerSample != kWavFloatBits) {
        std::printf("Error: Unsupported WAV file format! (This application support only 32bit "
                    "float WAV file)");
        return kExitNotFloat32;
    }
    playCount = static_cast<int32_t>(playbackStore.channelCount);
    return kExitDone;
}

bool channelRangesAdmissible() {
    return channelRangeAdmissible(recordStart, recordCount, deviceState.inputChannels) &&
           channelRangeAdmissible(playStart, playCount, deviceState.outputChannels);
}

bool sampleRateAccepted() {
    const ASIOSampleRate rate = static_cast<double>(wavSampleRate);
    return ASIOCanSampleRate(rate) == ASE_OK && ASIOSetSampleRate(rate) == ASE_OK;
}

// Load, initialise and check the driver against the request: exit codes 4 to 8.
int setUpDriver() {
    if (!loadDriverByName(requestedDriverName)) {
        std::printf("Error: Failed to load ASIO driver %s!", requestedDriverName);
        return fail(kExitDriverNotLoaded);
    }
    if (ASIOInit(&deviceState.driverInfo) != ASE_OK) {
        std::printf("Error: Failed to initialize ASIO driver!");
        releaseLoadedDriver(false);
        return fail(kExitDriverInit);
    }
    std::printf("ASIO Driver correctly initialized: %s\n", deviceState.driverInfo.name);
    ASIOGetChannels(&deviceState.inputChannels, &deviceState.outputChannels);
    std::printf("Available driver channel: %d inputs; %d outputs\n", deviceState.inputChannels,
                deviceState.outputChannels);
    if (!channelRangesAdmissible()) {
        std::printf("Error: Wrong input/output channel settings!");
        releaseLoadedDriver(false);
        return fail(kExitChannels);
    }
    ASIOGetBufferSize(&deviceState.minBufferSize, &deviceState.maxBufferSize,
                      &deviceState.preferredBufferSize, &deviceState.bufferGranularity);
    std::printf("Permitted buffer size: %d to %d\n", deviceState.minBufferSize,
                deviceState.maxBufferSize);
    if (!bufferLengthAdmissible(bufferSize)) {
        std::printf("Error: Unable to set ASIO buffer size to %d!", static_cast<int>(bufferSize));
        releaseLoadedDriver(false);
        return fail(kExitBufferSize);
    }
    std::printf("Buffer Size set to %d sample\n", static_cast<int>(bufferSize));
    if (!sampleRateAccepted()) {
        std::printf("Error: Failed to set sample rate as recquested to WAV input file!\n"
                    "This driver cannot run to %d Hz\n",
                    static_cast<int>(wavSampleRate));
        releaseLoadedDriver(false);
        return fail(kExitSampleRate);
    }
    ASIOGetSampleRate(&deviceState.sampleRate);
    std::printf("SampleRate set to %0.0f\n", deviceState.sampleRate);
    return kExitDone;
}

// Buffers on the chosen channels and the native sample width: exit codes 9, 10.
int setUpBuffers() {
    if (createChannelBuffers(bufferSize, recordCount, recordStart, playCount, playStart) !=
        ASE_OK) {
        std::printf("Error: Failed to create ASIO buffer for selected input!");
        releaseLoadedDriver(channelBuffersHeld());
        return fail(kExitCreateBuffers);
    }
    ASIOGetLatencies(&deviceState.inputLatency, &deviceState.outputLatency);
    std::printf("ASIO driver latency: input: %d, output: %d\n", deviceState.inputLatency,
                deviceState.outputLatency);
    bytesPerSample = nativeBytesPerSample();
    if (bytesPerSample == 0) {
        std::printf("Error: ASIO native format not supported!\n\n");
        releaseLoadedDriver(true);
        return fail(kExitNativeFormat);
    }
    std::printf("ASIO native data fomat: LSB Integer %dbits\n",
                static_cast<int>(bytesPerSample * 8));
    return kExitDone;
}

// The padded length of the material, as the loader will compute it.
uint64_t paddedFrames() {
    return wholeBufferFrames(playbackStore.remainingFrames);
}

// Everything that can be known before a byte is loaded: exit codes 12 to 14.
int checkStoresAndRecordFile() {
    const uint64_t frames = paddedFrames();
    if (static_cast<uint64_t>(recordCount) * frames * 4u > 4294967259u) {
        std::printf("Error: Recording too large for a WAV file!");
        return kExitRecordingTooLarge;
    }
    if (frames * bytesPerSample > 0xFFFFFFFFu) {
        std::printf("Error: Not enough memory for playback and recording!");
        return kExitNoMemory;
    }
    const uint64_t bytes = kWavHeaderBytes + static_cast<uint64_t>(recordCount) * frames * 4u;
    const int prepared = prepareRecordFile(recordPath, bytes);
    if (prepared != kRecordFileReady) {
        std::printf("Error: Unable to write output WAV file %s!", recordPath);
        if (prepared == kRecordFileOverSizeLimit)
            std::printf("\nThe recording takes %" PRIu64 " bytes, more than the file size limit "
                        "(ulimit -f) of %" PRIu64 " bytes.",
                        bytes, fileSizeLimit());
        return kExitRecordFile;
    }
    return kExitDone;
}

// What the load left: the playback store on success, or nothing.
int checkLoadedStores(int loaded, bool recordResident) {
    if (loaded == kWavNoMemory || !recordResident) {
        std::printf("Error: Not enough memory for playback and recording!");
        if (loaded == kWavOk)
            freePlaybackStore();
        return kExitNoMemory;
    }
    // The file may have changed since its header was checked: the buffers were
    // made for the channel count seen then.
    const bool sameChannels =
        loaded == kWavOk && playbackStore.channelCount == static_cast<uint32_t>(playCount);
    if (!sameChannels) {
        std::printf("Error: Unable to load input WAV file %s!", playPath);
        if (loaded == kWavOk)
            freePlaybackStore();
        return kExitPlaybackFile;
    }
    if (playbackStore.remainingFrames == recordStore.frameCount)
        return kExitDone;
    freeRecordStore();
    recordStore.frameCount = playbackStore.remainingFrames;
    if (!allocateRecordStore()) {
        std::printf("Error: Not enough memory for playback and recording!");
        freePlaybackStore();
        return kExitNoMemory;
    }
    return kExitDone;
}

// The record store is reserved from the header's length, and its pages are
// made resident on a helper thread while the playback file loads; both take
// about as long. A file whose length changed since its header was read gets a
// record store made afresh.
int loadStores() {
    recordStore.channelCount = static_cast<uint32_t>(recordCount);
    recordStore.frameCount = static_cast<uint32_t>(paddedFrames());
    if (!reserveRecordStore()) {
        std::printf("Error: Not enough memory for playback and recording!");
        return kExitNoMemory;
    }
    startRecordStoreResidency();
    const int loaded = loadPlaybackSamples(playPath);
    const bool resident = finishRecordStoreResidency();
    const int stored = checkLoadedStores(loaded, resident);
    if (stored != kExitDone)
        freeRecordStore();
    return stored;
}

// The record file is made before anything is loaded and held until the
// recording is written, or given up with the stores.
int fillStores() {
    const int code = checkStoresAndRecordFile();
    if (code != kExitDone)
        return code;
    const int stored = loadStores();
    if (stored != kExitDone)
        discardRecordFile();
    return stored;
}

// Beyond 2^31 samples (12 hours at 48 kHz) the display saturates rather than
// converting out of range.
int32_t truncatedSamplePosition(double position) {
    if (!(position < 2147483647.0))
        return position > 0 ? 2147483647 : 0;
    return position > -2147483648.0 ? static_cast<int32_t>(position) : INT32_MIN;
}

bool streamEnded() {
    return deviceState.stopped.load(std::memory_order_acquire) != 0 || interruptRequested();
}

// Until the material is used up, or the user interrupts. The line is shown
// every 100 ms; the end is looked for every 10 ms, so that a run does not
// linger for most of a period after its last block.
void showProgress() {
    constexpr int kChecksPerLine = 10;
    for (int check = 1; !streamEnded(); ++check) {
        Sleep(100 / kChecksPerLine);
        if (check % kChecksPerLine != 0)
            continue;
        const double position = deviceState.samplePosition.load(std::memory_order_relaxed);
        const uint32_t switchTime = deviceState.lastSwitchTimeMs.load(std::memory_order_relaxed);
        std::printf("%d ms / %d samples", static_cast<int32_t>(switchTime),
                    truncatedSamplePosition(position));
        std::printf("     \r");
        std::fflush(stdout);
    }
}

void freePlaybackStoreJob(void*) {
    freePlaybackStore();
}

// After an interrupt the recording keeps the whole buffers taken so far, the
// same number on every channel.
void keepRecordedFramesOnly() {
    recordStore.frameCount -= playbackStore.remainingFrames;
}

int writeRecordingOut(bool interrupted) {
    std::printf("Converting and storing recorded data...\n");
    // Shown while a long recording is written, not only after.
    std::fflush(stdout);
    const int written = writeRecordingInto(preparedRecordFile(), recordPath);
    freeRecordStore();
    const int writeCode = exitCodeOfWrite(written);
    if (writeCode != kExitDone) {
        std::printf("Error: Unable to write output WAV file %s!", recordPath);
        if (written == kWriteKept)
            std::printf("\nThe recording is kept as %s", preparedRecordFile());
        return fail(writeCode);
    }
    const uint32_t lost = lostBlockCount();
    if (lost != 0)
        std::printf("Warning: %u buffer(s) lost or repeated by the driver; the recording may be "
                    "out of step!\n",
                    lost);
    std::printf("Done!\n");
    if (interrupted)
        return fail(kExitInterrupted);
    return fail(lost != 0 ? kExitLostBlocks : kExitDone);
}

int stream() {
    armBufferSwitch();
    if (ASIOStart() != ASE_OK) {
        disarmBufferSwitch();
        std::printf("Error: Failed to start ASIO driver!\n\n");
        releaseLoadedDriver(true);
        freePlaybackStore();
        freeRecordStore();
        discardRecordFile();
        return fail(kExitStart);
    }
    std::printf("\n\nPlay & Record Started!\n\n");
    showProgress();
    ASIOStop();
    disarmBufferSwitch();
    const bool interrupted = deviceState.stopped.load(std::memory_order_acquire) == 0;
    releaseLoadedDriver(true);
    keepOnSecondInterrupt();
    if (interrupted) {
        std::printf("\n\nPlay & Record Interrupted!\n\n");
        keepRecordedFramesOnly();
    } else {
        std::printf("\n\nPlay & Record Stopped!\n\n");
    }
    // The playback store is given back while the recording is written: it
    // takes about a tenth of the write, and nothing else touches it.
    HelperThread release;
    runHelper(&release, freePlaybackStoreJob, nullptr);
    const int code = writeRecordingOut(interrupted);
    joinHelper(&release);
    interruptHandled();
    return code;
}

// Interrupts are looked at between the steps; a step that fails ends the run
// with its own code even when an interrupt came meanwhile.
int run() {
    int code = checkPlaybackFile();
    if (code != kExitDone)
        return fail(code);
    if (interruptRequested())
        return endInterruptedBeforeStart(Held::Nothing);
    endOnSecondInterrupt(kDriverDidNotReturn);
    code = setUpDriver();
    if (code != kExitDone)
        return code;
    if (interruptRequested())
        return endInterruptedBeforeStart(Held::Driver);
    code = setUpBuffers();
    if (code != kExitDone)
        return code;
    if (interruptRequested())
        return endInterruptedBeforeStart(Held::Buffers);
    code = fillStores();
    if (code != kExitDone) {
        releaseLoadedDriver(true);
        return fail(code);
    }
    if (interruptRequested())
        return endInterruptedBeforeStart(Held::Stores);
    return stream();
}

} // namespace

int runTandemWav(int argc, char** argv) {
    watchInterrupts();
    printBanner();
    if (argc != 8) {
        printUsage();
        return fail(kExitUsage);
    }
    requestedDriverName = argv[1];
    bufferSize = static_cast<uint32_t>(convertNumberArgument(argv[2]));
    playPath = argv[3];
    playStart = convertNumberArgument(argv[4]);
    recordPath = argv[5];
    recordCount = convertNumberArgument(argv[6]);
    recordStart = convertNumberArgument(argv[7]);
    return run();
}
