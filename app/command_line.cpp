#include "app/command_line.h"

#include <cstdio>

void printBanner() {
    std::printf(
        "********************************************************************************\n");
    std::printf(
        "*                                   TandemWav                                   *\n");
    std::printf(
        "********************************************************************************\n\n");
}

void printUsage() {
    std::printf("This command-line application play a WAV file on outputs channels\n");
    std::printf("of an ASIO enabled device  while records inputs channels.\n\n");
    std::printf(
        "The application is built directly from the ASIO SDK to avoid intermediate layer\n");
    std::printf("on hardware access ensuring accurate and repetible syncronization between\n");
    std::printf("input and output buffer permit avoiding any packet loss.\n");
    std::printf("The application support only 32bit float WAV file\n");
    std::printf(
        "and sound card with 26,24,32 bit LSB integer ASIO format (the majority I hope)\n\n");
    std::printf("Usage  : >tandemwav <ASIODriverName> <ASIOBuffer> <wavPlayFileName> "
                "<PlayStartChannel> <wavRecFileName> <RecNumChannel> <RecStartChannel>\n\n");
    std::printf("<ASIODriverName>   - Name of ASIO driver (Use \" \" to input name with space!)\n");
    std::printf(
        "<ASIOBuffer>       - Length of buffer used to exchange audio data with sound card\n");
    std::printf("<wavPlayfileName>  - Name of 32bit float WAV input file\n");
    std::printf(
        "<PlayStartChannel> - Index of the first output channel to use (Starting from 1)\n");
    std::printf("<wavRecfileName>   - Name of 32bit float WAV output file\n");
    std::printf("<RecNumChannel>    - Numbert of input channel to records\n");
    std::printf(
        "<RecStartChannel>  - Index of the first input channel to record (Starting from 1)\n\n");
    std::printf("Example: >tandemwav \"ASIO4ALL v2\" 1024  testPlay.wav 1 testRec.wav 2 1\n\n");
}

static bool isWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int32_t convertNumberArgument(const char* text) {
    while (isWhiteSpace(*text))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    // Accumulate with the sign applied and stop growing at the limit, so that
    // any number of digits clamps instead of overflowing.
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}
