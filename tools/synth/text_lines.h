// Vertical lines of running prose drawn cell by cell into the ink canvas, with ruby beside the
// words that carry it and 、。 hanging below a full line.
#pragma once

#include "glyphs.h"
#include "ink_canvas.h"
#include "random.h"
#include "sheet_truth.h"
#include "text_source.h"

// The running text of a sheet, drawn paragraph by paragraph as lines ask for characters.
class TextStream {
public:
    TextStream(SynthRandom random, const RubyShape& ruby) : random_(random), ruby_(ruby) {}

    bool atParagraphStart() const { return index_ == 0; }
    bool dialogue() { return paragraph().dialogue; }
    bool paragraphDone() { return index_ >= paragraph().chars.size(); }
    const TextChar& peek() { return paragraph().chars[index_]; }
    void advance() { ++index_; }
    void nextParagraph() {
        has_ = false;
        index_ = 0;
    }

private:
    Paragraph& paragraph();

    SynthRandom random_;
    RubyShape ruby_;
    Paragraph current_;
    bool has_ = false;
    size_t index_ = 0;
};

struct Geometry {
    int cell = 0;   // character size and pitch along a line
    int pitch = 0;  // line pitch
    int rubyGap = -1;           // pixels from the line's edge to the ruby's ink; -1: em box on the edge
    bool rubyInLine = false;    // ruby longer than its base stays within the line's length
};

// Fills one vertical line of cells cells from text, cell top-left corners at (x, top + i * cell),
// and answers its truth. Ruby goes in the half cell right of the line (rubyGap pixels clear of it
// when set); when hanging, a stop that would open the next line goes in cell number cells, below
// the line.
LineTruth fillLine(TextStream& text, GlyphSource& glyphs, InkCanvas& canvas, const Geometry& g,
                   int x, int top, int cells, bool hanging);
