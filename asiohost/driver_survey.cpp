#include "asiohost/driver_survey.h"

#include "catalogue_values.h"
#include "platform/win32api.h"

namespace {

constexpr size_t kDriverNameCapacity = 128;
constexpr size_t kLoadNameCapacity = 32;
// Registry key names have at most 255 characters: the survey reads past the
// subkey that stops the list, to say what the list does not see.
constexpr DWORD kAnyKeyNameCapacity = 256;
static_assert(kLongestListedSubKey + 1 == kSubKeyNameCapacity, "the list's field");

bool classParses(const char* text) {
    WCHAR wide[kWideCapacity];
    CLSID parsed;
    return MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kWideCapacity) != 0 &&
           CLSIDFromString(wide, &parsed) == S_OK;
}

void readServer(HKEY clsidKey, const char* classKeyName, CatalogueEntry& entry) {
    entry.status = CatalogueStatus::NoServerPath;
    HKEY classKey;
    if (RegOpenKeyExA(clsidKey, classKeyName, 0, KEY_READ, &classKey) != ERROR_SUCCESS)
        return;
    HKEY serverKey;
    if (RegOpenKeyExA(classKey, "InprocServer32", 0, KEY_READ, &serverKey) == ERROR_SUCCESS) {
        char path[kServerPathCapacity];
        if (readCatalogueString(serverKey, nullptr, path, sizeof path)) {
            entry.serverPath = path;
            entry.status = catalogueFileExists(path, &entry.serverPath)
                               ? CatalogueStatus::Listed
                               : CatalogueStatus::ServerFileMissing;
        }
        RegCloseKey(serverKey);
    }
    RegCloseKey(classKey);
}

// The first class key whose name equals the text in any letter case, as the
// list finds it.
void findServer(const std::string& classText, CatalogueEntry& entry) {
    entry.status = CatalogueStatus::ClassNotRegistered;
    std::string wanted = classText;
    lowerCatalogueText(&wanted[0]);
    HKEY clsidKey;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, "clsid", &clsidKey) != ERROR_SUCCESS)
        return;
    char name[kServerPathCapacity];
    for (DWORD index = 0; RegEnumKeyA(clsidKey, index, name, sizeof name) == ERROR_SUCCESS;
         ++index) {
        lowerCatalogueText(name);
        if (wanted == name) {
            readServer(clsidKey, name, entry);
            break;
        }
    }
    RegCloseKey(clsidKey);
}

std::string loadNameOf(const std::string& displayName) {
    if (displayName.size() < kLoadNameCapacity)
        return displayName;
    return displayName.substr(0, kLoadNameCapacity - 4) + "...";
}

CatalogueEntry surveySubKey(HKEY asioKey, const char* subKeyName) {
    CatalogueEntry entry;
    entry.subKey = subKeyName;
    HKEY driverKey;
    if (RegOpenKeyExA(asioKey, subKeyName, 0, KEY_READ, &driverKey) != ERROR_SUCCESS)
        return entry;
    char value[kValueCapacity];
    if (readCatalogueString(driverKey, "clsid", value, sizeof value)) {
        entry.classText = value;
        entry.classParses = classParses(value);
        findServer(entry.classText, entry);
    } else {
        entry.status = CatalogueStatus::NoClassValue;
    }
    entry.displayName =
        readCatalogueString(driverKey, "description", value, sizeof value) ? value : subKeyName;
    if (entry.displayName.size() > kDriverNameCapacity - 1)
        entry.displayName.resize(kDriverNameCapacity - 1);
    entry.loadName = loadNameOf(entry.displayName);
    RegCloseKey(driverKey);
    return entry;
}

} // namespace

namespace {

void markHiddenNames(std::vector<CatalogueEntry>& entries) {
    for (size_t k = 0; k < entries.size(); ++k) {
        if (entries[k].status != CatalogueStatus::Listed)
            continue;
        for (size_t first = 0; first < k && entries[k].hiddenBy < 0; ++first)
            if (entries[first].status == CatalogueStatus::Listed &&
                entries[first].loadName == entries[k].loadName)
                entries[k].hiddenBy = entries[first].number;
    }
}

} // namespace

std::vector<CatalogueEntry> surveyInstalledDrivers() {
    std::vector<CatalogueEntry> entries;
    HKEY asioKey;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\asio", &asioKey) != ERROR_SUCCESS)
        return entries;
    char name[kAnyKeyNameCapacity];
    int32_t listed = 0;
    bool ended = false;
    for (DWORD index = 0; RegEnumKeyA(asioKey, index, name, sizeof name) == ERROR_SUCCESS;
         ++index) {
        entries.push_back(surveySubKey(asioKey, name));
        CatalogueEntry& entry = entries.back();
        if (ended) {
            entry.status = CatalogueStatus::NotReached;
        } else if (entry.subKey.size() > kLongestListedSubKey) {
            entry.status = CatalogueStatus::EndsCatalogue;
            ended = true;
        } else if (entry.status == CatalogueStatus::Listed) {
            entry.number = listed++;
        }
    }
    RegCloseKey(asioKey);
    markHiddenNames(entries);
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
