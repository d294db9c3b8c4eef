// A driver's name that is not UTF-8 still gives a results.json: its bad
// bytes replaced, rather than the run ending in an uncaught error.
#include <gtest/gtest.h>

#include <string>

#include "measure/run_json.h"

namespace {

TEST(MeasureJson, ADriverNameThatIsNotUtf8IsReplacedNotFatal) {
    measure::RunResults results;
    results.device = "Odd";
    results.setup.driverName = "Odd \xff";
    std::string json;
    ASSERT_NO_THROW(json = measure::runResultsJson(results, "1.0.0"));
    EXPECT_NE(json.find(R"("Odd \ufffd")"), std::string::npos) << json;
}

} // namespace
