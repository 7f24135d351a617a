#include "bands/band_records.h"

#include <algorithm>
#include <cstdlib>

#include "core/trace.h"

namespace {

// Deep copy of a nested list: the target gets its own list, the counted elements are assigned
// one by one, and the count follows. A source without a list removes the target's.
template <class List>
void copyNested(std::unique_ptr<List>& target, const List* source) {
    if (!source) {
        target.reset();
        return;
    }
    if (!target) target = std::make_unique<List>();
    const uint32_t n = source->count();
    if (n > 0) target->extend(n - 1);
    for (uint32_t i = 0; i < n; ++i) (*target)[i] = (*source)[i];
    target->setCount(n);
}

}  // namespace

VerticalBand::VerticalBand() = default;
VerticalBand::~VerticalBand() = default;

VerticalBand::VerticalBand(const VerticalBand& other) { *this = other; }

VerticalBand& VerticalBand::operator=(const VerticalBand& other) {
    if (this == &other) return *this;
    yTop = other.yTop;
    yBottom = other.yBottom;
    xLeftTop = other.xLeftTop;
    xLeftBottom = other.xLeftBottom;
    xRightTop = other.xRightTop;
    xRightBottom = other.xRightBottom;
    type = other.type;
    destLeft = other.destLeft;
    destRight = other.destRight;
    copyNested(rows_, other.rows_.get());
    if (other.line_) {
        if (!line_) line_ = std::make_unique<LineInfo>();
        *line_ = *other.line_;
    } else {
        line_.reset();
    }
    return *this;
}

HorizontalBandList& VerticalBand::rows() {
    if (!rows_) rows_ = std::make_unique<HorizontalBandList>();
    return *rows_;
}

LineInfo& VerticalBand::line() {
    if (!line_) line_ = std::make_unique<LineInfo>();
    return *line_;
}

HorizontalBand::HorizontalBand() = default;
HorizontalBand::~HorizontalBand() = default;

HorizontalBand::HorizontalBand(const HorizontalBand& other) { *this = other; }

HorizontalBand& HorizontalBand::operator=(const HorizontalBand& other) {
    if (this == &other) return *this;
    xLeft = other.xLeft;
    xRight = other.xRight;
    yTopLeft = other.yTopLeft;
    yBottomLeft = other.yBottomLeft;
    yTopRight = other.yTopRight;
    yBottomRight = other.yBottomRight;
    type = other.type;
    destTop = other.destTop;
    destBottom = other.destBottom;
    unusedValue = other.unusedValue;
    unusedCount = other.unusedCount;
    baryX = other.baryX;
    mark = other.mark;
    copyNested(columns_, other.columns_.get());
    return *this;
}

VerticalBandList& HorizontalBand::columns() {
    if (!columns_) columns_ = std::make_unique<VerticalBandList>();
    return *columns_;
}

void VerticalBandList::removeAt(uint32_t i) {
    const uint32_t n = count();
    if (n == 0) return;
    for (uint32_t k = i; k + 1 < n; ++k) (*this)[k] = (*this)[k + 1];
    setCount(n - 1);
}

void VerticalBandList::appendAll(const VerticalBandList& other) {
    const uint32_t n = other.count();
    for (uint32_t k = 0; k < n; ++k) append(other[k]);
}

void HorizontalBandList::insertAt(uint32_t i, const HorizontalBand& band) {
    const uint32_t n = count();
    const HorizontalBand copy(band);  // band may live in this list
    extend(n);
    for (uint32_t k = n; k > i; --k) (*this)[k] = (*this)[k - 1];
    (*this)[i] = copy;
    setCount(n + 1);
}

void HorizontalBandList::removeAt(uint32_t i) {
    const uint32_t n = count();
    if (n == 0) return;
    for (uint32_t k = i; k + 1 < n; ++k) (*this)[k] = (*this)[k + 1];
    setCount(n - 1);
}

LineInfo& getLineInfo(VerticalBand& band) { return band.line(); }

int bandWidth(const VerticalBand& b) {
    return ((b.xRightTop - b.xLeftTop) + (b.xRightBottom - b.xLeftBottom)) / 2 + 1;
}

bool lopsidedBand(const VerticalBand& c) {
    const int topWidth = c.xRightTop - c.xLeftTop + 1, bottomWidth = c.xRightBottom - c.xLeftBottom + 1;
    return 4 * std::abs(topWidth - bottomWidth) > std::max(topWidth, bottomWidth);
}

int bandHeight(const HorizontalBand& b) {
    return ((b.yBottomLeft - b.yTopLeft) + (b.yBottomRight - b.yTopRight)) / 2 + 1;
}

void dumpVerticalBands(const VerticalBandList& list) {
    for (const VerticalBand& b : list) {
        trace("(%d~%d,%d)-(%d~%d,%d) w=%d type%d\n", b.xLeftTop, b.xRightTop, b.yTop,
              b.xLeftBottom, b.xRightBottom, b.yBottom, bandWidth(b), b.type);
    }
}

void dumpHorizontalBands(const HorizontalBandList& list) {
    for (const HorizontalBand& b : list) {
        trace("(%d,%d~%d)-(%d,%d~%d) type%d h=%d baryX=%d\n", b.xLeft, b.yTopLeft, b.yBottomLeft,
              b.xRight, b.yTopRight, b.yBottomRight, b.type, bandHeight(b), b.baryX);
    }
}
