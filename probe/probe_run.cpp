#include "probe/probe_run.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/console.h"
#include "platform/interrupts.h"
#include "probe/device_facts.h"
#include "probe/driver_session.h"
#include "probe/json_report.h"
#include "probe/json_writer.h"
#include "probe/latency_report.h"
#include "probe/latency_run.h"
#include "probe/latency_signal.h"
#include "probe/name_hint.h"
#include "probe/safe_text.h"
#include "probe/text_report.h"
#include "probe/verdict.h"

#ifndef TANDEM_VERSION
#error "the build gives the project's version"
#endif

namespace {

// On a line of its own, when a driver matches the name but for case.
void printNameHint(const std::string& requested) {
    const std::string hint = driverNameHint(requested);
    if (!hint.empty())
        std::printf("%s\n", printableText(hint).c_str());
}

struct ProbeOptions {
    bool json = false;
    bool help = false;
    bool version = false;
    const char* driverName = nullptr;
    bool latency = false;
    bool latencyDetails = false; // an option of the measurement given
    LatencyRequest request;
    std::string problem; // set when the arguments are not understood
};

bool parseInteger(const char* text, int32_t low, int32_t high, int32_t* value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < low || parsed > high)
        return false;
    *value = static_cast<int32_t>(parsed);
    return true;
}

bool parseReal(const char* text, double low, double high, double* value) {
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(parsed >= low && parsed <= high))
        return false;
    *value = parsed;
    return true;
}

// "OUT:IN", channel numbers from 1.
bool parseChannelPair(const char* text, LatencyRequest* request) {
    const char* colon = std::strchr(text, ':');
    if (colon == nullptr)
        return false;
    const std::string output(text, colon);
    return parseInteger(output.c_str(), 1, 1 << 20, &request->output) &&
           parseInteger(colon + 1, 1, 1 << 20, &request->input);
}

// An option that takes the next argument; false when it is not one of them.
bool takeValuedOption(const char* option, const char* value, ProbeOptions& options) {
    LatencyRequest& request = options.request;
    bool valid = true;
    if (std::strcmp(option, "--latency") == 0) {
        options.latency = true;
        valid = parseChannelPair(value, &request);
    } else if (std::strcmp(option, "--buffer") == 0) {
        valid = parseInteger(value, 1, 1 << 24, &request.bufferFrames);
    } else if (std::strcmp(option, "--rate") == 0) {
        int32_t rate = 0;
        valid = parseInteger(value, 1000, 1000000, &rate);
        request.sampleRate = rate;
    } else if (std::strcmp(option, "--runs") == 0) {
        valid = parseInteger(value, 1, 100, &request.runs);
    } else if (std::strcmp(option, "--level") == 0) {
        valid = parseReal(value, -120.0, 0.0, &request.levelDb);
    } else if (std::strcmp(option, "--max-latency") == 0) {
        valid = parseReal(value, 0.001, kLongestWindowSeconds, &request.maxLatencySeconds);
    } else if (std::strcmp(option, "--wait") == 0) {
        valid = parseReal(value, 0.0, 3600.0, &request.waitSeconds);
    } else {
        return false;
    }
    options.latencyDetails = options.latencyDetails || std::strcmp(option, "--latency") != 0;
    if (!valid)
        options.problem = "invalid value for " + std::string(option) + ": " + printableText(value);
    if (!valid && std::strcmp(option, "--rate") == 0)
        options.problem += " (a whole number of Hz from 1000 to 1000000)";
    return true;
}

bool takesValue(const char* option) {
    for (const char* name :
         {"--latency", "--buffer", "--rate", "--runs", "--level", "--max-latency", "--wait"})
        if (std::strcmp(option, name) == 0)
            return true;
    return false;
}

void checkCombination(ProbeOptions& options) {
    if (!options.problem.empty())
        return;
    if (options.latencyDetails && !options.latency)
        options.problem =
            "--buffer, --rate, --runs, --level, --max-latency and --wait go with --latency";
    else if (options.latency && options.driverName == nullptr)
        options.problem = "--latency needs a driver name";
}

