// Nothing of the text is lost: generated pages go through the whole pipeline and every glyph of
// the input, character and ruby kana, is looked for again in what was written, by its shape near
// where its line and its base character now stand. TOVEL_GLYPH_SHEETS=N adds N sheets to each
// check.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "glyph_match.h"
#include "sheet_ink.h"
#include "sheet_run.h"
#include "sheet_synth.h"
#include "test_support.h"

namespace {

// A page with ruby on every kanji word that has a reading, set gap pixels from its line, of
// length kana over base characters.
SynthOptions rubyPage(const char* preset, uint64_t seed, int gap, int length, int base, double degrees, double shear) {
    SynthOptions o;
    o.seed = seed;
    EXPECT_TRUE(applyPreset(preset, o));
    o.rubyRate = 1.0;
    o.rubyGapPx = gap;
    o.rubyLength = length;
    o.rubyBase = base;
    o.rotateDegrees = degrees;
    o.shear = shear;
    return o;
}

// The ruby pages of the checks: every gap from 1 to 6 pixels, one to five kana over one or two
// characters, turned either way by up to 1.5 degrees and sheared, on one- and two-tier pages.
std::vector<SynthOptions> rubyPages() {
    std::vector<SynthOptions> pages = {
        rubyPage("novel-page", 2501, 1, 1, 1, -1.5, 0.003),  rubyPage("two-tier", 2502, 2, 2, 2, 1.5, -0.004),
        rubyPage("novel-page", 2503, 3, 3, 1, 0.7, 0.0),     rubyPage("novel-page", 2504, 4, 4, 2, -1.1, 0.004),
        rubyPage("two-tier", 2505, 5, 5, 1, -0.4, 0.002),    rubyPage("novel-page", 2506, 6, 5, 2, 1.3, -0.003),
    };
    for (int i = 0; i < envCount("TOVEL_GLYPH_SHEETS", 0); ++i)
        pages.push_back(rubyPage(i % 2 ? "two-tier" : "novel-page", 2600 + i, 1 + i % 6, 1 + i % 5, 1 + i % 2,
                                 -1.5 + 0.37 * (i % 9), 0.001 * (i % 9 - 4)));
    return pages;
}

std::vector<SynthOptions> handSetPages() {
    std::vector<SynthOptions> pages;
    for (int i = 0; i < 3 + envCount("TOVEL_GLYPH_SHEETS", 0); ++i) {
        SynthOptions o;
        o.seed = 2700 + static_cast<uint64_t>(i);
        EXPECT_TRUE(applyPreset("hand-set", o));
        pages.push_back(o);
    }
    return pages;
}

// What is done to a sheet between generating it and matching: the whole pipeline, or nothing
// and then an optional damage to the unchanged sheet.
enum class Passage { Pipeline, Unchanged };

// Matches the glyphs of every page of pages in what passage makes of them.
template <class Damage>
GlyphTally score(std::vector<SynthOptions> pages, Passage passage, Damage damage) {
    TempDir dir;
    GlyphTally t;
    for (SynthOptions& o : pages) {
        GreyImage sheet, written;
        SheetTruth truth;
        if (passage == Passage::Unchanged) {
            // Unchanged lines must stand upright for the projection that finds them.
            o.rotateDegrees = o.shear = 0;
            std::string error;
            EXPECT_TRUE(synthesizeSheet(o, sheet, truth, error)) << error;
            written = sheet;
            damage(written, truth);
        } else {
            relayoutSheet(o, dir, sheet, truth, written);
        }
        std::string error;
        if (!matchSheetGlyphs(o, truth, written, t, error)) ADD_FAILURE() << error;
    }
    return t;
}

GlyphTally score(std::vector<SynthOptions> pages, Passage passage) {
    return score(std::move(pages), passage, [](GreyImage&, const SheetTruth&) {});
}

// Paints the box of the truth, from the given share of its height down, in the grey of the paper
// round it.
void whiten(GreyImage& image, const Quad& q, double fromShare) {
    const Box b = boundsOf(q);
    const unsigned char paper = static_cast<unsigned char>(paperAround(image, {b.left - 6, b.right + 6, b.top - 6, b.bottom + 6}));
    const int top = b.top + static_cast<int>((b.bottom - b.top) * fromShare);
    for (int y = std::max(top, 0); y <= std::min(b.bottom, image.height - 1); ++y)
        for (int x = std::max(b.left, 0); x <= std::min(b.right, image.width - 1); ++x) image.at(x, y) = paper;
}

// Paints out part of a character's box in the grey of the paper round it: its lower 40 %, or
// across the line its left 40 %. True when that part held a fifth of its ink or more.
bool paintOutPart(GreyImage& image, const Quad& q, bool across) {
    const Box b = boundsOf(q);
    const int paper = paperAround(image, {b.left - 6, b.right + 6, b.top - 6, b.bottom + 6});
    const double whole = inkOf(image, b, paper).mass;
    const Box part = across ? Box{b.left, b.left + (b.right - b.left) * 4 / 10, b.top, b.bottom}
                            : Box{b.left, b.right, b.top + (b.bottom - b.top) * 6 / 10, b.bottom};
    const double inPart = inkOf(image, part, paper).mass;
    for (int y = std::max(part.top, 0); y <= std::min(part.bottom, image.height - 1); ++y)
        for (int x = std::max(part.left, 0); x <= std::min(part.right, image.width - 1); ++x)
            image.at(x, y) = static_cast<unsigned char>(paper);
    return inPart >= 0.2 * whole;
}

}  // namespace

