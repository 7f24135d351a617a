// A small reader and writer of INI files: "[section]" headers and "key=value" lines. Section and
// key names match without regard to ASCII case; values are trimmed of surrounding blanks.
// Writing a key rewrites that one line in place and keeps every other line as it was.
#pragma once

#include <string>
#include <vector>

class IniFile {
public:
    // Reads the file at path; a missing or unreadable file reads as empty.
    explicit IniFile(std::string path);

    // The value of key in section, or fallback when either is missing. Values longer than 1023
    // bytes are cut there (at a character boundary).
    std::string get(const std::string& section, const std::string& key,
                    const std::string& fallback) const;

    // Sets key in section to value, adding the key or the section when missing, and writes the
    // file through a temporary file renamed into place. Answers false when it cannot be written.
    bool set(const std::string& section, const std::string& key, const std::string& value);

    const std::string& path() const { return path_; }

private:
    // Index of the line holding key in section, or -1; lastLine receives the section's last
    // non-blank line (-1 when the section is missing).
    int findKey(const std::string& section, const std::string& key, int* lastLine) const;
    bool write() const;

    std::string path_;
    std::vector<std::string> lines_;  // without line ends
    std::string lineEnd_ = "\n";
};
