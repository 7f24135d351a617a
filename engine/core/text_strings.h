// Text strings that carry paths and messages: sjisString holds 8-bit text in the process locale
// (UTF-8 here), unicodeString holds wide text. Both are zero-terminated and own their storage.
#pragma once

#include <cstddef>
#include <cwchar>

#include "core/arrays.h"

template <class T>
class aString {
public:
    // Reserves room for length characters plus the terminator and holds the empty text.
    explicit aString(uint32_t length = 0) : text_(length + 1) { text_[0] = T(0); }
    virtual ~aString() = default;
    aString(const aString&) = default;
    aString& operator=(const aString&) = default;

    // Units before the terminator.
    uint32_t length() const {
        uint32_t n = 0;
        while (n < text_.capacity() && text_[n] != T(0)) ++n;
        return n;
    }

    const T* c_str() const { return text_.data(); }
    bool empty() const { return text_[0] == T(0); }

protected:
    void assignText(const T* s) {
        uint32_t n = 0;
        if (s)
            while (s[n] != T(0)) ++n;
        text_.extend(n);
        for (uint32_t k = 0; k < n; ++k) text_[k] = s[k];
        text_[n] = T(0);
    }

    sArray<T> text_;
};

class unicodeString;

class sjisString : public aString<char> {
public:
    sjisString() = default;
    sjisString(const char* s);  // NOLINT: converting on purpose, like a C string
    // Converts with the C library in the current locale; a text that cannot be converted is empty.
    explicit sjisString(const unicodeString& s);

    sjisString& operator=(const char* s);

    void append(char c);
    void append(const sjisString& s);
    sjisString operator+(const sjisString& other) const;

    // The text after the last '.' when it lies after the last '/' (or there is none); else empty.
    sjisString extension() const;

    // Puts suffix in front of the last '.' of the file name, or at the end when it has none:
    // "/out/p001.jpg" with "-tovel" becomes "/out/p001-tovel.jpg".
    void insertSuffix(const char* suffix);

    // ASCII letters a-z become A-Z.
    void toUpper();

    // The part after the last '/' (the whole text when there is none).
    sjisString fileName() const;

    bool operator==(const sjisString& other) const;
    bool operator!=(const sjisString& other) const { return !(*this == other); }
    char lastByte() const;
};

class unicodeString : public aString<wchar_t> {
public:
    unicodeString() = default;
    unicodeString(const wchar_t* s);  // NOLINT: converting on purpose, like a C string
    unicodeString& operator=(const wchar_t* s);
};
