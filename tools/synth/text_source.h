// Plausible Japanese prose for test sheets: paragraphs of kanji compounds, kana endings and
// katakana loan words, with the punctuation a vertical-text engine must handle.
#pragma once

#include <string>
#include <vector>

#include "random.h"

// One character of running text. A text item is one cell, except "……" and "――", which the
// generator always emits as two cells of their own.
struct TextChar {
    char32_t ch = 0;
    std::u32string ruby;  // reading set beside this character and the rubySpan - 1 after it
    int rubySpan = 0;
};

struct Paragraph {
    std::vector<TextChar> chars;
    bool dialogue = false;  // starts with 「 and is not indented
};

// Which words carry ruby and what it holds.
struct RubyShape {
    double rate = 0;  // share of kanji words that carry their reading
    int length = 0;   // kana per ruby (the reading cut or repeated); 0: the whole reading
    int base = 0;     // characters under the ruby; a shorter word then carries none; 0: the whole word
};

// Draws the next paragraph, its ruby as shape says. The draws do not depend on the shape's
// length and base, so that they change the ruby alone.
Paragraph nextParagraph(SynthRandom& random, const RubyShape& shape);

// A short title for running headers.
std::u32string headerTitle(SynthRandom& random);

// Appends the UTF-8 form of c to out.
void appendUtf8(std::string& out, char32_t c);
std::string toUtf8(const std::u32string& s);
