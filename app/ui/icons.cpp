#include "ui/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace {

// Each icon is drawn on a 64-unit square that iconOf scales to the pixmap.
void drawSheet(QPainter& p) {
    p.setPen(QPen(QColor(70, 70, 80), 2));
    p.setBrush(QColor(250, 248, 240));
    p.drawRoundedRect(QRectF(10, 4, 44, 56), 3, 3);
    // Lines of vertical text, read from the right; the last one ends early.
    p.setPen(QPen(QColor(40, 40, 50), 3.2, Qt::SolidLine, Qt::RoundCap));
    const double bottoms[] = {52, 52, 44, 52, 30};
    for (int k = 0; k < 5; ++k) {
        const double x = 46 - 7 * k;
        p.drawLine(QPointF(x, 12), QPointF(x, bottoms[k]));
    }
    p.setPen(QPen(QColor(200, 40, 40), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(18, 38), QPointF(18, 52));
}

void drawRun(QPainter& p) {
    p.setPen(QPen(QColor(30, 110, 40), 3));
    p.setBrush(QColor(60, 170, 70));
    p.drawEllipse(QRectF(4, 4, 56, 56));
    QPainterPath triangle;
    triangle.moveTo(25, 18);
    triangle.lineTo(47, 32);
    triangle.lineTo(25, 46);
    triangle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(triangle);
}

void drawCog(QPainter& p) {
    QPainterPath wheel;
    constexpr int kTeeth = 8;
    for (int k = 0; k < kTeeth * 4; ++k) {
        // Four corners per tooth: two on the outer circle, two on the inner one.
        const double angle = (k - 0.5) * M_PI / (kTeeth * 2);
        const double radius = (k % 4 < 2) ? 29 : 22;
        const QPointF point(32 + radius * qCos(angle), 32 + radius * qSin(angle));
        if (k == 0) {
            wheel.moveTo(point);
        } else {
            wheel.lineTo(point);
        }
    }
    wheel.closeSubpath();
    wheel.addEllipse(QPointF(32, 32), 9, 9);
    wheel.setFillRule(Qt::OddEvenFill);
    p.setPen(QPen(QColor(60, 60, 70), 2));
    p.setBrush(QColor(140, 145, 155));
    p.drawPath(wheel);
}

QIcon iconOf(void (*draw)(QPainter&), std::initializer_list<int> sizes) {
    QIcon icon;
    for (const int size : sizes) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        {
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            p.scale(size / 64.0, size / 64.0);
            draw(p);
        }
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QIcon programIcon() { return iconOf(drawSheet, {16, 24, 32, 48, 64, 128, 256}); }

QIcon runTabIcon() { return iconOf(drawRun, {kTabIconSize, kTabIconSize * 2}); }

QIcon settingsTabIcon() { return iconOf(drawCog, {kTabIconSize, kTabIconSize * 2}); }
