#include "synth_options.h"

#include "random.h"

bool paperSize(const std::string& name, double& widthMm, double& heightMm) {
    struct Paper {
        const char* name;
        double w, h;
    };
    static const Paper papers[] = {{"A4", 210, 297}, {"A5", 148, 210}, {"A6", 105, 148},
                                   {"B5", 182, 257}, {"B6", 128, 182}};
    for (const Paper& p : papers) {
        if (name == p.name) {
            widthMm = p.w;
            heightMm = p.h;
            return true;
        }
    }
    return false;
}

const char* presetList() {
    return "novel-page, novel-spread, two-tier, rotated, magazine, report-page, old-magazine, clean-page, hand-set, blank";
}

bool applyPreset(const std::string& name, SynthOptions& o) {
    SynthRandom r(o.seed * 7919 + 17);
    // A book page as a flatbed scanner sees it: slightly turned, tinted, a little soft.
    auto scanned = [&] {
        o.rotateDegrees = r.uniform(-1.2, 1.2);
        o.shear = r.uniform(-0.004, 0.004);
        o.paperTone = r.between(228, 248);
        o.gradient = r.uniform(0.0, 0.12);
        o.vignette = r.uniform(0.0, 0.15);
        o.speckles = r.uniform(0.2, 1.5);
        o.blur = r.uniform(0.4, 0.9);
        o.jpegQuality = r.between(80, 92);
    };
    if (name == "novel-page") {
        o.paper = r.chance(0.5) ? "A6" : "B6";
        o.fontPoints = r.uniform(8.5, 9.5);
        o.lineSpacing = r.uniform(1.6, 1.85);
        scanned();
    } else if (name == "novel-spread") {
        o.paper = r.chance(0.5) ? "A6" : "B6";
        o.spread = true;
        o.fontPoints = r.uniform(8.5, 9.5);
        o.lineSpacing = r.uniform(1.6, 1.85);
        scanned();
        o.gutter = r.uniform(0.3, 0.6);
        // Half of the spreads show the binding as a dark strip, the others only its shadow.
        if (r.chance(0.5)) o.bindingMm = r.uniform(1.5, 4.0);
        o.borderPx = r.between(0, 40);
    } else if (name == "two-tier") {
        o.paper = "B5";
        o.tiers = 2;
        o.fontPoints = r.uniform(8.0, 9.0);
        o.lineSpacing = r.uniform(1.6, 1.8);
        scanned();
    } else if (name == "rotated") {
        o.paper = r.chance(0.5) ? "A6" : "B6";
        o.fontPoints = r.uniform(8.5, 9.5);
        scanned();
        static const int turns[] = {90, 180, 270};
        o.turn = turns[r.between(0, 2)];
    } else if (name == "magazine") {
        o.paper = "A4";
        o.tiers = 2;
        o.fontPoints = r.uniform(8.0, 9.0);
        o.lineSpacing = r.uniform(1.55, 1.75);
        o.picture = true;
        o.horizontalBlock = true;
        scanned();
    } else if (name == "report-page") {
        // Horizontal writing, left to right, as in reports and textbooks.
        o.paper = "A4";
        o.horizontalText = true;
        o.fontPoints = r.uniform(10.0, 11.0);
        o.lineSpacing = r.uniform(1.6, 1.9);
        o.rubyRate = 0.0;
        scanned();
    } else if (name == "old-magazine") {
        // A magazine of the 1880s, scanned from a bound volume: two framed tiers of small type
        // with much ruby on yellowed paper; a sliver of the facing page across the gutter, on
        // the page's inner side, and the edges of the other leaves on its outer side.
        o.paper = r.chance(0.5) ? "A5" : "B5";
        o.tiers = 2;
        o.frames = true;
        o.fontPoints = r.uniform(7.5, 9.0);
        o.lineSpacing = r.uniform(1.55, 1.8);
        o.rubyRate = r.uniform(0.1, 0.3);
        scanned();
        o.rotateDegrees = r.uniform(-1.0, 1.0);
        o.blur = r.uniform(0.3, 0.6);
        o.paperTone = r.between(215, 240);
        const bool innerLeft = (o.seed % 2) == 0;  // as the layout sets a single page
        if (r.chance(0.8)) {
            o.sliver = innerLeft ? "left" : "right";
            o.sliverShare = r.uniform(0.03, 0.07);
        }
        if (r.chance(0.75)) {
            o.bookEdge = innerLeft ? "right" : "left";
            o.bookEdgeMm = r.uniform(2.5, 6.0);
        }
        o.stamp = r.chance(0.4);
    } else if (name == "clean-page") {
        o.paper = "B6";
        o.fontPoints = 9.0;
        o.paperTone = 255;
        o.jpegQuality = 95;
    } else if (name == "hand-set") {
        // A page written by hand: every character a little off in size, place and angle, lines
        // that wander and differ in width. Handwriting carries no ruby here.
        o.paper = r.chance(0.5) ? "A6" : "B6";
        o.fontPoints = r.uniform(9.0, 10.5);
        o.lineSpacing = r.uniform(1.6, 1.9);
        o.rubyRate = 0.0;
        o.handSet = true;
        scanned();
    } else if (name == "blank") {
        o.paper = "A5";
        o.header = false;
        o.pageNumber = false;
        o.charsPerLine = -1;  // no text at all
        scanned();
    } else {
        return false;
    }
    return true;
}
