#include "measure/command_line.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "measure/exit_codes.h"
#include "platform/file_system.h"

namespace measure {

const char kUsageText[] =
    "Usage:\n"
    "  tandemwav-measure sweep FILE.wav [--rate R] [--from F1] [--to F2] [--seconds T]\n"
    "                          [--level dB] [--channels N] [--on C] [--tail S]\n"
    "  tandemwav-measure analyze FILE.wav RECORDING.wav [--dir DIR] [--harmonics K] [--json]\n"
    "                            [--room] [--bands octave|third] [--reference N]\n"
    "                            [--cal N=FILE | --cal FILE]...\n"
    "  tandemwav-measure run \"<driver>\" --outputs A[-B] --inputs C[-D] [--buffer N] [--rate R]\n"
    "                        [--from F1] [--to F2] [--seconds T] [--level dB] [--tail S]\n"
    "                        [--repeats K] [--retakes N] [--harmonics K] [--dir DIR] [--json]\n"
    "                        [--room] [--room-seconds S] [--bands octave|third]\n"
    "                        [--reference N] [--cal N=FILE | --cal FILE]...\n"
    "  tandemwav-measure room IR.wav [--bands octave|third] [--dir DIR] [--json]\n"
    "  tandemwav-measure interface \"<driver>\" --outputs A[-B] --inputs C[-D] [--buffer N]\n"
    "                        [--rate R] [--dir DIR] [--json] [--quick]\n"
    "  tandemwav-measure report DIR\n";

double number(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        throw UsageError{option + " needs a number, not \"" + text + "\""};
    return value;
}

int whole(const std::string& option, const std::string& text) {
    const double value = number(option, text);
    if (value != std::floor(value) || std::fabs(value) > 1e9)
        throw UsageError{option + " needs a whole number, not \"" + text + "\""};
    return static_cast<int>(value);
}

room::BandWidth bandWidth(const std::string& option, const std::string& text) {
    if (text == "octave")
        return room::BandWidth::octave;
    if (text == "third")
        return room::BandWidth::third;
    throw UsageError{option + " takes octave or third, not \"" + text + "\""};
}

Arguments split(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                const std::vector<std::string>& flags) {
    Arguments out;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto is = [&](const std::vector<std::string>& names) {
            for (const std::string& n : names)
                if (a == n)
                    return true;
            return false;
        };
        if (is(flags)) {
            out.options.emplace_back(a, "");
        } else if (is(valued)) {
            if (i + 1 == args.size())
                throw UsageError{a + " needs a value"};
            out.options.emplace_back(a, args[++i]);
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            throw UsageError{"unknown option " + a};
        } else {
            out.positional.push_back(a);
        }
    }
    return out;
}

int usage(const std::string& problem) {
    std::printf("Error: %s.\n%s", problem.c_str(), kUsageText);
    return kUsage;
}

int channelNumber(const std::string& option, const std::string& text) {
    const int channel = whole(option, text);
    if (channel < 1)
        throw UsageError{option + " takes a channel from 1, not \"" + text + "\""};
    return channel;
}

void channelRange(const std::string& option, const std::string& text, int* first, int* last) {
    const size_t dash = text.find('-', 1);
    *first = whole(option, text.substr(0, dash));
    *last = dash == std::string::npos ? *first : whole(option, text.substr(dash + 1));
    if (*first < 1 || *last < *first)
        throw UsageError{option + " takes channels from 1, as A or A-B with A <= B, not \"" + text +
                         "\""};
}

std::string defaultFolder(const std::string& driver, const std::string& suffix) {
    std::string folder;
    for (unsigned char c : driver)
        folder += std::isalnum(c) ? static_cast<char>(c) : '-';
    return folder + suffix;
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
