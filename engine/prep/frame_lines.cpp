#include "prep/frame_lines.h"

#include <utility>
#include <vector>

namespace {

constexpr int kSegments = 32;
constexpr unsigned char kDark = 155;

// The sheet seen along one side: `along` runs parallel to the side, `across` away from it.
// Lets one routine clear all four sides.
struct SideView {
    GreyImage& image;
    bool rows;  // true: top or bottom side, lines are rows
    int alongLength() const { return rows ? image.width : image.height; }
    int acrossLength() const { return rows ? image.height : image.width; }
    unsigned char& at(int along, int across) { return rows ? image.at(along, across) : image.at(across, along); }
};

bool darkSpan(SideView& v, int across, int from, int to) {
    int dark = 0;
    for (int a = from; a < to; ++a) dark += v.at(a, across) <= kDark;
    return 10 * dark >= 9 * (to - from);
}

void whitenSpan(SideView& v, int across, int from, int to) {
    if (across < 0 || across >= v.acrossLength()) return;
    for (int a = from; a < to; ++a) v.at(a, across) = 255;
}

// The positions across one side, per segment along it, whose span in that segment is dark.
using SideMarks = std::vector<std::vector<int>>;

// Marks the dark spans of the band of `across` values [first, last] of one side; answers true
// when enough segments hold one for the side to have a frame line.
bool markSide(SideView& v, int first, int last, SideMarks& marked) {
    const int length = v.alongLength();
    marked.assign(kSegments, {});
    if (length < kSegments || first > last) return false;
    int segmentsWithLine = 0;
    for (int s = 0; s < kSegments; ++s) {
        const int from = length * s / kSegments, to = length * (s + 1) / kSegments;
        for (int across = first; across <= last; ++across)
            if (darkSpan(v, across, from, to)) marked[s].push_back(across);
        segmentsWithLine += !marked[s].empty();
    }
    return 4 * segmentsWithLine >= 3 * kSegments;
}

// Whitens the marked spans, one pixel more on either side for the line's lighter fringe. A
// segment without a mark (where the line ends, or where another line crossed it and darkened
// the whole span) takes its neighbours' marks.
void clearSide(SideView& v, const SideMarks& marked) {
    const int length = v.alongLength();
    for (int s = 0; s < kSegments; ++s) {
        const int from = length * s / kSegments, to = length * (s + 1) / kSegments;
        std::vector<int> rows = marked[s];
        if (rows.empty()) {
            if (s > 0) rows = marked[s - 1];
            if (s + 1 < kSegments) rows.insert(rows.end(), marked[s + 1].begin(), marked[s + 1].end());
        }
        for (int across : rows)
            for (int d = -1; d <= 1; ++d) whitenSpan(v, across + d, from, to);
    }
}

}  // namespace

int removeFrameLines(GreyImage& image) {
    // All four sides are judged on the sheet as it came, so that clearing one line does not
    // break the others where they cross.
    struct Side {
        SideView view;
        SideMarks marks;
        bool hasLine;
    };
    std::vector<Side> sides;
    for (bool rows : {true, false}) {
        SideView v{image, rows};
        const int depth = v.acrossLength() / 8, far = v.acrossLength() - depth;
        for (const int first : {0, far}) {
            Side side{v, {}, false};
            side.hasLine = markSide(side.view, first, first + depth - 1, side.marks);
            sides.push_back(std::move(side));
        }
    }
    int cleared = 0;
    for (Side& side : sides) {
        if (!side.hasLine) continue;
        clearSide(side.view, side.marks);
        ++cleared;
    }
    return cleared;
}
