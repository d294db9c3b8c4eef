// The command line of tandemwav-measure: options and their values, shared by
// every command, and the usage text.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "room/band_filters.h"

namespace measure {

extern const char kUsageText[];

// A command line that cannot be followed: exit code 1, the problem and the
// usage text.
struct UsageError {
    std::string problem;
};

double number(const std::string& option, const std::string& text);
int whole(const std::string& option, const std::string& text);
// --bands: "octave" or "third".
room::BandWidth bandWidth(const std::string& option, const std::string& text);

// Positional arguments apart from --name value options; flags take no value.
struct Arguments {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
};

Arguments split(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                const std::vector<std::string>& flags);

// Prints "Error: <problem>." and the usage text; the usage exit code.
int usage(const std::string& problem);

// One channel, from 1.
int channelNumber(const std::string& option, const std::string& text);

// "3" or "3-6": channels from 1, the first not above the last.
void channelRange(const std::string& option, const std::string& text, int* first, int* last);

// The driver's name as a folder name, letters and digits kept and the rest
// '-', with the suffix.
std::string defaultFolder(const std::string& driver, const std::string& suffix);

std::string withoutWav(const std::string& path);
std::string joinPath(const std::string& folder, const std::string& name);

} // namespace measure
