// The column stage: each tier of a page cut into its text lines and blocks. One of the two entry
// points through which the analysis recurses into blocks (the line stage is the other).
#pragma once

#include "bands/band_records.h"
#include "core/grey_image.h"
#include "pipeline/layo_options.h"

// Runs findColumns on every tier (row of type 1) of page, in order, each with its share of the
// progress (share divided by the number of tiers). Answers the first non-zero result, or 0
// (also when a stop was requested: the caller checks for that).
int findColumnsInPage(GreyImage& image, double waveX, double waveY, VerticalBand& page, int depth,
                      float share, const LayoOptions& options);

// Cuts the tier row into columns (row.columns(), left to right): found, subdivided where wider
// than their neighbours, merged, cleaned and typed 4 (a text line), 5 (a narrow band attached
// after a line), 2 (a block) or 7 (the only column, a block), then handed to the line stage.
// Answers -1 when stopped, 0 when no column was found, else the line stage's result (1: the
// sheet seems upside down; 2: a line could not be placed).
int findColumns(GreyImage& image, double waveX, double waveY, HorizontalBand& row, int depth,
                float share, const LayoOptions& options);

// Three consecutive text lines (type 4) that fill 0.928 of their joint span at their top
// and at their bottom, within 1.1 (M + waveX), become one block (type 2): solid text or a table.
// M is the tier's median line width.
// A caller must know: lines filling their span at one end only stay lines; a band whose edge
// strayed at the other end, or whose edges cross at one end, does not make a block of its
// neighbours.
void joinThreeLineBlocks(VerticalBandList& columns, double waveX, int M);

// Inputs: a tier's columns, its image, the vertical wave length and the median line width M.
// Makes a block (type 2, traced "col%d:composite.") of every text line at least 1.2 M wide
// whose ink leaves its middle for a second column (isComposite). A caller must know: a band
// much wider at one end than at the other (lopsidedBand) stays a line, its ink wandering
// across it because an edge missed the line.
void markCompositeLines(VerticalBandList& columns, const GreyImage& image, double waveY, int M);
