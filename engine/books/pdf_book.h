// PDF books through MuPDF: taking their pages out as images, and writing images as a PDF.
#pragma once

#include <string>
#include <vector>

#include "books/book_contents.h"
#include "books/book_limits.h"

// Takes every page of the PDF at path out into workFolder as an image file named
// "BOOK page N.EXT" (N from 1). A page that is one upright image covering the page is taken at
// its own pixels: a JPEG keeps its bytes (.jpg), any other encoding is decoded and stored
// losslessly (.png). Any other page is rendered in grey at the resolution of its largest image,
// 300 dpi when it has none (.png). Each page's size in points is kept. Answers 0,
// kBookEncrypted, or kBookDamaged (contents.message says why; a file whose structure had to be
// rebuilt, as a file cut short, is damaged). A page that cannot be taken out, or that holds or
// renders to more pixels than limits allows, is a page refused (its result set; nothing is
// decoded when too large), not a failure of the book. Runs in the calling process: a caller that
// must survive a broken file runs it through readBook.
int takeOutPdf(const std::string& path, const std::string& workFolder, const BookLimits& limits,
               BookContents& contents);

// One page of a PDF being written: the image file that fills it, and the size of its pixels in
// points (the page is the image's pixels at that size).
struct PdfPageOut {
    std::string image;
    double pointsPerPixelX = 0.24;  // 300 dpi
    double pointsPerPixelY = 0.24;
};

// Writes pages in order as a PDF at path: a JPEG is embedded as it is, any other image
// losslessly (Flate). Answers true when complete; on false, message says why and path may hold a
// partial file for the caller to remove.
bool writePdf(const std::string& path, const std::vector<PdfPageOut>& pages, std::string& message);
