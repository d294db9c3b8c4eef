#include "measure/report_files.h"

#include <fstream>
#include <sstream>

#include "measure/command_line.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "measure/measure_files.h"
#include "platform/file_system.h"
#include "report/report_page.h"

namespace measure {

namespace {

// The folder a path's last component lies in; empty for a name alone or a root.
std::string parentOf(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    const size_t last = path.find_last_of("/\\");
    if (last == std::string::npos || last == 0 || (last == 2 && path[1] == ':'))
        return "";
    return path.substr(0, last);
}

} // namespace

void makeResultsFolder(const std::string& dir) {
    if (makeFolder(dir.c_str()))
        return;
    const std::string parent = parentOf(dir);
    std::string reason;
    if (!parent.empty() && isRegularFile(parent.c_str()))
        reason = ": " + parent + " is a file, not a folder";
    else if (!parent.empty() && !isFolder(parent.c_str()))
        reason =
            ": the folder " + parent + " does not exist; make it first, or choose another --dir";
    throw Failure(kCannotWrite, "Error: Unable to make the folder " + dir + reason + "!");
}

void writeReportPage(const std::string& dir, const std::string& resultsJson) {
    // A response that cannot be read leaves its curve out, not the page.
    const auto load = [&dir](const std::string& name, report::ImpulseResponse* response) {
        if (name.empty() || name.find_first_of("/\\") != std::string::npos)
            return false;
        try {
            const Recording r = readRecording(joinPath(dir, name));
            response->rate = r.info.rate;
            response->samples.clear();
            const size_t channels = static_cast<size_t>(r.info.channels);
            for (size_t t = 0; channels > 0 && t < r.samples.size(); t += channels)
                response->samples.push_back(r.samples[t]);
            return true;
        } catch (const Failure&) {
            return false;
        }
    };
    std::string html, error;
    if (!report::renderReport(resultsJson, load, &html, &error))
        throw Failure(kNoResults, "Error: " + joinPath(dir, "results.json") +
                                      " holds no measurement results (" + error + ")!");
    writeTextFile(joinPath(dir, "report.html"), html);
}

void redrawReport(const std::string& dir) {
    const std::string path = joinPath(dir, "results.json");
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in.is_open())
        text << in.rdbuf();
    if (!in.is_open() || in.bad())
        throw Failure(kNoResults, "Error: Unable to read " + path + "!");
    writeReportPage(dir, text.str());
}

std::string replaceWithFailure(const std::string& dir, const std::string& failureJson) {
    const std::string results = joinPath(dir, "results.json");
    const std::string page = joinPath(dir, "report.html");
    if (isRegularFile(results.c_str())) {
        try {
            writeTextFile(results, failureJson);
        } catch (const Failure&) {
            removeFile(results);
        }
    }
    if (isRegularFile(page.c_str())) {
        try {
            writeReportPage(dir, failureJson);
        } catch (const Failure&) {
            removeFile(page);
        }
    }
    return failureJson;
}

} // namespace measure
