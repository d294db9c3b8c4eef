// The page of an interface measurement (a results.json whose kind is
// "interface"): a data-sheet summary table of one row per figure and one
// column per pair, then the plots behind the figures.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace report {

// Throws nlohmann's exceptions on a document of the wrong shape.
std::string interfacePage(const nlohmann::json& root);

} // namespace report
