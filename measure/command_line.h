// The command line of tandemwav-measure: the usage text, how a command's
// options take their values, and the options every command that drives a
// device shares.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "commandline/option_parser.h"
#include "measure/device_capture.h"
#include "room/band_filters.h"

namespace measure {

using commandline::Arguments;
using commandline::OptionParser;
using commandline::Take;
using commandline::UsageError;

// "Usage:" and the lines of the command named, or of every command.
std::string usageText(const std::string& command = "");

// The usage after "Error: <problem>." (exit code 1), or alone for help (0);
// one JSON document instead with --json.
int printUsage(const std::string& problem, const std::string& usage, bool json);

// Options that take a number: "--x needs a number, not "y"".
Take number(double* target);
// A whole number; with limits, one outside them refused as "--x takes
// <told>", told being "low to high" unless given.
Take whole(int* target);
Take whole(int* target, int low, int high, const std::string& told = "");
// One channel, from 1.
Take channelNumber(int* target);
// --bands: octave or third.
Take bandWidth(room::BandWidth* target);
// --gate: ms after the peak, kShortestGateMs to kLongestGateMs.
Take gateMs(double* target);
// --smooth: N of 1/N octave, one of 1, 2, 3, 6, 12, 24 and 48.
Take smoothingFraction(int* target);

// The options read: unknown options and a count of positional arguments
// other than `positionals` refused, the latter as `problem`; then every value
// taken.
Arguments readArguments(const OptionParser& options, const std::vector<std::string>& args,
                        size_t positionals, const std::string& problem);

// "--x needs --y" where the first is given without the second.
void needs(const Arguments& given, const std::string& option, const std::string& other);

// What every command that drives a device is told: the driver and its
// channels, buffer and rate, where the results go, and --json.
struct DeviceOptions {
    DeviceRequest device;
    int rate = 0; // 0: the driver's current rate
    std::string dir;
    bool json = false;
    // With --json, standard output holds results.json alone.
    std::FILE* messages() const { return json ? stderr : stdout; }
};

// --outputs, --inputs, --buffer, --rate, --dir and --json, declared.
OptionParser deviceOptions(DeviceOptions& options);
// The driver's name from the one positional argument, both channel ranges
// required, and the folder named after the driver unless one was given.
void completeDeviceOptions(DeviceOptions& options, const Arguments& given,
                           const std::string& command, const std::string& folderSuffix);

std::string withoutWav(const std::string& path);
std::string joinPath(const std::string& folder, const std::string& name);

} // namespace measure
