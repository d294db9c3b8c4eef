// The probe's reports for scripts: one JSON document each, the same facts as
// the text, with stable field names (listed in docs/probe.md).
#pragma once

#include <string>
#include <vector>

#include "asiohost/driver_survey.h"

struct DeviceFacts;
struct Verdict;

std::string catalogueJson(const std::vector<CatalogueEntry>& entries);
std::string deviceJson(const DeviceFacts& facts, const Verdict& verdict);
// A probe that ends before it could report: its exit code and message, and
// the driver's own message when init refused.
std::string failureJson(const DeviceFacts& facts, int exitCode, const std::string& error);
