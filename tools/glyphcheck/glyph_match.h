// Every glyph of a generated sheet looked for again in what the pipeline wrote for it, judged on
// the written image alone: the tier's lines found by projection and paired with the truth's in
// reading order, each character matched by its shape near where its line's new place puts it,
// each ruby kana matched beside its base character's new place.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/grey_image.h"
#include "sheet_synth.h"

// What the matching found, summed over tiers and sheets.
struct GlyphTally {
    int tiers = 0, tiersRead = 0;  // a tier is read when its lines pair up one to one
    int chars = 0, charsFound = 0, charsCut = 0;
    int ruby = 0, rubyKept = 0;  // ruby kana
    std::map<int, std::pair<int, int>> rubyByGap;  // ruby gap: kana kept, kana in all
    std::vector<std::string> losses;  // where the first glyphs not found are, and what is there
};

// Matches the glyphs of tier (of the sheet in) in out, written from in, and adds what it finds
// to t; rubyGap is the sheet's ruby gap, for the figures per gap, and where names the sheet and
// tier in the notes of losses. A glyph of a tier whose lines cannot be paired counts as lost.
void matchTierGlyphs(const GreyImage& in, const GreyImage& out, const TierTruth& tier, double em,
                     int rubyGap, const std::string& where, GlyphTally& t);

// One line naming the sheet o describes: seed, tiers, turn, shear and ruby.
std::string describeSheet(const SynthOptions& o);

// Matches every tier of the sheet o describes (truth its truth) in written, what the pipeline
// wrote for it, and adds what it finds to t. The glyphs as printed are taken from the same sheet
// generated without specks of dust: a speck inside a character's box that cleaning took away is no
// part of the character lost. False, with error set, when written is not of the sheet's size or
// the sheet cannot be generated.
bool matchSheetGlyphs(const SynthOptions& o, const SheetTruth& truth, const GreyImage& written, GlyphTally& t,
                      std::string& error);

// Prints the tally's figures on one paragraph, headed by title.
void printGlyphTally(const char* title, const GlyphTally& t);
