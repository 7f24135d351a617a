// The user's choices: the two folders and the options record, kept in TOVEL.ini, section
// "GENERAL". The command line reads the same file the window writes.
#pragma once

#include <string>

#include "pipeline/layo_options.h"

extern const char* const kIniSection;  // "GENERAL"

struct AppSettings {
    std::string iniPath;
    std::string sourceFolder;
    std::string destinationFolder;
};

// "TOVEL.ini" in the given folder (the working directory at start-up).
std::string iniPathIn(const std::string& folder);

// A switch is on exactly when its stored text is "TRUE" (case-sensitive).
bool parseSwitch(const std::string& text);
const char* formatSwitch(bool on);

// The leading integer of text: optional blanks, an optional sign, digits; no digits give 0.
// Values beyond the int range saturate.
int parseMargin(const std::string& text);

// Reads the folders, switches and margins of the INI file at settings.iniPath; missing keys give
// empty folders, switches off and margins 0.
void loadSettings(AppSettings& settings, LayoOptions& options);

// Writes one key of section "GENERAL"; answers false when the file cannot be written.
bool saveSetting(const std::string& iniPath, const std::string& key, const std::string& value);
