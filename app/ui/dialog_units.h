// Dialog units: sizes measured against the widget's font, a quarter of the average character
// width across and an eighth of the character height down.
#pragma once

#include <QRect>

class QWidget;

// The rectangle x, y, w, h given in dialog units of widget's font, in pixels.
QRect dialogRect(const QWidget* widget, int x, int y, int w, int h);

// A horizontal extent in dialog units of widget's font, in pixels.
int dialogUnitsX(const QWidget* widget, int units);
