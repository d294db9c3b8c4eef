#include "probe/probe_run.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "commandline/option_parser.h"

#include "driversession/device_facts.h"
#include "driversession/driver_session.h"
#include "driversession/json_writer.h"
#include "driversession/latency_signal.h"
#include "driversession/name_hint.h"
#include "driversession/safe_text.h"
#include "platform/console.h"
#include "platform/interrupts.h"
#include "probe/json_report.h"
#include "probe/latency_report.h"
#include "probe/latency_run.h"
#include "probe/text_report.h"
#include "probe/verdict.h"

#ifndef TANDEM_VERSION
#error "the build gives the project's version"
#endif

namespace {

// tandemwav's message, on a line of its own the driver meant when only the
// case was wrong, and what to do.
void printNotLoaded(const std::string& requested) {
    std::printf("Error: Failed to load ASIO driver %s!\n", printableText(requested).c_str());
    const std::string hint = driverNameHint(requested);
    if (!hint.empty())
        std::printf("%s\n", printableText(hint).c_str());
    std::printf("Run tandemwav-probe without arguments to see the installed drivers.\n");
}

using commandline::Take;
using commandline::UsageError;

struct ProbeOptions {
    bool json = false;
    bool help = false;
    bool version = false;
    std::optional<std::string> driverName;
    bool latency = false;
    LatencyRequest request;
};

[[noreturn]] void refuse(const std::string& option, const std::string& value,
                         const std::string& hint) {
    throw UsageError{"invalid value for " + option + ": " + value + hint};
}

Take integer(int32_t* target, int32_t low, int32_t high, const std::string& hint = "") {
    return [=](const std::string& option, const std::string& value) {
        const std::optional<long long> parsed = commandline::decimalNumber(value);
        if (!parsed || *parsed < low || *parsed > high)
            refuse(option, value, hint);
        *target = static_cast<int32_t>(*parsed);
    };
}

Take real(double* target, double low, double high) {
    return [=](const std::string& option, const std::string& value) {
        const std::optional<double> parsed = commandline::realNumber(value);
        if (!parsed || !(*parsed >= low && *parsed <= high))
            refuse(option, value, "");
        *target = *parsed;
    };
}

// "OUT:IN", channel numbers from 1.
Take channelPair(LatencyRequest* request) {
    return [=](const std::string& option, const std::string& value) {
        const size_t colon = value.find(':');
        const auto channel = [&](const std::string& text) {
            const std::optional<long long> parsed = commandline::decimalNumber(text);
            if (colon == std::string::npos || !parsed || *parsed < 1 || *parsed > (1 << 20))
                refuse(option, value, "");
            return static_cast<int32_t>(*parsed);
        };
        request->output = channel(value.substr(0, colon));
        request->input = channel(value.substr(colon + 1));
    };
}

ProbeOptions parseOptions(const std::vector<std::string>& args) {
    ProbeOptions o;
    LatencyRequest& r = o.request;
    int32_t rate = 0;
    commandline::OptionParser options({true, true});
    options.flag("--json", &o.json)
        .flag("--help", &o.help)
        .flag("-h", &o.help)
        .flag("--version", &o.version)
        .valued("--latency", channelPair(&r))
        .valued("--buffer", integer(&r.bufferFrames, 1, 1 << 24))
        .valued("--rate",
                integer(&rate, 1000, 1000000, " (a whole number of Hz from 1000 to 1000000)"))
        .valued("--runs", integer(&r.runs, 1, 100))
        .valued("--level", real(&r.levelDb, -120.0, 0.0))
        .valued("--max-latency", real(&r.maxLatencySeconds, 0.001, kLongestWindowSeconds))
        .valued("--wait", real(&r.waitSeconds, 0.0, 3600.0));
    const commandline::Arguments a = options.split(args);
    if (a.positional.size() > 1)
        throw UsageError{"more than one driver name: " + a.positional[1]};
    options.take(a);
    o.latency = a.given("--latency");
    r.sampleRate = rate;
    if (!a.positional.empty())
        o.driverName = a.positional[0];
    for (const char* detail :
         {"--buffer", "--rate", "--runs", "--level", "--max-latency", "--wait"})
        if (a.given(detail) && !o.latency)
            throw UsageError{
                "--buffer, --rate, --runs, --level, --max-latency and --wait go with --latency"};
    if (o.latency && a.positional.empty())
        throw UsageError{"--latency needs a driver name"};
    return o;
}

const char* const kUsageText =
    "Usage: tandemwav-probe [--json]           list the installed ASIO drivers\n"
    "       tandemwav-probe [--json] <name>    describe one driver and how tandemwav\n"
    "                                          can record with it\n"
    "       tandemwav-probe [--json] <name> --latency OUT:IN [--buffer N]\n"
    "                       [--rate R] [--runs K] [--level dB] [--max-latency S]\n"
    "                       [--wait S]\n"
    "                                          measure the round trip from output\n"
    "                                          OUT to input IN\n"
    "       tandemwav-probe --help | --version\n\n"
    "<name> is the driver's name exactly as tandemwav takes it (quote it if it has\n"
    "spaces; a name after -- may begin with a dash). --json prints the same facts\n"
    "as one JSON document. Described only, a driver is never started and its\n"
    "sample rate and clock source are left alone.\n\n"
    "--latency plays a test signal on output OUT through tandemwav's own streaming\n"
    "path, records input IN, and reports the round trip to the frame, every run,\n"
    "beside the latencies the driver reports. Defaults: the driver's preferred\n"
    "buffer, its current rate (--rate sets one), 3 runs, -20 dBFS (--level, at\n"
    "most 0). Round trips are looked for up to the driver's reported one plus a\n"
    "second, or up to S seconds (--max-latency, at most 60) if that is longer.\n"
    "--wait S plays the first run again while nothing comes back, for up to S\n"
    "seconds, so that the loop can be wired by hand meanwhile.\n"
    "WARNING: measure through a cable or a muted loop from OUT to IN,\n"
    "never into loudspeakers or headphones at unknown gain.\n\n"
    "Exit codes: 0 reported; 1 usage; 4 driver not found or not creatable;\n"
    "5 driver refused to initialise; with --latency also 6 channel not on the\n"
    "driver, 7 buffer length refused, 8 sample rate refused, 9 buffers not\n"
    "created, 10 native format not supported, 11 start refused, 12 not enough\n"
    "memory, 16 no signal came back; 130 interrupted.\n";

// With --json anywhere among the options, usage, help and version are a JSON
// document too, so that a script reads every answer the same way. The words
// of the command line are printed safe for the console.
int reportUsage(const std::string& problem, bool json) {
    const std::string shown = printableText(problem);
    if (json)
        std::printf("%s\n", commandline::usageJson(kProbeUsage, shown, kUsageText).c_str());
    else if (!problem.empty())
        std::printf("tandemwav-probe: %s\n\n%s", shown.c_str(), kUsageText);
    else
        std::printf("%s", kUsageText);
    return problem.empty() ? kProbeDone : kProbeUsage;
}

int reportVersion(bool json) {
    if (json)
        std::printf("%s\n", jsonText({{"version", TANDEM_VERSION}}).c_str());
    else
        std::printf("tandemwav-probe %s\n", TANDEM_VERSION);
    return kProbeDone;
}

int listDrivers(bool json) {
    const std::vector<CatalogueEntry> entries = surveyInstalledDrivers();
    if (json)
        std::printf("%s\n", catalogueJson(entries).c_str());
    else
        printCatalogueText(entries);
    return kProbeDone;
}

// The failure in text: tandemwav's form of the message where it has one,
// and what to do about it; else one JSON document.
int reportFailure(const DeviceFacts& facts, bool json, int code, const std::string& error) {
    if (json)
        std::printf("%s\n", failureJson(facts, code, error).c_str());
    else if (code == kProbeInterrupted)
        std::printf("Interrupted; the driver was released.\n");
    else if (code == kProbeDriverNotLoaded)
        printNotLoaded(facts.requestedName);
    else
        std::printf("Error: %s!\n", error.c_str());
    if (!json && code == kProbeDriverInit)
        std::printf("Driver message: %s\n", printableText(facts.errorMessage).c_str());
    return code;
}

int describeDriver(const char* name, bool json) {
    DeviceFacts facts;
    facts.requestedName = name;
    DriverSession session;
    const SessionState state = session.open(name);
    if (state == SessionState::NotLoaded)
        return reportFailure(facts, json, kProbeDriverNotLoaded, "Failed to load ASIO driver");
    const ASIODriverInfo& info = session.info();
    if (state == SessionState::InitRefused) {
        facts.errorMessage = fieldText(info.errorMessage, sizeof info.errorMessage);
        return reportFailure(facts, json, kProbeDriverInit, "Failed to initialize ASIO driver");
    }
    facts.name = fieldText(info.name, sizeof info.name);
    facts.version = info.driverVersion;
    const bool complete = !interruptRequested() && gatherDeviceFacts(session, facts);
    session.close();
    if (!complete)
        return reportFailure(facts, json, kProbeInterrupted, "Interrupted");
    const Verdict verdict = judgeDevice(facts);
    if (json)
        std::printf("%s\n", deviceJson(facts, verdict).c_str());
    else
        printDeviceText(facts, verdict);
    return kProbeDone;
}

// What to check when no signal came back.
void printNoSignalHints(const LatencyRequest& request, const LatencyOutcome& outcome) {
    if (!outcome.windowTooShort)
        std::printf("Check the cable or loop from output %d to input %d, the channel numbers, and "
                    "that the input is not muted.\n",
                    request.output, request.input);
    if (outcome.windowFrames != 0)
        std::printf("Round trips up to %.3f s were looked for; a longer loop needs --max-latency "
                    "SECONDS.\n",
                    static_cast<double>(outcome.windowFrames) / outcome.setup.rate);
}

int measureRoundTrip(const LatencyRequest& request, bool json) {
    const LatencyOutcome outcome = measureLatency(request);
    if (outcome.exitCode == kProbeDone && json)
        std::printf("%s\n", latencyJson(request, outcome).c_str());
    else if (outcome.exitCode == kProbeDone)
        printLatencyText(request, outcome);
    if (outcome.exitCode == kProbeDone)
        return kProbeDone;
    DeviceFacts facts;
    facts.requestedName = request.driverName;
    facts.errorMessage = outcome.setup.driverMessage;
    reportFailure(facts, json, outcome.exitCode, outcome.error);
    if (!json && outcome.exitCode == kProbeNoSignal)
        printNoSignalHints(request, outcome);
    return outcome.exitCode;
}

int finish(int code) {
    std::fflush(stdout);
    return code;
}

constexpr const char* kDriverDidNotReturn =
    "Interrupted again; the driver did not return and was not released.";

// Said in the form of the probe's other answers; kept for the whole run, since
// the line may be printed from the interrupt's own thread at any time.
void endOnSecondInterrupt(const char* driverName, bool json) {
    static std::string line;
    if (json) {
        DeviceFacts facts;
        facts.requestedName = driverName;
        std::string error(kDriverDidNotReturn);
        error.pop_back();
        line = failureJson(facts, kProbeInterrupted, error) + "\n";
    } else {
        line = std::string(kDriverDidNotReturn) + "\n";
    }
    DriverSession::endOnSecondInterrupt(line.c_str(), stdout);
}

} // namespace

int runProbe(int argc, char** argv) {
    // Ctrl+C only raises a flag: the probe stops between driver calls and
    // still hands the driver back.
    watchInterrupts();
    // The command line it prints holds names in their own bytes.
    useUtf8Console();
    const std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    const bool json = commandline::jsonAsked(args);
    ProbeOptions options;
    try {
        options = parseOptions(args);
    } catch (const UsageError& e) {
        return finish(reportUsage(e.problem, json));
    }
    if (options.help)
        return finish(reportUsage("", json));
    if (options.version)
        return finish(reportVersion(json));
    if (!options.driverName)
        return finish(listDrivers(options.json));
    const char* name = options.driverName->c_str();
    options.request.driverName = name;
    endOnSecondInterrupt(name, options.json);
    if (options.latency)
        return finish(measureRoundTrip(options.request, options.json));
    return finish(describeDriver(name, options.json));
}
