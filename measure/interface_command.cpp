// The interface command: the figures of an audio interface's data sheet from
// one command, through tandemwav's streaming path.
#include <cstdio>

#include "measure/command_line.h"
#include "measure/commands.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "measure/interface_json.h"
#include "measure/interface_measurement.h"
#include "measure/measure_files.h"
#include "measure/report_files.h"
#include "platform/file_system.h"

namespace measure {

namespace {

struct InterfaceOptions {
    InterfaceRequest request;
    DeviceOptions device;
};

InterfaceOptions interfaceOptions(const std::vector<std::string>& args) {
    InterfaceOptions o;
    OptionParser options = deviceOptions(o.device);
    options.flag("--quick", &o.request.quick);
    const Arguments a = readArguments(options, args, 1, "interface takes one driver name");
    completeDeviceOptions(o.device, a, "interface", "-interface");
    const DeviceRequest& d = o.request.device = o.device.device;
    // A cable joins one output to one input: the pairs are made in order.
    if (d.lastOutput - d.firstOutput != d.lastInput - d.firstInput)
        throw UsageError{"interface pairs outputs with inputs in order, so it needs as many "
                         "of each"};
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
    const InterfaceOptions options = interfaceOptions(args);
    const std::string& dir = options.device.dir;
    interfaceMessages = options.device.messages();
    InterfaceResults results;
    const int code = driveDevice(
        [&] { measureInterface(options.request, showProgress, showRetake, results); },
        [&] { writeInterface(results, dir); }, options.device.json,
        [&](int, const std::string& message) {
            results.complete = false;
            results.error = message;
            return replaceWithFailure(dir, interfaceResultsJson(results, TANDEM_VERSION));
        });
    if (code != kDone)
        return code;
    printSummary(interfaceMessages, results, dir);
    if (options.device.json)
        std::fputs(interfaceResultsJson(results, TANDEM_VERSION).c_str(), stdout);
    return kDone;
}

} // namespace measure
