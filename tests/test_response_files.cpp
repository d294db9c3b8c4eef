// A calibration curve read between its points on a logarithmic axis, its
// phase the short way round the circle and never beyond its ends; and the
// CSV for other tools, whose cells stay empty where there is no figure.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "measure/calibration.h"
#include "measure/tool_files.h"

namespace {

using measure::ResponsePoint;

double wrapped(double deg) {
    return deg - 360.0 * std::floor((deg + 180.0) / 360.0);
}

TEST(Calibration, ReadsBetweenPointsOnALogAxisTheShortWayRoundAndNeverBeyond) {
    measure::CalibrationCurve curve;
    curve.hz = {100.0, 1000.0, 10000.0};
    curve.db = {0.0, 10.0, 4.0};
    curve.deg = {170.0, -170.0, -170.0};
    curve.hasPhase = true;
    const double middle = std::sqrt(100.0 * 1000.0);
    std::vector<ResponsePoint> response;
    for (double hz : {50.0, 100.0, middle, 10000.0, 20000.0})
        response.push_back({hz, 1.0, 0.0, false, true});
    measure::calibrate(curve, response);
    EXPECT_FALSE(response[0].calibrated);
    EXPECT_DOUBLE_EQ(response[0].db, 1.0);
    EXPECT_FALSE(response[4].calibrated);
    EXPECT_DOUBLE_EQ(response[4].deg, 0.0);
    EXPECT_TRUE(response[1].calibrated);
    EXPECT_NEAR(response[1].db, 1.0, 1e-12);
    EXPECT_NEAR(wrapped(response[1].deg + 170.0), 0.0, 1e-9);
    // Halfway between 100 Hz and 1 kHz on the log axis: 5 dB, and 180 degrees
    // (170 to -170 through 180), not 0.
    EXPECT_NEAR(response[2].db, 1.0 - 5.0, 1e-9);
    EXPECT_NEAR(wrapped(response[2].deg - 180.0), 0.0, 1e-9);
    EXPECT_TRUE(response[3].calibrated);
    EXPECT_NEAR(response[3].db, 1.0 - 4.0, 1e-9);
}

std::vector<std::vector<std::string>> rows(const std::string& text) {
    std::vector<std::vector<std::string>> table;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        table.emplace_back();
        std::string cell;
        std::istringstream cells(line);
        while (std::getline(cells, cell, ','))
            table.back().push_back(cell);
        if (!line.empty() && line.back() == ',')
            table.back().push_back("");
    }
    return table;
}

// Three frequencies; HD2 measured at the first, a bound at the second, no
// point at the third (its harmonic lies beyond the band); THD at the first
// alone. A phase falling 36 degrees per 100 Hz is a group delay of 1 ms.
TEST(ToolFiles, CsvCellsFollowTheGridAndStayEmptyWithoutAFigure) {
    measure::ChannelResult channel;
    channel.response = {{1000.0, -1.0, 0.0}, {1100.0, -2.0, -36.0}, {1200.0, -3.0, -72.0}};
    channel.harmonics.push_back({2, {{1000.0, -40.0, false}, {1100.0, -90.0, true}}});
    channel.thd = {{1000.0, 1.0}};
    const auto table = rows(measure::csvText(channel, 2));
    ASSERT_EQ(table.size(), 4u);
    EXPECT_EQ(table[0], (std::vector<std::string>{"Hz", "dB", "degrees", "group delay ms", "HD2 dB",
                                                  "THD %"}));
    for (const auto& row : table)
        EXPECT_EQ(row.size(), 6u);
    EXPECT_EQ(table[1][4], "-40.000");
    EXPECT_EQ(table[1][5], "1.00000");
    EXPECT_EQ(table[2][4], "");
    EXPECT_EQ(table[2][5], "");
    EXPECT_EQ(table[3][4], "");
    EXPECT_NEAR(std::stod(table[2][3]), 1.0, 1e-9);
}

} // namespace
