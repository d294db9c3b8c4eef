#include "drivers/loopback/loopback_settings.h"

#include <cstdlib>
#include <cstring>

#include "asiohost/asio.h"
#include "drivers/common/driver_settings.h"

namespace {

// "44100,48000" into rates; false (and nothing stored) unless at least one
// positive rate parses and nothing else is in the text.
bool parseSampleRates(const char* text, double* rates, int32_t* count) {
    double parsed[kLoopbackMaxRates];
    int32_t found = 0;
    const char* cursor = text;
    while (*cursor != '\0') {
        char* end = nullptr;
        const double rate = std::strtod(cursor, &end);
        if (end == cursor || !(rate > 0.0) || rate > 1e7 || found == kLoopbackMaxRates)
            return false;
        parsed[found++] = rate;
        cursor = end;
        while (*cursor == ' ')
            ++cursor;
        if (*cursor == ',')
            ++cursor;
        else if (*cursor != '\0')
            return false;
    }
    if (found == 0)
        return false;
    std::memcpy(rates, parsed, sizeof(double) * static_cast<size_t>(found));
    *count = found;
    return true;
}

// "1 3" into starts; false (and nothing stored) unless at least one start
// from 1 parses and nothing else is in the text.
bool parseFaultStarts(const char* text, uint32_t* starts, int32_t* count) {
    uint32_t parsed[kLoopbackMaxFaultStarts];
    int32_t found = 0;
    const char* cursor = text;
    while (*cursor == ' ')
        ++cursor;
    while (*cursor != '\0') {
        char* end = nullptr;
        const unsigned long start = std::strtoul(cursor, &end, 10);
        if (end == cursor || start == 0 || start > 0xFFFFFFFFul || found == kLoopbackMaxFaultStarts)
            return false;
        parsed[found++] = static_cast<uint32_t>(start);
        cursor = end;
        while (*cursor == ' ')
            ++cursor;
    }
    if (found == 0)
        return false;
    std::memcpy(starts, parsed, sizeof(uint32_t) * static_cast<size_t>(found));
    *count = found;
    return true;
}

void readInt(HKEY key, const char* name, int32_t* value) {
    uint32_t raw = 0;
    if (readNumber(key, name, &raw))
        *value = static_cast<int32_t>(raw);
}

void readReported(HKEY key, const char* name, LoopbackReportedValue* reported) {
    uint32_t raw = 0;
    reported->given = readNumber(key, name, &raw);
    reported->value = static_cast<int32_t>(raw);
}

void readFlag(HKEY key, const char* name, bool* value) {
    uint32_t raw = 0;
    if (readNumber(key, name, &raw))
        *value = raw != 0;
}

// A text message refuses init with that message; a nonzero number with a stock one.
void readInitFault(HKEY key, LoopbackSettings* settings) {
    char text[sizeof settings->initError];
    uint32_t raw = 0;
    if (readText(key, "failInit", text, sizeof text) && text[0] != '\0') {
        settings->failInit = true;
        copyFieldText(settings->initError, sizeof settings->initError, text);
    } else if (readNumber(key, "failInit", &raw) && raw != 0) {
        settings->failInit = true;
    }
}

// Text ("1 3"), or one start as a number.
void readFaultStarts(HKEY key, LoopbackSettings* s) {
    char text[256];
    uint32_t start = 0;
    if (readText(key, "faultStarts", text, sizeof text)) {
        parseFaultStarts(text, s->faultStarts, &s->faultStartCount);
    } else if (readNumber(key, "faultStarts", &start) && start != 0) {
        s->faultStarts[0] = start;
        s->faultStartCount = 1;
    }
}

void readDeviceValues(HKEY key, LoopbackSettings* s) {
    readText(key, "name", s->name, sizeof s->name);
    readInt(key, "version", &s->version);
    readInt(key, "inputs", &s->shape.inputs);
    readInt(key, "outputs", &s->shape.outputs);
    readInt(key, "bufferMin", &s->shape.bufferMin);
    readInt(key, "bufferMax", &s->shape.bufferMax);
    readInt(key, "bufferPreferred", &s->shape.bufferPreferred);
    readInt(key, "bufferGranularity", &s->shape.bufferGranularity);
    char rates[256];
    if (readText(key, "sampleRates", rates, sizeof rates))
        parseSampleRates(rates, s->rates, &s->rateCount);
    int32_t rate = 0;
    readInt(key, "sampleRate", &rate);
    if (rate > 0)
        s->sampleRate = rate;
    readInt(key, "latency", &s->latency);
    readInt(key, "hiddenLatency", &s->hiddenLatency);
    readInt(key, "sampleType", &s->sampleType);
    readText(key, "inputNames", s->inputNames, sizeof s->inputNames);
    readText(key, "outputNames", s->outputNames, sizeof s->outputNames);
    readFlag(key, "freeRunning", &s->freeRunning);
    readFlag(key, "plainBufferSwitch", &s->plainBufferSwitch);
    readFlag(key, "strictTiming", &s->strictTiming);
    readFlag(key, "reportTiming", &s->reportTiming);
    readNumber(key, "spinUs", &s->spinUs);
    readText(key, "traceFile", s->traceFile, sizeof s->traceFile);
}

void readFaultValues(HKEY key, LoopbackSettings* s) {
    readInitFault(key, s);
    readFlag(key, "failCanSampleRate", &s->failCanSampleRate);
    readFlag(key, "failSetSampleRate", &s->failSetSampleRate);
    readFlag(key, "failCreateBuffers", &s->failCreateBuffers);
    readNumber(key, "nullBuffer", &s->nullBuffer);
    readNumber(key, "failChannelInfoFrom", &s->failChannelInfoFrom);
    readFlag(key, "failStart", &s->failStart);
    readInt(key, "message", &s->message);
    readNumber(key, "messageAt", &s->messageAt);
    readNumber(key, "slipSkipAt", &s->slipSkipAt);
    readNumber(key, "slipRepeatAt", &s->slipRepeatAt);
    readNumber(key, "badHalfAt", &s->badHalfAt);
    readFlag(key, "earlySwitch", &s->earlySwitch);
    readFlag(key, "createBuffersSwitch", &s->createBuffersSwitch);
    readFlag(key, "deadDevice", &s->deadDevice);
    readNumber(key, "lateSwitchAt", &s->lateSwitchAt);
    readNumber(key, "lateSwitchBlocks", &s->lateSwitchBlocks);
    readFaultStarts(key, s);
    readText(key, "hangIn", s->hangIn, sizeof s->hangIn);
    readNumber(key, "hangMs", &s->hangMs);
    readReported(key, "reportInputs", &s->reportInputs);
    readReported(key, "reportOutputs", &s->reportOutputs);
    readReported(key, "reportBufferMin", &s->reportBufferMin);
    readReported(key, "reportBufferMax", &s->reportBufferMax);
    readReported(key, "reportBufferPreferred", &s->reportBufferPreferred);
    readReported(key, "reportBufferGranularity", &s->reportBufferGranularity);
}

int32_t clamp(int32_t value, int32_t low, int32_t high) {
    return value < low ? low : (value > high ? high : value);
}

// Keeps every value inside what the driver can honour, so a typing mistake in
// the registry never reaches the buffer arithmetic.
void makeConsistent(LoopbackSettings* s) {
    DriverShape& shape = s->shape;
    shape.inputs = clamp(shape.inputs, 0, kDriverMaxChannels);
    shape.outputs = clamp(shape.outputs, 0, kDriverMaxChannels);
    shape.bufferMin = clamp(shape.bufferMin, 1, kLoopbackMaxLatency);
    shape.bufferMax = clamp(shape.bufferMax, shape.bufferMin, kLoopbackMaxLatency);
    shape.bufferPreferred = clamp(shape.bufferPreferred, shape.bufferMin, shape.bufferMax);
    if (shape.bufferGranularity == 0 || shape.bufferGranularity < -1)
        shape.bufferGranularity = 1;
    s->latency = clamp(s->latency, 0, kLoopbackMaxLatency);
    s->hiddenLatency = clamp(s->hiddenLatency, 0, kLoopbackMaxLatency);
    if (s->freeRunning)
        s->strictTiming = false;
    if (s->spinUs > 1000000)
        s->spinUs = 1000000;
    if (s->lateSwitchBlocks > 1000)
        s->lateSwitchBlocks = 1000;
    if (!loopbackRateListed(*s, s->sampleRate))
        s->sampleRate = s->rates[0];
}

void defaultLoopbackSettings(LoopbackSettings* s) {
    std::memset(s, 0, sizeof *s);
    copyFieldText(s->name, sizeof s->name, "Tandem Loopback");
    s->version = 1;
    s->shape = DriverShape{8, 8, 16, 8192, 256, 1};
    s->rates[0] = 44100.0;
    s->rates[1] = 48000.0;
    s->rates[2] = 96000.0;
    s->rateCount = 3;
    s->sampleRate = 48000.0;
    s->sampleType = ASIOSTInt32LSB;
    copyFieldText(s->inputNames, sizeof s->inputNames, "In");
    copyFieldText(s->outputNames, sizeof s->outputNames, "Out");
    copyFieldText(s->initError, sizeof s->initError, "The loopback device is configured to fail");
    s->failChannelInfoFrom = kLoopbackNever;
    s->slipSkipAt = kLoopbackNever;
    s->slipRepeatAt = kLoopbackNever;
    s->badHalfAt = kLoopbackNever;
    s->strictTiming = true;
    s->lateSwitchAt = kLoopbackNever;
    s->lateSwitchBlocks = 1;
}

} // namespace

