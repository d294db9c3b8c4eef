#include "asiohost/driver_survey.h"

#include "asiohost/driver_list.h"
#include "catalogue_walk.h"

namespace {

std::string loadNameOf(const std::string& displayName) {
    if (displayName.size() < static_cast<size_t>(kLoadNameCapacity))
        return displayName;
    return displayName.substr(0, kLoadNameCapacity - 4) + "...";
}

void surveyKey(const CatalogueKey& key, void* context) {
    CatalogueEntry entry;
    entry.subKey = key.subKey;
    entry.displayName = key.displayName;
    entry.loadName = loadNameOf(entry.displayName);
    entry.classText = key.classText;
    entry.classParses = key.classParses;
    entry.serverPath = key.serverPath;
    entry.status = key.status;
    static_cast<std::vector<CatalogueEntry>*>(context)->push_back(entry);
}

// Numbered as the list numbers them; a load takes the first of a name.
void numberListed(std::vector<CatalogueEntry>& entries) {
    int32_t listed = 0;
    for (size_t k = 0; k < entries.size(); ++k) {
        if (entries[k].status != CatalogueStatus::Listed)
            continue;
        entries[k].number = listed++;
        for (size_t first = 0; first < k && entries[k].hiddenBy < 0; ++first)
            if (entries[first].status == CatalogueStatus::Listed &&
                entries[first].loadName == entries[k].loadName)
                entries[k].hiddenBy = entries[first].number;
    }
}

} // namespace

std::vector<CatalogueEntry> surveyInstalledDrivers() {
    std::vector<CatalogueEntry> entries;
    walkCatalogue(surveyKey, &entries);
    numberListed(entries);
    return entries;
}

std::vector<std::string> catalogueNotes(const std::vector<CatalogueEntry>& entries) {
    std::vector<std::string> notes;
    for (const CatalogueEntry& entry : entries) {
        if (entry.status != CatalogueStatus::Listed || entry.hiddenBy >= 0)
            continue;
        int32_t sharing = 0;
        for (const CatalogueEntry& other : entries)
            sharing += other.hiddenBy == entry.number ? 1 : 0;
        if (sharing > 0)
            notes.push_back(std::to_string(sharing + 1) + " drivers are named \"" + entry.loadName +
                            "\"; tandemwav uses the first");
    }
    size_t unseen = 0;
    for (const CatalogueEntry& entry : entries)
        unseen += entry.status == CatalogueStatus::NotReached ? 1 : 0;
    for (const CatalogueEntry& entry : entries)
        if (entry.status == CatalogueStatus::EndsCatalogue)
            notes.push_back("the key \"" + entry.subKey + "\" (" +
                            std::to_string(entry.subKey.size()) +
                            " characters) ends the catalogue; " + std::to_string(unseen) +
                            (unseen == 1 ? " key" : " keys") + " after it " +
                            (unseen == 1 ? "is" : "are") + " not seen");
    return notes;
}

std::string catalogueRemark(const CatalogueEntry& entry) {
    switch (entry.status) {
    case CatalogueStatus::Listed:
        if (entry.hiddenBy >= 0)
            return "hidden: an entry before it has the same name, and tandemwav uses the first";
        return entry.classParses ? "" : "CLSID value is not a class identifier: cannot be created";
    case CatalogueStatus::SubKeyUnreadable:
        return "skipped: the subkey cannot be opened";
    case CatalogueStatus::NoClassValue:
        return "skipped: no CLSID value";
    case CatalogueStatus::ClassNotRegistered:
        return entry.classParses ? "skipped: class not registered under HKEY_CLASSES_ROOT\\CLSID"
                                 : "skipped: CLSID value is not a class identifier";
    case CatalogueStatus::NoServerPath:
        return "skipped: class has no InprocServer32 path";
    case CatalogueStatus::ServerFileMissing:
        return "skipped: module file missing";
    case CatalogueStatus::EndsCatalogue:
        return "ends the catalogue: tandemwav reads subkey names of up to " +
               std::to_string(kLongestListedSubKey) + " characters and stops at a longer one";
    case CatalogueStatus::NotReached:
        return "not seen: after a subkey that ends the catalogue";
    }
    return "";
}
