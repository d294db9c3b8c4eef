// Every exit code each program declares has its row in README's table for
// that program, and every row there names a declared code.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "app/exit_codes.h"
#include "measure/exit_codes.h"
#include "probe/exit_codes.h"

namespace {

using Codes = std::set<int>;

// The codes of each table whose header is "| code | meaning | message |", in
// the order the tables stand.
std::vector<Codes> readmeTables() {
    std::ifstream in(TANDEM_README);
    std::vector<Codes> tables;
    bool inTable = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("| code | meaning | message |", 0) == 0) {
            tables.emplace_back();
            inTable = true;
        } else if (inTable && line.rfind("| ", 0) == 0) {
            tables.back().insert(std::stoi(line.substr(2)));
        } else if (line.rfind("|---", 0) != 0) {
            inTable = false;
        }
    }
    return tables;
}

template <size_t N> Codes declared(const int (&codes)[N]) {
    return Codes(std::begin(codes), std::end(codes));
}

TEST(ExitCodeTables, ReadmeHasARowForEveryDeclaredCodeAndNoOther) {
    const std::vector<Codes> tables = readmeTables();
    ASSERT_EQ(tables.size(), 3u) << "tandemwav's, the probe's and the measurement's";
    EXPECT_EQ(tables[0], declared(kTandemWavExitCodes)) << "tandemwav";
    EXPECT_EQ(tables[1], declared(kProbeExitCodes)) << "tandemwav-probe";
    EXPECT_EQ(tables[2], declared(measure::kExitCodes)) << "tandemwav-measure";
}

} // namespace
