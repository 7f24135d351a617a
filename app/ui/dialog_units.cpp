#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QWidget>

namespace {

// Average width of the Latin letters and the line height of the widget's font.
QSize baseUnits(const QWidget* widget) {
    const QFontMetrics metrics(widget->font());
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int width = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    return QSize(width, metrics.height());
}

}  // namespace

QRect dialogRect(const QWidget* widget, int x, int y, int w, int h) {
    const QSize base = baseUnits(widget);
    return QRect(x * base.width() / 4, y * base.height() / 8, w * base.width() / 4,
                 h * base.height() / 8);
}

int dialogUnitsX(const QWidget* widget, int units) {
    return units * baseUnits(widget).width() / 4;
}
