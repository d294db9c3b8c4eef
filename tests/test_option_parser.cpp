#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commandline/option_parser.h"

using commandline::Arguments;
using commandline::OptionParser;
using commandline::UsageError;

namespace {

std::string problemOf(const OptionParser& options, const std::vector<std::string>& args) {
    try {
        options.take(options.split(args));
    } catch (const UsageError& e) {
        return e.problem;
    }
    return "";
}

} // namespace

// The declarations other options are added by: a repeatable valued option, a
// choice of numbers and a flag, taken in the order given, apart from the
// positional arguments.
TEST(OptionParser, TakesRepeatedValuesChoicesAndFlagsInOrder) {
    std::vector<std::string> calibrations;
    int smoothing = 0;
    bool overlap = false;
    OptionParser options;
    options.valued("--cal", commandline::appended(&calibrations))
        .valued("--smooth", commandline::choice<int>({{"3", 3}, {"6", 6}, {"12", 12}}, &smoothing))
        .flag("--overlap", &overlap);
    const Arguments a = options.split(
        {"--cal", "1=a.txt", "dev", "--smooth", "6", "-3", "--overlap", "--cal", "b.txt"});
    options.take(a);
    EXPECT_EQ(a.positional, (std::vector<std::string>{"dev", "-3"}));
    EXPECT_EQ(calibrations, (std::vector<std::string>{"1=a.txt", "b.txt"}));
    EXPECT_EQ(smoothing, 6);
    EXPECT_TRUE(overlap && a.given("--smooth") && !a.given("--dir"));
    EXPECT_EQ(problemOf(options, {"--smooth", "5"}), "--smooth takes 3, 6 or 12, not \"5\"");
    EXPECT_EQ(problemOf(options, {"--cal"}), "--cal needs a value");
    EXPECT_EQ(problemOf(options, {"--loud"}), "unknown option --loud");
    EXPECT_EQ(problemOf(options, {"--"}), "unknown option --");
}

// With single dashes and "--" as the end of the options, as the probe reads
// its command line: a name after "--" may begin with a dash.
TEST(OptionParser, EndsOptionsAtDoubleDashWhereTheProgramSaysSo) {
    bool help = false;
    OptionParser options({true, true});
    options.flag("-h", &help);
    EXPECT_EQ(problemOf(options, {"-x"}), "unknown option -x");
    const Arguments a = options.split({"-h", "--", "-h", "-"});
    options.take(a);
    EXPECT_TRUE(help);
    EXPECT_EQ(a.positional, (std::vector<std::string>{"-h", "-"}));
    EXPECT_TRUE(commandline::jsonAsked({"x", "--json"}));
    EXPECT_FALSE(commandline::jsonAsked({"--", "--json"}));
}

TEST(OptionParser, ReadsNumbersOnlyWhenTheWholeTextIsOne) {
    EXPECT_EQ(commandline::realNumber("-2.5e1"), -25.0);
    EXPECT_FALSE(commandline::realNumber("5x") || commandline::realNumber("") ||
                 commandline::realNumber("inf") || commandline::realNumber("nan"));
    EXPECT_EQ(commandline::decimalNumber("48000"), 48000);
    EXPECT_FALSE(commandline::decimalNumber("4.8e4") || commandline::decimalNumber("0x10") ||
                 commandline::decimalNumber("99999999999999999999"));
}
