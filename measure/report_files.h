// The report page beside a results.json: drawn from its text, with the
// impulse responses it names read from the same folder.
#pragma once

#include <string>

namespace measure {

// Makes the results' folder DIR unless it is there. Throws
// Failure(kCannotWrite) when it cannot, saying so when its parent is missing.
void makeResultsFolder(const std::string& dir);

// Writes DIR/report.html in one step. Throws Failure(kCannotWrite) when it
// cannot be written, Failure(kNoResults) when the text is no results document.
void writeReportPage(const std::string& dir, const std::string& resultsJson);

// Reads DIR/results.json and draws its page: the report command.
void redrawReport(const std::string& dir);

// A failed run or analysis leaves nothing in DIR that claims to be complete:
// a results.json or report.html of an earlier one is replaced by the failure
// (or removed when that cannot be written). The failure's JSON back.
std::string replaceWithFailure(const std::string& dir, const std::string& failureJson);

} // namespace measure
