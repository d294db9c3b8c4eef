// The room figures of one response on the page: a table of every figure per
// band, with the reason beside each that is absent, and per band the decay
// curve with the lines fitted over EDT's, T20's and T30's ranges.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace report {

// room: the "room" object of a channel or pair; id: unique in the page.
std::string roomSection(const nlohmann::json& room, const std::string& id);

} // namespace report
