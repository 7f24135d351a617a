// Reading ink back from generated sheets and from what the pipeline wrote for them: boxes of the
// truth in pixels, runs of a projection, the ink of a box against its paper.
#pragma once

#include <algorithm>
#include <vector>

#include "core/grey_image.h"
#include "sheet_synth.h"

inline bool dark(const GreyImage& image, int x, int y) { return image.at(x, y) < 128; }

// A run of consecutive inked positions of a projection.
struct Run {
    int first = 0, last = 0;
    long long ink = 0;
    int size() const { return last - first + 1; }
};

// The runs of non-zero entries of profile, whose entry 0 stands at position offset.
std::vector<Run> runsOf(const std::vector<long long>& profile, int offset);

// The runs of a column projection that stand for text lines, characters em pixels wide: those
// at least 0.8 em wide (ruby, half size, and specks are narrower), and a run of narrow marks
// (closing brackets) at least 0.3 em wide that stands apart from them, where ruby would run
// beside a line. In the order of runs.
std::vector<Run> lineRuns(const std::vector<Run>& runs, double em);

// The middle element of v (the upper one of an even count); v must not be empty.
template <class T>
T median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A box of whole pixels, all four edges included.
struct Box {
    int left = 0, right = 0, top = 0, bottom = 0;
};

// The pixels that a quad of the truth touches.
Box boundsOf(const Quad& q);

// The ink of a box and where it lies.
struct Ink {
    long long count = 0;  // dark pixels
    double mass = 0;      // darkness below the paper's grey, summed: resampling keeps it
    double meanY = 0;     // of the dark pixels; the box's middle when there are none
    double meanX = 0;     // mass-weighted
    double squareX = 0;   // mass-weighted mean of x * x
};

// The ink of box b of image, paper being the grey of blank paper there; the part of b outside
// the image counts as blank.
Ink inkOf(const GreyImage& image, Box b, int paper);

// The grey of the paper under a box of the input, where lighting and vignetting make it vary:
// the lighter quarter of the box's pixels (a character covers far less than three quarters).
// 255 for a box wholly outside the image.
int paperAround(const GreyImage& image, Box b);