// The check itself: on sheets as generated it finds every glyph whole; with the ruby painted out
// it finds no ruby, and with the lower part of some characters painted out it finds them cut.
TEST(GlyphsOnSheets, TheCheckFindsAnUnchangedSheetWholeAndADamagedOneNot) {
    const std::vector<SynthOptions> pages = {rubyPage("novel-page", 2801, 2, 3, 1, 0, 0), handSetPages().front()};
    const GlyphTally whole = score(pages, Passage::Unchanged);
    printGlyphTally("unchanged sheets", whole);
    EXPECT_EQ(whole.tiersRead, whole.tiers);
    EXPECT_EQ(whole.charsFound, whole.chars);
    EXPECT_EQ(whole.charsCut, 0);
    EXPECT_EQ(whole.rubyKept, whole.ruby);
    EXPECT_GT(whole.ruby, 80);

    const GlyphTally noRuby = score(pages, Passage::Unchanged, [](GreyImage& image, const SheetTruth& truth) {
        for (const PageTruth& page : truth.pages)
            for (const TierTruth& tier : page.tiers)
                for (const LineTruth& line : tier.lines)
                    for (const RubyTruth& ruby : line.ruby) whiten(image, ruby.box, 0);
    });
    printGlyphTally("ruby painted out", noRuby);
    EXPECT_EQ(noRuby.charsFound, noRuby.chars);
    EXPECT_LE(noRuby.rubyKept * 100, noRuby.ruby * 2);

    // Only characters with a fifth of their ink or more in the part painted out count as cut.
    for (const bool across : {false, true}) {
        int damaged = 0;
        const GlyphTally cut = score(pages, Passage::Unchanged, [&damaged, across](GreyImage& image, const SheetTruth& truth) {
            int n = 0;
            for (const PageTruth& page : truth.pages)
                for (const TierTruth& tier : page.tiers)
                    for (const LineTruth& line : tier.lines)
                        for (const CellTruth& cell : line.cells)
                            if (cell.kind == "char" && ++n % 9 == 0) damaged += paintOutPart(image, cell.box, across);
        });
        printGlyphTally(across ? "left part of every ninth character painted out"
                               : "lower part of every ninth character painted out",
                        cut);
        EXPECT_GE(cut.charsCut * 10, damaged * 9);
        EXPECT_LE(cut.charsFound, cut.chars - damaged);
    }
}

// Ruby close to its base character, of every length, on turned and sheared pages keeps its ink
// and its place beside its base character.
TEST(GlyphsOnSheets, RubyAtEveryGapKeepsItsInkBesideItsBase) {
    const GlyphTally t = score(rubyPages(), Passage::Pipeline);
    printGlyphTally("ruby pages through the pipeline", t);
    // 99 % of the kana. The few still lost are ruby longer than its base pressed against the
    // tier's end, and a kana beside a line turned 1.5 degrees whose band the ruby did not join.
    EXPECT_GE(t.rubyKept * 100, t.ruby * 99);
    EXPECT_GE(t.charsFound * 1000, t.chars * 995);
    EXPECT_EQ(t.charsCut, 0);
}

// Uneven hand-set characters on wandering lines are all found again, none of them cut.
TEST(GlyphsOnSheets, HandSetCharactersAreAllFoundAndNoneCut) {
    const GlyphTally t = score(handSetPages(), Passage::Pipeline);
    printGlyphTally("hand-set pages through the pipeline", t);
    EXPECT_GE(t.charsFound * 1000, t.chars * 995);
    EXPECT_EQ(t.charsCut, 0);
}

// Old magazine pages whose box rule runs close to the text and is found as the edge of the book,
// beside a strip of the facing page: the lines the rule took in stay on the page.
TEST(GlyphsOnSheets, OldMagazinePagesKeepTheLinesBesideTheirBoxRule) {
    std::vector<SynthOptions> pages;
    for (const uint64_t seed : {3112, 3118, 3122}) {
        SynthOptions o;
        o.seed = seed;
        EXPECT_TRUE(applyPreset("old-magazine", o));
        pages.push_back(o);
    }
    const GlyphTally t = score(pages, Passage::Pipeline);
    printGlyphTally("old magazine pages with a box rule beside a facing-page strip", t);
    EXPECT_EQ(t.tiersRead, t.tiers);
    EXPECT_GE(t.charsFound * 1000, t.chars * 995);
}
