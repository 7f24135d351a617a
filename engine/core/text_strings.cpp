#include "core/text_strings.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// Index of the '.' that starts the file name's extension, or -1.
int extensionDot(const char* s, uint32_t n) {
    for (int k = static_cast<int>(n) - 1; k >= 0; --k) {
        if (s[k] == '/') return -1;
        if (s[k] == '.') return k;
    }
    return -1;
}

}  // namespace

sjisString::sjisString(const char* s) { assignText(s); }

sjisString::sjisString(const unicodeString& s) {
    const uint32_t room = 2 * s.length() + 1;
    // UTF-8 needs up to four bytes a character where Shift-JIS needs two; make room for that.
    const uint32_t bytes = 4 * s.length() + 1;
    text_.extend(bytes > room ? bytes : room);
    const size_t written = std::wcstombs(text_.data(), s.c_str(), text_.capacity());
    if (written == static_cast<size_t>(-1) || written >= text_.capacity()) {
        text_[0] = '\0';
        return;
    }
    text_[static_cast<uint32_t>(written)] = '\0';
}

sjisString& sjisString::operator=(const char* s) {
    if (s == c_str()) return *this;
    if (s && text_.data() && s >= text_.data() && s < text_.data() + text_.capacity()) {
        sjisString copy(s);
        return *this = copy.c_str();
    }
    assignText(s);
    return *this;
}

void sjisString::append(char c) {
    const uint32_t n = length();
    text_[n + 1] = '\0';
    text_[n] = c;
}

void sjisString::append(const sjisString& s) {
    const sjisString copy(s);  // s may be this string
    const uint32_t n = length();
    const uint32_t m = copy.length();
    text_.extend(n + m);
    for (uint32_t k = 0; k < m; ++k) text_[n + k] = copy.c_str()[k];
    text_[n + m] = '\0';
}

sjisString sjisString::operator+(const sjisString& other) const {
    sjisString result(*this);
    result.append(other);
    return result;
}

sjisString sjisString::extension() const {
    const uint32_t n = length();
    const int dot = extensionDot(c_str(), n);
    if (dot < 0) return sjisString("");
    return sjisString(c_str() + dot + 1);
}

void sjisString::insertSuffix(const char* suffix) {
    const uint32_t n = length();
    const int dot = extensionDot(c_str(), n);
    if (dot < 0) {
        append(sjisString(suffix));
        return;
    }
    sjisString result;
    for (int k = 0; k < dot; ++k) result.append(c_str()[k]);
    result.append(sjisString(suffix));
    result.append(sjisString(c_str() + dot));
    *this = result;
}

void sjisString::toUpper() {
    const uint32_t n = length();
    for (uint32_t k = 0; k < n; ++k) {
        const char c = text_[k];
        if (c >= 'a' && c <= 'z') text_[k] = static_cast<char>(c - 'a' + 'A');
    }
}

sjisString sjisString::fileName() const {
    const char* s = c_str();
    const char* slash = std::strrchr(s, '/');
    return sjisString(slash ? slash + 1 : s);
}

bool sjisString::operator==(const sjisString& other) const {
    return std::strcmp(c_str(), other.c_str()) == 0;
}

char sjisString::lastByte() const {
    const uint32_t n = length();
    return n == 0 ? '\0' : c_str()[n - 1];
}

unicodeString::unicodeString(const wchar_t* s) { assignText(s); }

unicodeString& unicodeString::operator=(const wchar_t* s) {
    if (s && text_.data() && s >= text_.data() && s < text_.data() + text_.capacity()) {
        unicodeString copy(s);
        return *this = copy.c_str();
    }
    assignText(s);
    return *this;
}
