// Character segmentation: one text column cut into its characters, top to bottom, with blank
// cells inserted where the text leaves room for more characters.
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"

// Inputs: the grey page image; characters, emptied and refilled; waveY, the page's character
// pitch in pixels (only used to reject columns whose pitch is absurd); refCharHeight, the
// character height the caller expects; column, the text line; reversedCount, incremented for
// every lone piece whose ink sits in the left part of its cell (a turned comma or stop), and
// uprightCount, when given, for every lone piece whose ink sits in the right part (a comma or
// stop the right way up).
// Result: always 0. The list holds characters (type 2) and zero-height blank cells (type 3);
// the column's LineInfo gets typicalCharHeight, typicalCharSpace and smallLastChar.
// A caller must know: a column whose pitch reaches 4.95 waveY is not a text line: it comes back
// with type 7, lineGroup -1 and its undivided characters; a column without ink leaves the list
// empty and its LineInfo untouched.
int segmentCharacters(const GreyImage& image, HorizontalBandList& characters, double waveY,
                      int refCharHeight, VerticalBand& column, int& reversedCount, int* uprightCount = nullptr);

// Inputs: a character too tall for one cell, the wanted number of pieces n, its column and the
// image. Result: n pieces, top to bottom, cut at the cut threshold that yields exactly n.
// A caller must know: when no threshold yields n pieces the character is split evenly.
HorizontalBandList DivideChar(const HorizontalBand& character, int n, const VerticalBand& column,
                              const GreyImage& image);

// n copies of a (n >= 1), stacked top to bottom with integer division of its height at both
// edges; the last keeps a's bottom edge.
HorizontalBandList splitEvenly(const HorizontalBand& a, int n);
