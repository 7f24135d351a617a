// Character segmentation: one text column cut into its characters, top to bottom, with blank
// cells inserted where the text leaves room for more characters.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// Where the lone commas and stops of text lines stand in their cells. Across: on the right, as
// set in vertical text, or on the left, as in vertical text upside down. Along: high, next to
// the character before them, or low, next to the one after them. Vertical text puts them right
// and high (left and low upside down); horizontal text read on its side puts them left and high
// or right and low.
struct MarkCounts {
    int right = 0;
    int left = 0;
    int vertical = 0;    // right and high, or left and low
    int horizontal = 0;  // left and high, or right and low
};

// Inputs: the grey page image; characters, emptied and refilled; waveY, the page's character
// pitch in pixels (only used to reject columns whose pitch is absurd); refCharHeight, the
// character height the caller expects; column, the text line; reversedCount, incremented for
// every lone piece whose ink sits in the left part of its cell (a turned comma or stop), and
// marks, when given, counting where every lone comma or stop stands (high or low only for one
// with pieces on both sides).
// Result: always 0. The list holds characters (type 2) and zero-height blank cells (type 3);
// the column's LineInfo gets typicalCharHeight, typicalCharSpace and smallLastChar.
// A caller must know: a column whose pitch reaches 4.95 waveY is not a text line: it comes back
// with type 7, lineGroup -1 and its undivided characters; a column without ink leaves the list
// empty and its LineInfo untouched.
int segmentCharacters(const GreyImage& image, HorizontalBandList& characters, double waveY,
                      int refCharHeight, VerticalBand& column, int& reversedCount, MarkCounts* marks = nullptr);

// Inputs: a character too tall for one cell, the wanted number of pieces n, its column and the
// image. Result: n pieces, top to bottom, cut at the cut threshold that yields exactly n.
// A caller must know: when no threshold yields n pieces the character is split evenly.
HorizontalBandList DivideChar(const HorizontalBand& character, int n, const VerticalBand& column,
                              const GreyImage& image);

// n copies of a (n >= 1), stacked top to bottom with integer division of its height at both
// edges; the last keeps a's bottom edge.
HorizontalBandList splitEvenly(const HorizontalBand& a, int n);
