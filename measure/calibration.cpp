#include "measure/calibration.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "measure/exit_codes.h"
#include "measure/failure.h"
#include "platform/file_system.h"

namespace measure {

namespace {

[[noreturn]] void refuse(const std::string& path, int line, const std::string& problem) {
    const std::string where = line > 0 ? ", line " + std::to_string(line) : "";
    throw Failure(kBadCalibration, "Error: The calibration file " + path + where + ": " + problem +
                                       "!\nA calibration file holds one point a line: frequency "
                                       "in Hz, dB and optionally degrees.");
}

bool isComment(const std::string& line) {
    return !line.empty() && (line[0] == '*' || line[0] == '"' || line[0] == '#');
}

bool isBlank(const std::string& line) {
    for (unsigned char c : line)
        if (!std::isspace(c))
            return false;
    return true;
}

bool startsWithNumber(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    char* end = nullptr;
    std::strtod(line.c_str() + i, &end);
    return end != line.c_str() + i;
}

bool isSeparator(char c) {
    return c == ' ' || c == '\t' || c == ',';
}

// The numbers of one line, separated by spaces, tabs or commas; false when
// anything else is there.
bool numbersOf(const std::string& line, std::vector<double>* numbers) {
    numbers->clear();
    const char* cursor = line.c_str();
    while (*cursor != '\0') {
        while (isSeparator(*cursor))
            ++cursor;
        if (*cursor == '\0')
            break;
        char* end = nullptr;
        const double value = std::strtod(cursor, &end);
        if (end == cursor || !std::isfinite(value) || (*end != '\0' && !isSeparator(*end)))
            return false;
        numbers->push_back(value);
        cursor = end;
    }
    return true;
}

std::string withoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

void addPoint(CalibrationCurve& curve, const std::vector<double>& numbers, int number) {
    const std::string& path = curve.path;
    if (numbers.size() < 2 || numbers.size() > 3)
        refuse(path, number,
               "a point is a frequency and dB, and optionally degrees, not " +
                   std::to_string(numbers.size()) + " numbers");
    if (curve.hz.empty())
        curve.hasPhase = numbers.size() == 3;
    else if (curve.hasPhase != (numbers.size() == 3))
        refuse(path, number,
               curve.hasPhase ? "no phase, where the lines before it give one"
                              : "a phase, where the lines before it give none");
    if (!(numbers[0] > 0.0))
        refuse(path, number, "the frequency is not above 0 Hz");
    if (!curve.hz.empty() && !(numbers[0] > curve.hz.back()))
        refuse(path, number, "the frequency does not rise from the line before");
    curve.hz.push_back(numbers[0]);
    curve.db.push_back(numbers[1]);
    curve.deg.push_back(numbers.size() == 3 ? numbers[2] : 0.0);
}

double wrappedDegrees(double deg) {
    return deg - 360.0 * std::floor((deg + 180.0) / 360.0);
}

// Throws Failure(kBadCalibration) naming the file, the line and what is wrong
// when the file cannot be read or is not such a file.
CalibrationCurve readCalibration(const std::string& path) {
    CalibrationCurve curve;
    curve.path = path; // as given, for the messages
    std::ifstream in(path, std::ios::binary);
    if (!in || !isRegularFile(path.c_str()))
        refuse(path, 0, "it is missing or cannot be read");
    std::string line;
    std::vector<double> numbers;
    bool headerAllowed = true;
    for (int number = 1; std::getline(in, line); ++number) {
        line = withoutLineEnd(line);
        if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0)
            line.erase(0, 3);
        if (isComment(line) || isBlank(line))
            continue;
        const bool header = headerAllowed && !startsWithNumber(line);
        headerAllowed = false;
        if (header)
            continue;
        if (!numbersOf(line, &numbers))
            refuse(path, number, "\"" + line.substr(0, 60) + "\" is not a point");
        addPoint(curve, numbers, number);
    }
    if (in.bad())
        refuse(path, 0, "it cannot be read to its end");
    if (curve.hz.empty())
        refuse(path, 0, "it holds no points");
    curve.path = fullPathName(path.c_str());
    return curve;
}

} // namespace

void calibrate(const CalibrationCurve& curve, std::vector<ResponsePoint>& response) {
    const std::vector<double>& hz = curve.hz;
    for (ResponsePoint& p : response) {
        if (p.hz < hz.front() || p.hz > hz.back()) {
            p.calibrated = false;
            continue;
        }
        size_t above = 0;
        while (above + 1 < hz.size() && hz[above] < p.hz)
            ++above;
        const size_t below = above > 0 ? above - 1 : 0;
        const double t =
            above == below ? 0.0 : std::log(p.hz / hz[below]) / std::log(hz[above] / hz[below]);
        p.db -= curve.db[below] + t * (curve.db[above] - curve.db[below]);
        const double step = wrappedDegrees(curve.deg[above] - curve.deg[below]);
        p.deg = wrappedDegrees(p.deg - (curve.deg[below] + t * step));
    }
}

namespace {

CalibrationChoice calibrationChoice(const std::string& option, const std::string& text) {
    const size_t equals = text.find('=');
    CalibrationChoice choice;
    if (equals == std::string::npos || equals == 0 || !startsWithNumber(text.substr(0, equals))) {
        choice.file = text;
        return choice;
    }
    const std::optional<long long> input = commandline::decimalNumber(text.substr(0, equals));
    choice.file = text.substr(equals + 1);
    if (!input || *input < 1 || *input > 1000000 || choice.file.empty())
        throw commandline::UsageError{option +
                                      " takes N=FILE with a channel N from 1, or FILE, "
                                      "not \"" +
                                      text + "\""};
    choice.input = static_cast<int>(*input);
    return choice;
}

// The curve that applies to `input`: its own, else the one for every input
// but the reference; null for none.
const CalibrationCurve* curveFor(const std::vector<CalibrationChoice>& choices,
                                 const std::vector<CalibrationCurve>& curves, int input,
                                 int reference) {
    const CalibrationCurve* everyInput = nullptr;
    for (size_t i = 0; i < choices.size(); ++i) {
        if (choices[i].input == input)
            return &curves[i];
        if (choices[i].input == 0 && input != reference)
            everyInput = &curves[i];
    }
    return everyInput;
}

} // namespace

commandline::Take calibrations(std::vector<CalibrationChoice>* choices) {
    return [choices](const std::string& option, const std::string& text) {
        choices->push_back(calibrationChoice(option, text));
    };
}

std::vector<CalibrationCurve> readCalibrations(const std::vector<CalibrationChoice>& choices) {
    std::vector<CalibrationCurve> curves;
    for (const CalibrationChoice& choice : choices)
        curves.push_back(readCalibration(choice.file));
    return curves;
}

void applyCalibration(const std::vector<CalibrationChoice>& choices,
                      const std::vector<CalibrationCurve>& curves, int reference,
                      ChannelResult& channel) {
    const CalibrationCurve* curve = curveFor(choices, curves, channel.input, reference);
    if (curve == nullptr || channel.belowNoise)
        return;
    calibrate(*curve, channel.response);
    // The gate acts on the impulse response, which no file corrects.
    if (!channel.gatedResponse.empty())
        calibrate(*curve, channel.gatedResponse);
    channel.calibrationFile = curve->path;
}

} // namespace measure
