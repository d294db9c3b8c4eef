#include "probe/probe_run.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/interrupts.h"
#include "probe/device_facts.h"
#include "probe/driver_session.h"
#include "probe/json_report.h"
#include "probe/safe_text.h"
#include "probe/text_report.h"
#include "probe/verdict.h"

#ifndef TANDEM_VERSION
#error "the build gives the project's version"
#endif

namespace {

enum : int {
    kProbeDone = 0,
    kProbeUsage = 1,
    kProbeDriverNotLoaded = 4,
    kProbeDriverInit = 5,
    kProbeInterrupted = 130,
};

struct ProbeOptions {
    bool json = false;
    bool help = false;
    bool version = false;
    const char* driverName = nullptr;
    std::string problem; // set when the arguments are not understood
};

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
        else if (isOption)
            options.problem = "unknown option " + printableText(argument);
        else if (options.driverName != nullptr)
            options.problem = "more than one driver name: " + printableText(argument);
        else
            options.driverName = argument;
    }
    return options;
}

void printUsage() {
    std::printf("Usage: tandemwav-probe [--json]           list the installed ASIO drivers\n"
                "       tandemwav-probe [--json] <name>    describe one driver and how tandemwav\n"
                "                                          can record with it\n"
                "       tandemwav-probe --help | --version\n\n"
                "<name> is the driver's name exactly as tandemwav takes it (quote it if it has\n"
                "spaces; a name after -- may begin with a dash). --json prints the same facts\n"
                "as one JSON document. The probe never starts a driver and never changes its\n"
                "sample rate or clock source.\n\n"
                "Exit codes: 0 reported; 1 usage; 4 driver not found or not creatable;\n"
                "5 driver refused to initialise; 130 interrupted.\n");
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

int finish(int code) {
    std::fflush(stdout);
    return code;
}

} // namespace

int runProbe(int argc, char** argv) {
    // Ctrl+C only raises a flag: the probe stops between driver calls and
    // still hands the driver back.
    watchInterrupts();
    const ProbeOptions options = parseOptions(argc, argv);
    if (!options.problem.empty()) {
        std::printf("tandemwav-probe: %s\n\n", options.problem.c_str());
        printUsage();
        return finish(kProbeUsage);
    }
    if (options.help) {
        printUsage();
        return finish(kProbeDone);
    }
    if (options.version) {
        std::printf("tandemwav-probe %s\n", TANDEM_VERSION);
        return finish(kProbeDone);
    }
    if (options.driverName == nullptr)
        return finish(listDrivers(options.json));
    return finish(describeDriver(options.driverName, options.json));
}
