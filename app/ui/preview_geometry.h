// Where the preview of a sheet goes inside the execution page.
#pragma once

#include <QRect>
#include <QSize>

// Left edge, in pixels, of the preview area; the Start button lives to its left.
constexpr int kPreviewLeft = 150;

// The preview area of a page whose client size is client: from x = kPreviewLeft to one pixel
// short of the right edge, from the top to one pixel short of the bottom. Empty when the page is
// too small.
QRect previewArea(QSize client);

// The rectangle inside area where an image of size image is drawn: as large as fits with the
// image's proportions, centred across the free direction (a relatively taller image keeps the
// area's height and takes width * area height / height pixels of width). An image with the
// area's aspect ratio fills it exactly. Empty when either size is empty.
QRect previewPlacement(QSize image, const QRect& area);
