// The probe's reports for people, on standard output.
#pragma once

#include <vector>

#include "asiohost/driver_survey.h"

struct DeviceFacts;
struct Verdict;

void printCatalogueText(const std::vector<CatalogueEntry>& entries);
void printDeviceText(const DeviceFacts& facts, const Verdict& verdict);
