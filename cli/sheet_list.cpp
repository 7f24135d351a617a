#include "sheet_list.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

bool parseShard(const std::string& text, Shard& shard, std::string& why) {
    int k = 0, n = 0, used = 0;
    if (std::sscanf(text.c_str(), "%d/%d%n", &k, &n, &used) != 2 || static_cast<size_t>(used) != text.size() ||
        n < 1 || k < 1 || k > n) {
        why = "--shard wants K/N with 1 <= K <= N (for example 3/8), not '" + text + "'";
        return false;
    }
    shard.k = k;
    shard.n = n;
    return true;
}

bool sheetsFromList(const std::string& text, std::vector<SheetEntry>& sheets, std::string& why) {
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    std::vector<SheetEntry> found;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::error_code ec;
        if (!fs::is_regular_file(line, ec)) {
            why = "line " + std::to_string(number) + ": " + line + " is not a file";
            return false;
        }
        const std::string name = fs::path(line).filename().string();
        if (name.empty() || (!hasImageExtension(sjisString(name.c_str())) && !hasBookExtension(sjisString(name.c_str())))) {
            why = "line " + std::to_string(number) + ": " + line + " is not an image or book file name";
            return false;
        }
        found.push_back(SheetEntry{line, name});
    }
    std::sort(found.begin(), found.end(), [](const SheetEntry& a, const SheetEntry& b) {
        return a.name != b.name ? a.name < b.name : a.path < b.path;
    });
    // Outputs are named after the file name: two sheets of one name would overwrite each other.
    for (size_t i = 1; i < found.size(); ++i) {
        if (found[i].name == found[i - 1].name) {
            why = found[i - 1].path + " and " + found[i].path + " would write the same outputs";
            return false;
        }
    }
    sheets = std::move(found);
    return true;
}

std::vector<SheetEntry> shareOf(const std::vector<SheetEntry>& sheets, const Shard& shard) {
    std::vector<SheetEntry> share;
    for (size_t i = static_cast<size_t>(shard.k - 1); i < sheets.size(); i += static_cast<size_t>(shard.n))
        share.push_back(sheets[i]);
    return share;
}

bool outputNamesApart(const std::vector<SheetEntry>& sheets, unsigned char format, std::string& why) {
    std::map<std::string, const SheetEntry*> byOutput;
    for (const SheetEntry& sheet : sheets) {
        const auto [at, fresh] = byOutput.emplace(outputPathInFormat(sheet.name.c_str(), format), &sheet);
        if (!fresh) {
            why = at->second->path + " and " + sheet.path + " would write the same outputs";
            return false;
        }
    }
    return true;
}