void readLoopbackSettings(const CLSID& clsid, LoopbackSettings* settings) {
    defaultLoopbackSettings(settings);
    HKEY key = nullptr;
    if (openDriverSettings(kLoopbackSettingsRoot, clsid, &key)) {
        readDeviceValues(key, settings);
        readFaultValues(key, settings);
        RegCloseKey(key);
    }
    makeConsistent(settings);
}

bool loopbackRateListed(const LoopbackSettings& settings, double rate) {
    for (int32_t i = 0; i < settings.rateCount; ++i)
        if (settings.rates[i] == rate)
            return true;
    return false;
}

bool loopbackSettingsExist(const CLSID& clsid) {
    return driverSettingsExist(kLoopbackSettingsRoot, clsid);
}

bool loopbackFaultsAtStart(const LoopbackSettings& settings, uint32_t start) {
    if (settings.faultStartCount == 0)
        return true;
    for (int32_t i = 0; i < settings.faultStartCount; ++i)
        if (settings.faultStarts[i] == start)
            return true;
    return false;
}

int32_t loopbackSampleBytes(int32_t sampleType) {
    switch (sampleType) {
    case ASIOSTInt16MSB:
    case ASIOSTInt16LSB:
        return 2;
    case ASIOSTInt24MSB:
    case ASIOSTInt24LSB:
        return 3;
    case ASIOSTFloat64MSB:
    case ASIOSTFloat64LSB:
        return 8;
    case ASIOSTDSDInt8LSB1:
    case ASIOSTDSDInt8MSB1:
    case ASIOSTDSDInt8NER8:
        return 1;
    default:
        return 4;
    }
}
