#include "sheet_truth.h"

#include <algorithm>
#include <cstdio>

Quad Quad::box(double left, double top, double right, double bottom) {
    Quad q;
    q.p[0] = {left, top};
    q.p[1] = {right, top};
    q.p[2] = {right, bottom};
    q.p[3] = {left, bottom};
    return q;
}

Quad Quad::bounds() const {
    double left = p[0].x, top = p[0].y, right = p[0].x, bottom = p[0].y;
    for (const Point& c : p) {
        left = std::min(left, c.x);
        top = std::min(top, c.y);
        right = std::max(right, c.x);
        bottom = std::max(bottom, c.y);
    }
    return box(left, top, right, bottom);
}

namespace {

class JsonWriter {
public:
    std::string text;

    void raw(const char* s) { text += s; }
    void number(double v) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.2f", v);
        text += buf;
    }
    void integer(long v) { text += std::to_string(v); }
    void string(const std::string& s) {
        text += '"';
        for (char c : s) {
            if (c == '"' || c == '\\') text += '\\';
            text += c;
        }
        text += '"';
    }
    void key(const char* k) {
        string(k);
        text += ':';
    }
    void quad(const Quad& q) {
        text += '[';
        for (int i = 0; i < 4; ++i) {
            if (i) text += ',';
            text += '[';
            number(q.p[i].x);
            text += ',';
            number(q.p[i].y);
            text += ']';
        }
        text += ']';
    }
    // ,"name":[...] when present; nothing otherwise, so sheets without it keep their text.
    void optionalQuad(bool present, const char* name, const Quad& q) {
        if (!present) return;
        raw(",");
        key(name);
        quad(q);
    }
    // {"label":"value","box":[...]}
    void labelledBox(const char* label, const std::string& value, const Quad& q) {
        raw("{");
        key(label);
        string(value);
        raw(",");
        key("box");
        quad(q);
        raw("}");
    }
    template <class T, class F>
    void list(const std::vector<T>& items, F each) {
        text += '[';
        for (size_t i = 0; i < items.size(); ++i) {
            if (i) text += ',';
            each(items[i]);
        }
        text += ']';
    }
};

}  // namespace

std::string truthJson(const SheetTruth& t) {
    JsonWriter w;
    w.raw("{");
    w.key("width");
    w.integer(t.width);
    w.raw(",");
    w.key("height");
    w.integer(t.height);
    w.raw(",");
    w.key("dpi");
    w.integer(t.dpi);
    w.raw(",");
    w.key("turn");
    w.integer(t.turn);
    w.raw(",");
    w.key("skewDegrees");
    w.number(t.skewDegrees);
    w.raw(",");
    w.key("shear");
    char shear[32];
    std::snprintf(shear, sizeof shear, "%.5f", t.shear);
    w.raw(shear);
    w.raw(",");
    w.key("linePitch");
    w.number(t.linePitch);
    w.raw(",");
    w.key("charPitch");
    w.number(t.charPitch);
    w.optionalQuad(t.hasSeam, "seam", t.seam);
    w.optionalQuad(t.hasSliver, "sliver", t.sliver);
    w.optionalQuad(t.hasBookEdge, "bookEdge", t.bookEdge);
    w.raw(",\n");
    w.key("pages");
    w.list(t.pages, [&w](const PageTruth& page) {
        w.raw("\n{");
        w.key("box");
        w.quad(page.box);
        if (page.hasHeader) {
            w.raw(",");
            w.key("header");
            w.labelledBox("text", page.headerText, page.header);
        }
        if (page.hasFooter) {
            w.raw(",");
            w.key("footer");
            w.labelledBox("text", page.footerText, page.footer);
        }
        w.optionalQuad(page.hasStamp, "stamp", page.stamp);
        if (!page.rules.empty()) {
            w.raw(",");
            w.key("rules");
            w.list(page.rules, [&w](const Quad& q) { w.quad(q); });
        }
        w.raw(",");
        w.key("tiers");
        w.list(page.tiers, [&w](const TierTruth& tier) {
            w.raw("\n{");
            w.key("box");
            w.quad(tier.box);
            w.raw(",");
            w.key("blocks");
            w.list(tier.blocks, [&w](const BlockTruth& b) { w.labelledBox("kind", b.kind, b.box); });
            w.raw(",");
            w.key("lines");
            w.list(tier.lines, [&w](const LineTruth& line) {
                w.raw("\n{");
                w.key("box");
                w.quad(line.box);
                w.raw(",");
                w.key("cells");
                w.list(line.cells, [&w](const CellTruth& c) {
                    w.raw("\n{");
                    w.key("kind");
                    w.string(c.kind);
                    w.raw(",");
                    w.key("text");
                    w.string(c.text);
                    w.raw(",");
                    w.key("box");
                    w.quad(c.box);
                    w.raw("}");
                });
                w.raw(",");
                w.key("ruby");
                w.list(line.ruby, [&w](const RubyTruth& r) { w.labelledBox("text", r.text, r.box); });
                w.raw("}");
            });
            w.raw("}");
        });
        w.raw("}");
    });
    w.raw("}\n");
    return w.text;
}
