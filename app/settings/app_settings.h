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
    int jobs = 0;  // sheets processed at once; 0: as many as there are cores
};

// "TOVEL.ini" in the given folder (the working directory at start-up).
std::string iniPathIn(const std::string& folder);

// A switch is on exactly when its stored text is "TRUE" (case-sensitive).
bool parseSwitch(const std::string& text);
const char* formatSwitch(bool on);

// The leading integer of text: optional blanks, an optional sign, digits; no digits give 0.
// Values beyond the int range saturate.
int parseMargin(const std::string& text);

// Reads the folders, switches, margins and sheets at once (key "Jobs") of the INI file at
// settings.iniPath; missing keys give empty folders, switches off, margins 0 and jobs 0. A
// negative count of jobs reads as 0.
void loadSettings(AppSettings& settings, LayoOptions& options);

// The sheets a job runs at once for a Jobs setting: the setting itself, or for 0 the cores of
// the machine (cores, at least 1).
int jobsFor(int setting, unsigned cores);

// Writes one key of section "GENERAL"; answers false when the file cannot be written.
bool saveSetting(const std::string& iniPath, const std::string& key, const std::string& value);
