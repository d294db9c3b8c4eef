#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"

namespace {

// The console's own line ends are checked byte for byte by the end-to-end
// tests; here only the text matters.
std::string withoutCarriageReturns(std::string text) {
    std::string plain;
    for (char c : text)
        if (c != '\r')
            plain += c;
    return plain;
}

std::string captured(void (*print)()) {
    testing::internal::CaptureStdout();
    print();
    std::fflush(stdout);
    return withoutCarriageReturns(testing::internal::GetCapturedStdout());
}

} // namespace

TEST(Banner, IsTwoRowsOfEightyStarsAroundAnEightyOneColumnTitle) {
    const std::string stars(80, '*');
    const std::string title = "*" + std::string(35, ' ') + "TandemWav" + std::string(35, ' ') + "*";
    EXPECT_EQ(captured(printBanner), stars + "\n" + title + "\n" + stars + "\n\n");
}

TEST(Usage, HasItsSixteenLinesAsTheyStand) {
    const std::string usage = captured(printUsage);
    EXPECT_EQ(usage.rfind("This command-line application play a WAV file on outputs channels\n"
                          "of an ASIO enabled device  while records inputs channels.\n\n",
                          0),
              0u);
    EXPECT_NE(usage.find("\nUsage  : >tandemwav <ASIODriverName> <ASIOBuffer> <wavPlayFileName> "
                         "<PlayStartChannel> <wavRecFileName> <RecNumChannel> "
                         "<RecStartChannel>\n\n<ASIODriverName>   - Name of ASIO driver (Use \" \" "
                         "to input name with space!)\n"),
              std::string::npos);
    EXPECT_NE(usage.find("<RecNumChannel>    - Numbert of input channel to records\n"),
              std::string::npos);
    const std::string lastLine =
        "Example: >tandemwav \"ASIO4ALL v2\" 1024  testPlay.wav 1 testRec.wav 2 1\n\n";
    ASSERT_GE(usage.size(), lastLine.size());
    EXPECT_EQ(usage.substr(usage.size() - lastLine.size()), lastLine);
    size_t lineBreaks = 0;
    for (char c : usage)
        lineBreaks += c == '\n';
    EXPECT_EQ(lineBreaks, 16u + 5u); // five of the lines are followed by an empty line
}

TEST(NumberArgument, TakesDigitsUpToTheFirstNonDigit) {
    EXPECT_EQ(convertNumberArgument("1024"), 1024);
    EXPECT_EQ(convertNumberArgument("1024abc"), 1024);
    EXPECT_EQ(convertNumberArgument("12 34"), 12);
    EXPECT_EQ(convertNumberArgument("3.9"), 3);
    EXPECT_EQ(convertNumberArgument("0x10"), 0);
}

TEST(NumberArgument, WithoutDigitsIsZero) {
    EXPECT_EQ(convertNumberArgument(""), 0);
    EXPECT_EQ(convertNumberArgument("abc"), 0);
    EXPECT_EQ(convertNumberArgument("-"), 0);
    EXPECT_EQ(convertNumberArgument("+-3"), 0);
    EXPECT_EQ(convertNumberArgument("- 3"), 0);
}

TEST(NumberArgument, SkipsWhiteSpaceAndTakesOneSign) {
    EXPECT_EQ(convertNumberArgument("  \t\n42"), 42);
    EXPECT_EQ(convertNumberArgument("+7"), 7);
    EXPECT_EQ(convertNumberArgument("-7"), -7);
    EXPECT_EQ(convertNumberArgument(" -0012"), -12);
}

TEST(NumberArgument, ClampsToTheSigned32BitRange) {
    EXPECT_EQ(convertNumberArgument("2147483647"), 2147483647);
    EXPECT_EQ(convertNumberArgument("2147483648"), 2147483647);
    EXPECT_EQ(convertNumberArgument("-2147483648"), INT32_MIN);
    EXPECT_EQ(convertNumberArgument("-2147483649"), INT32_MIN);
    EXPECT_EQ(convertNumberArgument("99999999999999999999999999"), 2147483647);
    EXPECT_EQ(convertNumberArgument("-99999999999999999999999999"), INT32_MIN);
}

TEST(NumberArgument, MinusOneAsBufferLengthIsTheLargestUnsignedValue) {
    EXPECT_EQ(static_cast<uint32_t>(convertNumberArgument("-1")), 4294967295u);
}
