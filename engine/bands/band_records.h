// Band records: the strips between two slanted edges that describe every region the layout
// engine finds (pages, columns, tiers, characters, fillers, output rectangles), and their lists.
//
// A band owns its nested list and, for a vertical band, its LineInfo; copies are deep. Bands are
// never shared between threads (each sheet is analysed by one thread and its bands stay private
// to that call), so copies take no lock.
#pragma once

#include <cstdint>
#include <memory>

#include "core/arrays.h"

// The per-line record hung from a column. Created on first use all zero with lineGroup -1.
struct LineInfo {
    double reserved0 = 0.0;  // four leading fields no stage reads; carried and copied as found
    int32_t reserved1 = 0;
    int32_t reserved2 = 0;
    unsigned char reserved3 = 0;
    int32_t typicalCharHeight = 0;
    int32_t typicalCharSpace = 0;
    int32_t headBlanks = 0;
    int32_t tailBlanks = 0;
    int32_t smallLastChar = 0;
    double slopeT = 0.0;
    double slopeB = 0.0;
    unsigned char reliable = 0;
    int32_t lineGroup = -1;
};

class HorizontalBandList;

// A page, a column or a filler strip: from row yTop to row yBottom, between a left and a right
// edge each given by its x at those two rows (right edge inclusive).
class VerticalBand {
public:
    int yTop = 0;
    int yBottom = 0;
    int xLeftTop = 0;
    int xLeftBottom = 0;
    int xRightTop = 0;
    int xRightBottom = 0;
    int type = 0;
    int destLeft = 0;
    int destRight = 0;

    VerticalBand();
    VerticalBand(const VerticalBand& other);
    VerticalBand& operator=(const VerticalBand& other);
    ~VerticalBand();

    // The nested list of sub-bands, created empty on first use.
    HorizontalBandList& rows();
    bool hasRows() const { return rows_ != nullptr; }
    // The nested list, or nullptr when it was never created.
    const HorizontalBandList* rowsIfAny() const { return rows_.get(); }

    // The line record, created on first use.
    LineInfo& line();
    bool hasLine() const { return line_ != nullptr; }
    // The line record, or nullptr when it was never created.
    const LineInfo* lineIfAny() const { return line_.get(); }

private:
    std::unique_ptr<HorizontalBandList> rows_;
    std::unique_ptr<LineInfo> line_;
};

class VerticalBandList;

// The type of a row that covers a block the analysis could not lay out (no text line in it): it
// was put back as it was, and nothing inside it is whitened.
constexpr int kRowKeptWhole = 6;

// A tier, a row, a character or an output rectangle: from column xLeft to column xRight, between
// a top and a bottom edge each given by its y at those two columns (bottom edge inclusive).
class HorizontalBand {
public:
    int xLeft = 0;
    int xRight = 0;
    int yTopLeft = 0;
    int yBottomLeft = 0;
    int yTopRight = 0;
    int yBottomRight = 0;
    int type = 0;
    int destTop = 0;
    int destBottom = 0;
    double unusedValue = 0.0;  // zero at construction, copied with the band, read by no stage
    int unusedCount = 0;       // likewise
    int baryX = 0;
    unsigned char mark = 0;

    HorizontalBand();
    HorizontalBand(const HorizontalBand& other);
    HorizontalBand& operator=(const HorizontalBand& other);
    ~HorizontalBand();

    // The nested list of columns found inside this band, created empty on first use.
    VerticalBandList& columns();
    bool hasColumns() const { return columns_ != nullptr; }
    const VerticalBandList* columnsIfAny() const { return columns_.get(); }

private:
    std::unique_ptr<VerticalBandList> columns_;
};

class VerticalBandList : public sList<VerticalBand> {
public:
    VerticalBandList() = default;
    // A list of capacity default bands of which count are in use.
    VerticalBandList(uint32_t count, uint32_t capacity) : sList<VerticalBand>(count, capacity) {}

    // Moves elements i+1 .. count-1 down one place; the last slot keeps a stale copy.
    void removeAt(uint32_t i);
    // Appends every element of other in order.
    void appendAll(const VerticalBandList& other);
};

class HorizontalBandList : public sList<HorizontalBand> {
public:
    HorizontalBandList() = default;
    HorizontalBandList(uint32_t count, uint32_t capacity) : sList<HorizontalBand>(count, capacity) {}

    // Moves elements count-1 .. i up one place, stores band at i.
    void insertAt(uint32_t i, const HorizontalBand& band);
    void removeAt(uint32_t i);
};

// The band's line record, created on first use all zero with lineGroup -1.
LineInfo& getLineInfo(VerticalBand& band);

// Width of a vertical band: the mean of its top and bottom widths, plus one.
int bandWidth(const VerticalBand& band);

// True for a band much wider at one end than at the other (by more than a quarter of the wider
// end): one of its edges missed its line there.
bool lopsidedBand(const VerticalBand& band);

// Height of a horizontal band: the mean of its left and right heights, plus one.
int bandHeight(const HorizontalBand& band);

// One line per band on the trace output: "(%d~%d,%d)-(%d~%d,%d) w=%d type%d\n".
void dumpVerticalBands(const VerticalBandList& list);

// One line per band on the trace output: "(%d,%d~%d)-(%d,%d~%d) type%d h=%d baryX=%d\n".
void dumpHorizontalBands(const HorizontalBandList& list);
