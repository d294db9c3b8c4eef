#include "probe/name_hint.h"

#include <cctype>

#include "asiohost/driver_survey.h"

namespace {

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

std::string driverNameHint(const std::string& requested) {
    // The list's order is the load's: the first match is the driver a
    // corrected name would load.
    for (const CatalogueEntry& entry : surveyInstalledDrivers())
        if (entry.number >= 0 && entry.loadName != requested &&
            equalIgnoringCase(entry.loadName, requested))
            return "Did you mean \"" + entry.loadName + "\"?";
    return "";
}