ProbeOptions parseOptions(int argc, char** argv) {
    ProbeOptions options;
    bool optionsEnded = false;
    for (int k = 1; k < argc && options.problem.empty(); ++k) {
        const char* argument = argv[k];
        const bool isOption = !optionsEnded && argument[0] == '-' && argument[1] != '\0';
        if (isOption && std::strcmp(argument, "--") == 0)
            optionsEnded = true;
        else if (isOption && std::strcmp(argument, "--json") == 0)
            options.json = true;
        else if (isOption &&
                 (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0))
            options.help = true;
        else if (isOption && std::strcmp(argument, "--version") == 0)
            options.version = true;
        else if (isOption && takesValue(argument) && k + 1 == argc)
            options.problem = std::string(argument) + " needs a value";
        else if (isOption && takesValue(argument))
            takeValuedOption(argument, argv[++k], options);
        else if (isOption)
            options.problem = "unknown option " + printableText(argument);
        else if (options.driverName != nullptr)
            options.problem = "more than one driver name: " + printableText(argument);
        else
            options.driverName = argument;
    }
    checkCombination(options);
    options.request.driverName = options.driverName;
    return options;
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
// document too, so that a script reads every answer the same way.
bool jsonAsked(int argc, char** argv) {
    for (int k = 1; k < argc && std::strcmp(argv[k], "--") != 0; ++k)
        if (std::strcmp(argv[k], "--json") == 0)
            return true;
    return false;
}

int reportUsage(const std::string& problem, bool json) {
    if (json) {
        Json document = Json::object();
        if (!problem.empty())
            document = {{"exitCode", kProbeUsage}, {"error", problem}};
        document["usage"] = kUsageText;
        std::printf("%s\n", jsonText(document).c_str());
    } else {
        if (!problem.empty())
            std::printf("tandemwav-probe: %s\n\n", problem.c_str());
        std::printf("%s", kUsageText);
    }
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

int reportFailure(const DeviceFacts& facts, bool json, int code) {
    const char* error = code == kProbeDriverNotLoaded ? "Failed to load ASIO driver"
                        : code == kProbeDriverInit    ? "Failed to initialize ASIO driver"
                                                      : "Interrupted";
    if (json) {
        std::printf("%s\n", failureJson(facts, code, error).c_str());
    } else if (code == kProbeDriverNotLoaded) {
        std::printf("Error: Failed to load ASIO driver %s!\n",
                    printableText(facts.requestedName).c_str());
        printNameHint(facts.requestedName);
        std::printf("Run tandemwav-probe without arguments to see the installed drivers.\n");
    } else if (code == kProbeDriverInit) {
        std::printf("Error: Failed to initialize ASIO driver!\n");
        std::printf("Driver message: %s\n", printableText(facts.errorMessage).c_str());
    } else {
        std::printf("Interrupted; the driver was released.\n");
    }
    return code;
}

int describeDriver(const char* name, bool json) {
    DeviceFacts facts;
    facts.requestedName = name;
    DriverSession session;
    const SessionState state = session.open(name);
    if (state == SessionState::NotLoaded)
        return reportFailure(facts, json, kProbeDriverNotLoaded);
    const ASIODriverInfo& info = session.info();
    if (state == SessionState::InitRefused) {
        facts.errorMessage = fieldText(info.errorMessage, sizeof info.errorMessage);
        return reportFailure(facts, json, kProbeDriverInit);
    }
    facts.name = fieldText(info.name, sizeof info.name);
    facts.version = info.driverVersion;
    const bool complete = !interruptRequested() && gatherDeviceFacts(session, facts);
    session.close();
    if (!complete)
        return reportFailure(facts, json, kProbeInterrupted);
    const Verdict verdict = judgeDevice(facts);
    if (json)
        std::printf("%s\n", deviceJson(facts, verdict).c_str());
    else
        printDeviceText(facts, verdict);
    return kProbeDone;
}

// The failure in text: tandemwav's form of the message where it has one,
// and what to do about it.
void printLatencyFailure(const LatencyRequest& request, const LatencyOutcome& outcome) {
    const int code = outcome.exitCode;
    if (code == kProbeInterrupted) {
        std::printf("Interrupted; the driver was released.\n");
        return;
    }
    if (code == kProbeDriverNotLoaded) {
        std::printf("Error: Failed to load ASIO driver %s!\n",
                    printableText(request.driverName).c_str());
        printNameHint(request.driverName);
        std::printf("Run tandemwav-probe without arguments to see the installed drivers.\n");
        return;
    }
    std::printf("Error: %s!\n", outcome.error.c_str());
    if (code == kProbeDriverInit)
        std::printf("Driver message: %s\n", printableText(outcome.driverMessage).c_str());
    if (code == kProbeNoSignal && !outcome.windowTooShort)
        std::printf("Check the cable or loop from output %d to input %d, the channel numbers, and "
                    "that the input is not muted.\n",
                    request.output, request.input);
    if (code == kProbeNoSignal && outcome.windowFrames != 0)
        std::printf("Round trips up to %.3f s were looked for; a longer loop needs --max-latency "
                    "SECONDS.\n",
                    static_cast<double>(outcome.windowFrames) / outcome.sampleRate);
}

int measureRoundTrip(const LatencyRequest& request, bool json) {
    const LatencyOutcome outcome = measureLatency(request);
    if (outcome.exitCode == kProbeDone) {
        if (json)
            std::printf("%s\n", latencyJson(request, outcome).c_str());
        else
            printLatencyText(request, outcome);
    } else if (json) {
        DeviceFacts facts;
        facts.requestedName = request.driverName;
        facts.errorMessage = outcome.driverMessage;
        std::printf("%s\n", failureJson(facts, outcome.exitCode, outcome.error).c_str());
    } else {
        printLatencyFailure(request, outcome);
    }
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
    const ProbeOptions options = parseOptions(argc, argv);
    const bool json = jsonAsked(argc, argv);
    if (!options.problem.empty())
        return finish(reportUsage(options.problem, json));
    if (options.help)
        return finish(reportUsage("", json));
    if (options.version)
        return finish(reportVersion(json));
    if (options.driverName == nullptr)
        return finish(listDrivers(options.json));
    endOnSecondInterrupt(options.driverName, options.json);
    if (options.latency)
        return finish(measureRoundTrip(options.request, options.json));
    return finish(describeDriver(options.driverName, options.json));
}
