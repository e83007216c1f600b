#include "ui/ApplicationIcon.h"

#include <QColor>
#include <QPainter>
#include <QPen>
#include <QPixmap>

namespace vellrun::ui {

namespace {

// The SVG's 128-unit square drawn into a square of size pixels.
QPixmap Draw(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 128.0, size / 128.0);
    const QColor blue(0x1d, 0x4e, 0x7a), amber(0xf2, 0xb1, 0x34), rule(0x9d, 0xb4, 0xc8),
        sky(0x7f, 0xc4, 0xff);
    painter.setPen(Qt::NoPen);
    painter.setBrush(blue);
    painter.drawRoundedRect(QRectF(8, 8, 112, 112), 14, 14);
    // The report sheet with its heading row, its lines and a column.
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(54, 22, 56, 84), 4, 4);
    painter.setBrush(amber);
    painter.drawRoundedRect(QRectF(54, 22, 56, 14), 4, 4);
    painter.setPen(QPen(rule, 2));
    for (int y = 48; y <= 96; y += 12)
        painter.drawLine(QLineF(58, y, 106, y));
    painter.drawLine(QLineF(74, 40, 74, 102));
    // The tree: a trunk with three branches.
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QLineF(28, 30, 28, 96));
    for (int y = 52; y <= 96; y += 22)
        painter.drawLine(QLineF(28, y, 44, y));
    painter.setPen(Qt::NoPen);
    painter.setBrush(amber);
    painter.drawEllipse(QPointF(28, 28), 9, 9);
    painter.setBrush(sky);
    for (int y = 52; y <= 96; y += 22)
        painter.drawEllipse(QPointF(46, y), 6, 6);
    return pixmap;
}

}  // namespace

QPixmap ApplicationPicture(int size, qreal ratio) {
    QPixmap picture = Draw(qRound(size * ratio));
    picture.setDevicePixelRatio(ratio);
    return picture;
}

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(Draw(size));
    return icon;
}

}  // namespace vellrun::ui
