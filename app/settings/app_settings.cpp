#include "settings/app_settings.h"

#include <algorithm>
#include <climits>

#include "settings/ini_file.h"

const char* const kIniSection = "GENERAL";

std::string iniPathIn(const std::string& folder) {
    if (folder.empty()) return "TOVEL.ini";
    if (folder.back() == '/') return folder + "TOVEL.ini";
    return folder + "/TOVEL.ini";
}

bool parseSwitch(const std::string& text) { return text == "TRUE"; }

const char* formatSwitch(bool on) { return on ? "TRUE" : "FALSE"; }

int parseMargin(const std::string& text) {
    size_t k = 0;
    while (k < text.size() && (text[k] == ' ' || text[k] == '\t')) ++k;
    bool negative = false;
    if (k < text.size() && (text[k] == '+' || text[k] == '-')) {
        negative = text[k] == '-';
        ++k;
    }
    long long value = 0;
    for (; k < text.size() && text[k] >= '0' && text[k] <= '9'; ++k) {
        value = value * 10 + (text[k] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

void loadSettings(AppSettings& settings, LayoOptions& options) {
    const IniFile ini(settings.iniPath);
    settings.sourceFolder = ini.get(kIniSection, "SourceFolder", "");
    settings.destinationFolder = ini.get(kIniSection, "DestinationFolder", "");
    options.dividePage = parseSwitch(ini.get(kIniSection, "DividePage", "FALSE"));
    options.removeHeader = parseSwitch(ini.get(kIniSection, "RemoveHeader", "FALSE"));
    options.setMargin = parseSwitch(ini.get(kIniSection, "SetMargin", "FALSE"));
    options.horizontalMargin = parseMargin(ini.get(kIniSection, "HorizontalMargin", "0"));
    options.verticalMargin = parseMargin(ini.get(kIniSection, "VerticalMargin", "0"));
    settings.jobs = std::max(parseMargin(ini.get(kIniSection, "Jobs", "0")), 0);
}

int jobsFor(int setting, unsigned cores) {
    if (setting > 0) return setting;
    return std::max(1, static_cast<int>(cores));
}

bool saveSetting(const std::string& iniPath, const std::string& key, const std::string& value) {
    IniFile ini(iniPath);
    return ini.set(kIniSection, key, value);
}
