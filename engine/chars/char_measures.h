// Character measures and shape tests: the typical height and pitch of the characters of a column,
// and the small tests that tell whether one piece of a column is punctuation, a bracket or a
// vertical bar, how wide its ink is, and whether a gap between two pieces is crossed by ink.
// They read the grey page image and the band geometry; none of them changes a band.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// Where a small, roughly square blob sits across its cell. The codes are traced as numbers.
enum PunctuationType : int {
    ReversedPunctuation = -1,  // in the left part of the cell (a comma or stop of a turned page)
    NotPunctuation = 0,
    Punctuation = 1,           // in the right part of the cell (a vertical comma or full stop)
    MiddleDot = 2,             // centred across the cell
};

// The shape of a thin stroke drawn across the cell.
enum BracketType : int {
    NotBracket = 0,
    OpeningBracket = 1,  // ends low, middle high
    ClosingBracket = 2,  // ends high, middle low
};

// The identifier of a code ("MiddleDot"), and the label the traces print for it ("中黒"); the
// label of NotPunctuation and of an unknown code is "".
const char* punctuationName(PunctuationType type);
const char* punctuationLabel(PunctuationType type);

// Likewise for brackets; the label of NotBracket and of an unknown code is "".
const char* bracketName(BracketType type);
const char* bracketLabel(BracketType type);

// The typical character height of a column: the characters are grouped by height (factor 1.14)
// and the best populated group whose tallest member lies strictly between refCharHeight / 4 and
// 3 * refCharHeight gives the height, possibly replaced by the next taller group or by the second
// best one. Mode 2 answers that height; mode 3 (column is then used) raises it to at least
// 76% of the column width and, unless refCharHeight exceeds twice the column width, to 76% of
// refCharHeight. Any mode other than 3 behaves as 2.
// Result: 0 without characters; refCharHeight when no group qualifies (the mode-3 floor is then
// not applied). Traces the groups and the decision.
int computeCharHeight(const HorizontalBandList& characters, const VerticalBand& column,
                      int refCharHeight, int mode);

// The typical character pitch (top to top) of a column of characters whose height is charHeight:
// the median of the pitches in front of every character that is not small (small punctuation
// counts, as it fills a cell), never less than trunc(1.05f * charHeight).
// Result: trunc(1.05f * charHeight) when there are fewer than two characters or no pitch counts.
// mode is 3, the only pitch measure there is; the argument is accepted for symmetry with
// computeCharHeight. Traces the median and the result.
int computeCharSpace(const HorizontalBandList& characters, const GreyImage& image, int charHeight,
                     int mode = 3);

// Whether band holds a small, roughly square blob of ink (a comma, full stop or middle dot) for
// characters of height charHeight, and where it sits across the band.
// The caller must know: only pieces with trunc(0.104 * H) < height < trunc(0.4 * H) can be
// anything but NotPunctuation, whatever their ink.
PunctuationType classifyPunctuation(const HorizontalBand& band, const GreyImage& image,
                                    int charHeight);

// Whether band holds a thin curved stroke across its width (a bracket of vertical text) for
// characters of height charHeight, and which way it bends.
// The caller must know: only pieces lower than trunc(0.4 * H) are tested, and a stroke that
// leaves a quarter of the band's columns without ink, or has no ink in its middle column, is
// NotBracket.
BracketType classifyBracket(const HorizontalBand& band, const GreyImage& image, int charHeight);

// Whether band holds a thin, straight, nearly vertical stroke (a long vowel mark or a dash of
// vertical text) for the reference height refHeight.
// The caller must know: the stroke may lean left freely but not right (a fitted slope of 0.2
// column per row or more rejects it), and it must be narrower than a quarter of the band.
bool isVerticalBar(const HorizontalBand& band, const GreyImage& image, int refHeight);

// The leftmost and the rightmost column of band holding, between the band's top and bottom
// edges, a pixel of grey value at most 117.
// The caller must know: both are -1 when no column holds ink; pixels outside the image count as
// white.
void inkExtentX(const HorizontalBand& band, const GreyImage& image, int& left, int& right);

// The lightest of the darkest values of the rows of band, walked along its longer side with
// grey values interpolated between pixel rows.
// The caller must know: a band with no rows (bottom above top, as between touching pieces)
// gives -10000.0; at most 129 means every row meets dark ink, above 129 some row is clean.
double maxMinValue(const HorizontalBand& band, const GreyImage& image);
