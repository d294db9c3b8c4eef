// The room command: the figures of room acoustics from an impulse response
// any tool wrote, per channel of its file, into a results folder with a page.
#include <cstdio>

#include "measure/command_line.h"
#include "measure/commands.h"
#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "measure/measure_files.h"
#include "measure/report_files.h"
#include "measure/room_json.h"
#include "platform/file_system.h"

namespace measure {

namespace {

struct RoomRequest {
    std::string response, dir;
    room::BandWidth bands = room::BandWidth::octave;
    bool json = false;
};

RoomRequest roomRequest(const std::vector<std::string>& args) {
    RoomRequest r;
    OptionParser options;
    options.valued("--bands", bandWidth(&r.bands))
        .valued("--dir", commandline::text(&r.dir))
        .flag("--json", &r.json);
    const Arguments a = readArguments(options, args, 1, "room takes one impulse response file");
    r.response = a.positional[0];
    if (r.dir.empty())
        r.dir = withoutWav(r.response) + "-room";
    return r;
}

// The file's name alone: the folder it came from may not travel with the results.
std::string fileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<float> channelOf(const Recording& recording, int channel) {
    const size_t channels = static_cast<size_t>(recording.info.channels);
    std::vector<float> samples;
    samples.reserve(static_cast<size_t>(recording.info.frames));
    for (size_t n = static_cast<size_t>(channel); n < recording.samples.size(); n += channels)
        samples.push_back(recording.samples[n]);
    return samples;
}

struct RoomResults {
    std::string source;
    int rate = 0;
    std::vector<room::RoomFigures> channels;
};

std::string roomResultsJson(const RoomResults& r, bool complete, const std::string& error) {
    Json out{{"complete", complete}};
    if (!error.empty())
        out["error"] = error;
    out["source"] = r.source;
    if (r.rate > 0)
        out["rate"] = r.rate;
    if (complete) {
        Json channels = Json::array();
        for (size_t c = 0; c < r.channels.size(); ++c)
            channels.push_back(Json{{"input", c + 1}, {"room", roomJson(r.channels[c])}});
        out["channels"] = std::move(channels);
    }
    return jsonText(out, 2) + "\n";
}

// Every channel analysed; fails with kNoSignal when none holds a decay.
RoomResults analyseFile(const RoomRequest& request) {
    const Recording recording = readRecording(request.response);
    RoomResults results;
    results.source = fileName(request.response);
    results.rate = recording.info.rate;
    std::string reason = "the file holds no samples";
    bool anyDecay = false;
    for (int c = 0; c < recording.info.channels; ++c) {
        results.channels.push_back(
            room::analyseRoom(channelOf(recording, c), recording.info.rate, request.bands));
        anyDecay = anyDecay || results.channels.back().found;
        reason = results.channels.back().found ? reason : results.channels.back().reason;
    }
    if (!anyDecay)
        throw Failure(kNoSignal, "Error: The impulse response " + request.response +
                                     " holds no decay: " + reason + "!");
    return results;
}

void printRoomSummary(std::FILE* out, const RoomResults& results, const std::string& dir) {
    for (size_t c = 0; c < results.channels.size(); ++c)
        printRoomTable(out, "Channel " + std::to_string(c + 1), results.channels[c]);
    std::fprintf(out, "Results: %s/results.json\nReport: %s/report.html\n", dir.c_str(),
                 dir.c_str());
}

} // namespace

int roomCommand(const std::vector<std::string>& args) {
    const RoomRequest request = roomRequest(args);
    std::FILE* messages = request.json ? stderr : stdout;
    RoomResults results;
    results.source = fileName(request.response);
    const int code = attempt(
        [&] {
            results = analyseFile(request);
            if (!makeFolder(request.dir.c_str()))
                throw Failure(kCannotWrite,
                              "Error: Unable to make the folder " + request.dir + "!");
            const std::string json = roomResultsJson(results, true, "");
            writeReportPage(request.dir, json);
            writeTextFile(joinPath(request.dir, "results.json"), json);
        },
        "Error: Not enough memory for the impulse response and its analysis!", messages,
        request.json,
        [&](int, const std::string& message) {
            return replaceWithFailure(request.dir, roomResultsJson(results, false, message));
        });
    if (code != kDone)
        return code;
    printRoomSummary(messages, results, request.dir);
    if (request.json)
        std::fputs(roomResultsJson(results, true, "").c_str(), stdout);
    return kDone;
}

} // namespace measure
