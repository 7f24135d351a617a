#include "settings/ini_file.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

constexpr size_t kValueRoom = 1023;

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return "";
    const size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
        char x = a[k], y = b[k];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// The section name of a "[name]" line; false for any other line.
bool sectionOf(const std::string& line, std::string& name) {
    const std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    const size_t close = t.find(']');
    if (close == std::string::npos) return false;
    name = trim(t.substr(1, close - 1));
    return true;
}

// Cuts s to at most room bytes without splitting a UTF-8 sequence.
std::string cutToRoom(const std::string& s, size_t room) {
    if (s.size() <= room) return s;
    size_t n = room;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n);
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
            if (first) lineEnd_ = "\r\n";
        }
        first = false;
        lines_.push_back(line);
    }
}

int IniFile::findKey(const std::string& section, const std::string& key, int* lastLine) const {
    bool inSection = false;
    int last = -1;
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string name;
        if (sectionOf(lines_[i], name)) {
            inSection = sameName(name, section);
            if (inSection) last = static_cast<int>(i);
            continue;
        }
        if (!inSection) continue;
        const std::string t = trim(lines_[i]);
        if (t.empty() || t[0] == ';') continue;
        last = static_cast<int>(i);
        const size_t eq = lines_[i].find('=');
        if (eq == std::string::npos) continue;
        if (sameName(trim(lines_[i].substr(0, eq)), key)) {
            if (lastLine) *lastLine = last;
            return static_cast<int>(i);
        }
    }
    if (lastLine) *lastLine = last;
    return -1;
}

std::string IniFile::get(const std::string& section, const std::string& key,
                         const std::string& fallback) const {
    const int i = findKey(section, key, nullptr);
    if (i < 0) return fallback;
    const std::string& line = lines_[static_cast<size_t>(i)];
    std::string value = trim(line.substr(line.find('=') + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return cutToRoom(value, kValueRoom);
}

bool IniFile::set(const std::string& section, const std::string& key, const std::string& value) {
    int last = -1;
    const int i = findKey(section, key, &last);
    const std::string line = key + "=" + value;
    if (i >= 0) {
        lines_[static_cast<size_t>(i)] = line;
    } else if (last >= 0) {
        lines_.insert(lines_.begin() + last + 1, line);
    } else {
        lines_.push_back("[" + section + "]");
        lines_.push_back(line);
    }
    return write();
}

bool IniFile::write() const {
    const std::string partial = path_ + ".part-" + std::to_string(getpid());
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        for (const std::string& line : lines_) out << line << lineEnd_;
        out.flush();
        if (!out) {
            out.close();
            std::remove(partial.c_str());
            return false;
        }
    }
    if (std::rename(partial.c_str(), path_.c_str()) != 0) {
        std::remove(partial.c_str());
        return false;
    }
    return true;
}
