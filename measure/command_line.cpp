#include "measure/command_line.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "measure/exit_codes.h"
#include "measure/gate_and_smoothing.h"
#include "platform/file_system.h"

namespace measure {

namespace {

struct CommandUsage {
    const char* command;
    const char* lines;
};

const CommandUsage kUsages[] = {
    {"sweep", "  tandemwav-measure sweep FILE.wav [--rate R] [--from F1] [--to F2] [--seconds T]\n"
              "                          [--level dB] [--channels N] [--on C] [--tail S]\n"},
    {"analyze",
     "  tandemwav-measure analyze FILE.wav RECORDING.wav [--dir DIR] [--harmonics K] [--json]\n"
     "                            [--room] [--bands octave|third] [--gate MS] [--smooth N]\n"
     "                            [--reference N] [--cal N=FILE | --cal FILE]...\n"},
    {"run",
     "  tandemwav-measure run \"<driver>\" --outputs A[-B] --inputs C[-D] [--buffer N] [--rate R]\n"
     "                        [--from F1] [--to F2] [--seconds T] [--level dB] [--tail S]\n"
     "                        [--repeats K] [--retakes N] [--harmonics K] [--dir DIR] [--json]\n"
     "                        [--room] [--room-seconds S] [--bands octave|third]\n"
     "                        [--gate MS] [--smooth N]\n"
     "                        [--overlap [--ir-seconds S]] [--reference N]\n"
     "                        [--cal N=FILE | --cal FILE]...\n"},
    {"room", "  tandemwav-measure room IR.wav [--bands octave|third] [--dir DIR] [--json]\n"},
    {"interface",
     "  tandemwav-measure interface \"<driver>\" --outputs A[-B] --inputs C[-D] [--buffer N]\n"
     "                        [--rate R] [--dir DIR] [--json] [--quick]\n"},
    {"report", "  tandemwav-measure report DIR\n"},
};

} // namespace

std::string usageText(const std::string& command) {
    std::string text = "Usage:\n";
    for (const CommandUsage& usage : kUsages)
        if (command.empty() || command == usage.command)
            text += usage.lines;
    return text;
}

int printUsage(const std::string& problem, const std::string& usage, bool json) {
    const int code = problem.empty() ? kDone : kUsage;
    if (json)
        std::printf("%s\n", commandline::usageJson(code, problem, usage).c_str());
    else if (!problem.empty())
        std::printf("Error: %s.\n%s", problem.c_str(), usage.c_str());
    else
        std::printf("%s", usage.c_str());
    return code;
}

namespace {

double numberOf(const std::string& option, const std::string& text) {
    const std::optional<double> value = commandline::realNumber(text);
    if (!value)
        throw UsageError{option + " needs a number, not \"" + text + "\""};
    return *value;
}

int wholeOf(const std::string& option, const std::string& text) {
    const double value = numberOf(option, text);
    if (value != std::floor(value) || std::fabs(value) > 1e9)
        throw UsageError{option + " needs a whole number, not \"" + text + "\""};
    return static_cast<int>(value);
}

// "3" or "3-6": channels from 1, the first not above the last.
Take channelRange(int* first, int* last) {
    return [=](const std::string& option, const std::string& text) {
        const size_t dash = text.find('-', 1);
        *first = wholeOf(option, text.substr(0, dash));
        *last = dash == std::string::npos ? *first : wholeOf(option, text.substr(dash + 1));
        if (*first < 1 || *last < *first)
            throw UsageError{option + " takes channels from 1, as A or A-B with A <= B, not \"" +
                             text + "\""};
    };
}

// The driver's name as a folder name, letters and digits kept and the rest
// '-', with the suffix.
std::string defaultFolder(const std::string& driver, const std::string& suffix) {
    std::string folder;
    for (unsigned char c : driver)
        folder += std::isalnum(c) ? static_cast<char>(c) : '-';
    return folder + suffix;
}

} // namespace

Take number(double* target) {
    return [target](const std::string& option, const std::string& value) {
        *target = numberOf(option, value);
    };
}

Take whole(int* target) {
    return [target](const std::string& option, const std::string& value) {
        *target = wholeOf(option, value);
    };
}

Take whole(int* target, int low, int high, const std::string& told) {
    const std::string range =
        told.empty() ? std::to_string(low) + " to " + std::to_string(high) : told;
    return [=](const std::string& option, const std::string& value) {
        *target = wholeOf(option, value);
        if (*target < low || *target > high)
            throw UsageError{option + " takes " + range};
    };
}

Take channelNumber(int* target) {
    return [target](const std::string& option, const std::string& text) {
        *target = wholeOf(option, text);
        if (*target < 1)
            throw UsageError{option + " takes a channel from 1, not \"" + text + "\""};
    };
}

Take bandWidth(room::BandWidth* target) {
    return commandline::choice<room::BandWidth>(
        {{"octave", room::BandWidth::octave}, {"third", room::BandWidth::third}}, target);
}

Take gateMs(double* target) {
    return [target](const std::string& option, const std::string& value) {
        const double ms = numberOf(option, value);
        if (!(ms >= kShortestGateMs && ms <= kLongestGateMs))
            throw UsageError{option + " takes 1 to 500 ms, not \"" + value + "\""};
        *target = ms;
    };
}

Take smoothingFraction(int* target) {
    return commandline::choice<int>(
        {{"1", 1}, {"2", 2}, {"3", 3}, {"6", 6}, {"12", 12}, {"24", 24}, {"48", 48}}, target);
}

Arguments readArguments(const OptionParser& options, const std::vector<std::string>& args,
                        size_t positionals, const std::string& problem) {
    const Arguments arguments = options.split(args);
    if (arguments.positional.size() != positionals)
        throw UsageError{problem};
    options.take(arguments);
    return arguments;
}

void needs(const Arguments& given, const std::string& option, const std::string& other) {
    if (given.given(option) && !given.given(other))
        throw UsageError{option + " needs " + other};
}

OptionParser deviceOptions(DeviceOptions& o) {
    DeviceRequest& d = o.device;
    OptionParser options;
    options.valued("--outputs", channelRange(&d.firstOutput, &d.lastOutput))
        .valued("--inputs", channelRange(&d.firstInput, &d.lastInput))
        .valued("--buffer", whole(&d.bufferFrames))
        .valued("--rate", whole(&o.rate, 1, 1000000000, "a rate in Hz"))
        .valued("--dir", commandline::text(&o.dir))
        .flag("--json", &o.json);
    return options;
}

void completeDeviceOptions(DeviceOptions& o, const Arguments& given, const std::string& command,
                           const std::string& folderSuffix) {
    o.device.driverName = given.positional[0];
    o.device.rate = o.rate;
    if (!given.given("--outputs") || !given.given("--inputs"))
        throw UsageError{command + " needs --outputs and --inputs"};
    if (o.dir.empty())
        o.dir = defaultFolder(o.device.driverName, folderSuffix);
}

std::string withoutWav(const std::string& path) {
    const std::string suffix = ".wav";
    if (path.size() > suffix.size() && path.compare(path.size() - suffix.size(), 4, suffix) == 0)
        return path.substr(0, path.size() - suffix.size());
    return path;
}

// With the separator the folder already uses, so that a printed path never
// mixes two; the system's own for a folder written without one.
std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/' || folder.back() == '\\')
        return folder + name;
    const size_t last = folder.find_last_of("/\\");
    return folder + (last == std::string::npos ? preferredSeparator() : folder[last]) + name;
}

} // namespace measure
