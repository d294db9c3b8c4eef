// The interface command: the figures of an audio interface's data sheet from
// one command, through tandemwav's streaming path.
#include <cmath>
#include <cstdio>
#include <new>

#include "measure/command_line.h"
#include "measure/commands.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "measure/interface_json.h"
#include "measure/interface_measurement.h"
#include "measure/report_files.h"
#include "measure/wav_file.h"
#include "platform/file_system.h"
#include "platform/interrupts.h"
#include "probe/driver_session.h"

#ifndef TANDEM_VERSION
#define TANDEM_VERSION "unknown"
#endif

namespace measure {

namespace {

struct InterfaceOptions {
    InterfaceRequest request;
    std::string dir;
    bool json = false;
};

InterfaceOptions interfaceOptions(const std::vector<std::string>& args) {
    const Arguments a = split(args, {"--outputs", "--inputs", "--buffer", "--rate", "--dir"},
                              {"--json", "--quick"});
    if (a.positional.size() != 1)
        throw UsageError{"interface takes one driver name"};
    InterfaceOptions o;
    DeviceRequest& d = o.request.device;
    d.driverName = a.positional[0];
    bool outputs = false, inputs = false;
    for (const auto& [name, value] : a.options) {
        if (name == "--outputs") {
            outputs = true;
            channelRange(name, value, &d.firstOutput, &d.lastOutput);
        } else if (name == "--inputs") {
            inputs = true;
            channelRange(name, value, &d.firstInput, &d.lastInput);
        } else if (name == "--buffer") {
            d.bufferFrames = whole(name, value);
        } else if (name == "--rate") {
            d.rate = whole(name, value);
            if (d.rate < 1)
                throw UsageError{"--rate takes a rate in Hz"};
        } else if (name == "--dir") {
            o.dir = value;
        } else if (name == "--json") {
            o.json = true;
        } else {
            o.request.quick = true;
        }
    }
    if (!outputs || !inputs)
        throw UsageError{"interface needs --outputs and --inputs"};
    // A cable joins one output to one input: the pairs are made in order.
    if (d.lastOutput - d.firstOutput != d.lastInput - d.firstInput)
        throw UsageError{"interface pairs outputs with inputs in order, so it needs as many "
                         "of each"};
    if (o.dir.empty())
        o.dir = defaultFolder(d.driverName, "-interface");
    return o;
}

void showProgress(int output, const char* what, int take, int takes) {
    std::fprintf(stderr, "Output %d, %s (take %d of %d)\n", output, what, take, takes);
}

std::FILE* interfaceMessages = stdout;

void showRetake(int output, int repeat, uint32_t lost, int attempt, int attempts) {
    std::fprintf(interfaceMessages,
                 "Output %d, %s take: %u block(s) lost or repeated; taking it again (attempt %d "
                 "of %d)\n",
                 output, repeat == 1 ? "sweep" : "tone", lost, attempt, attempts);
    std::fflush(interfaceMessages);
}

std::string shownFigure(const Figure& f) {
    char text[64];
    if (!f.measured)
        return "-- (" + f.mark + ")";
    const char* format = "%.2f %s";
    if (f.unit == "%")
        format = "%.4g %s";
    else if (f.unit == "Hz" || f.unit == "frames")
        format = "%.0f %s";
    std::snprintf(text, sizeof text, format, f.value, f.unit.c_str());
    return text;
}

void printSummary(std::FILE* out, const InterfaceResults& r, const std::string& dir) {
    std::fprintf(out, "%s (%s, version %d): buffer %d frames, %.0f Hz%s\n", r.device.c_str(),
                 r.setup.driverName.c_str(), r.setup.driverVersion, r.setup.bufferFrames,
                 r.setup.rate, r.quick ? ", quick" : "");
    if (r.retakes > 0)
        std::fprintf(out, "Retaken: %d take(s) that lost blocks\n", r.retakes);
    for (const InterfacePair& p : r.pairs) {
        std::fprintf(out, "Output %d -> input %d:\n", p.output, p.input);
        for (const Figure& f : p.figures)
            std::fprintf(out, "  %-48s %s\n", f.label.c_str(), shownFigure(f).c_str());
        std::fprintf(out, "  %-48s %s\n", "Latency verdict", p.latencyVerdict.c_str());
    }
    std::fprintf(out, "Takes: %.1f s\nResults: %s/results.json\nReport: %s/report.html\n",
                 r.takeSeconds, dir.c_str(), dir.c_str());
}

// The page first, results.json last and in one step: a results.json that
// says complete has its page.
void writeInterface(InterfaceResults& results, const std::string& dir) {
    if (!makeFolder(dir.c_str()))
        throw Failure(kCannotWrite, "Error: Unable to make the folder " + dir + "!");
    results.complete = true;
    const std::string json = interfaceResultsJson(results, TANDEM_VERSION);
    writeReportPage(dir, json);
    writeTextFile(joinPath(dir, "results.json"), json);
}

} // namespace

int interfaceCommand(const std::vector<std::string>& args) {
    InterfaceOptions options;
    try {
        options = interfaceOptions(args);
    } catch (const UsageError& e) {
        return usage(e.problem);
    }
    watchInterrupts();
    // With --json, standard output holds results.json alone.
    std::FILE* messages = options.json ? stderr : stdout;
    interfaceMessages = messages;
    DriverSession::endOnSecondInterrupt(
        "Interrupted again; the driver did not return and was not released.\n", messages);
    InterfaceResults results;
    int code = kDone;
    std::string message;
    try {
        measureInterface(options.request, showProgress, showRetake, results);
        if (interruptRequested())
            throw Failure(kInterrupted, "Interrupted; the driver was released.");
        writeInterface(results, options.dir);
    } catch (const Failure& f) {
        code = f.code();
        message = f.what();
    } catch (const std::bad_alloc&) {
        code = kNoMemory;
        message = "Error: Not enough memory for the recordings and their analysis!";
    }
    if (code != kDone) {
        std::fprintf(messages, "%s\n", message.c_str());
        results.complete = false;
        results.error = message;
        const std::string json = interfaceResultsJson(results, TANDEM_VERSION);
        replaceWithFailure(options.dir, json);
        if (options.json)
            std::fputs(json.c_str(), stdout);
        return code;
    }
    printSummary(messages, results, options.dir);
    if (options.json)
        std::fputs(interfaceResultsJson(results, TANDEM_VERSION).c_str(), stdout);
    return kDone;
}

} // namespace measure
