// The measurement report: results.json made into one self-contained HTML
// page, report.html, with inline SVG plots. It needs no network, no other
// file and no script to be read, kept or mailed.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace report {

// A pair's linear impulse response, for its energy-time curve.
struct ImpulseResponse {
    std::vector<float> samples;
    double rate = 0.0;
};

// Reads the impulse response a pair names (`impulseResponse`, a file name in
// the results' folder); false when it cannot, and the page then says so.
using ImpulseLoader = std::function<bool(const std::string& fileName, ImpulseResponse* response)>;

// The page for the text of a results.json: one measured run (`pairs`,
// `crosstalk`) or one analysed recording (`channels`). False, with the reason
// in `error`, when the text is not such a document.
bool renderReport(const std::string& resultsJson, const ImpulseLoader& loadImpulse,
                  std::string* html, std::string* error);

// A page up to its heading, `title`, with the style sheet every page shares
// and `extraStyle`; when the results are not complete, a banner that ends in
// `whatWentWrong`.
std::string pageStart(const std::string& title, const char* extraStyle, bool complete,
                      const std::string& whatWentWrong);

} // namespace report
