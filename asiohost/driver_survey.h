// Every subkey of the installed-driver catalogue with what the driver list
// makes of it: the entries it lists, with their numbers and the names a load
// by name matches, and the reason it leaves each other subkey out. Read from
// the registry by the list's own rules, for people debugging an installation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class CatalogueStatus {
    Listed,
    SubKeyUnreadable,
    NoClassValue,
    ClassNotRegistered,
    NoServerPath,
    ServerFileMissing,
    // The list reads subkey names into a fixed field and stops at the first
    // that does not fit: that subkey and every one after it are not read.
    EndsCatalogue,
    NotReached,
};

struct CatalogueEntry {
    std::string subKey;
    std::string displayName; // the description, or the subkey name, cut to the list's field
    std::string loadName;    // what loadDriverByName matches: 28 characters and "..." when long
    std::string classText;   // the CLSID value as written
    bool classParses = false;
    // InprocServer32's default value, when there is one; for a module found,
    // its full path as the system finds it.
    std::string serverPath;
    CatalogueStatus status = CatalogueStatus::SubKeyUnreadable;
    int32_t number = -1; // the list's entry number when listed
    // A listed entry that an earlier one of the same load name hides, since a
    // load takes the first match: that entry's number. -1 when not hidden.
    int32_t hiddenBy = -1;
};

// The longest subkey name the list reads; a longer one ends its walk.
constexpr size_t kLongestListedSubKey = 127;

std::vector<CatalogueEntry> surveyInstalledDrivers();

// What hides a driver from a load by name, one sentence each: names that
// several listed entries share, and the subkey that ends the catalogue.
std::vector<std::string> catalogueNotes(const std::vector<CatalogueEntry>& entries);

// Why a subkey is left out, or for a listed one what will go wrong with it
// (an unparsable class identifier); empty when nothing is amiss.
std::string catalogueRemark(const CatalogueEntry& entry);
