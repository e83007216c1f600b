#include "ui/ElidingLabel.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace vellrun::ui {

ElidingLabel::ElidingLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

QRect ElidingLabel::TextRoom() const {
    QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    // As QLabel indents: without an indent of its own, a framed label's
    // text stands half an "x" (less the margin) in from the frame.
    int shift = indent();
    if (shift < 0 && frameWidth() > 0)
        shift = fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2 - margin();
    if (shift <= 0) return room;
    if (alignment() & Qt::AlignLeft) room.setLeft(room.left() + shift);
    if (alignment() & Qt::AlignRight) room.setRight(room.right() - shift);
    return room;
}

QString ElidingLabel::ShownText() const {
    return fontMetrics().elidedText(text(), Qt::ElideRight, TextRoom().width());
}

bool ElidingLabel::event(QEvent* event) {
    // Cut, the text shows whole when pointed at, whatever tool tip was set.
    if (event->type() == QEvent::ToolTip && ShownText() != text()) {
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
        return true;
    }
    return QLabel::event(event);
}

void ElidingLabel::paintEvent(QPaintEvent* event) {
    const QString shown = ShownText();
    if (shown == text()) {
        QLabel::paintEvent(event);
        return;
    }
    QFrame::paintEvent(event);
    QPainter painter(this);
    style()->drawItemText(&painter, TextRoom(),
                          static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())),
                          palette(), isEnabled(), shown, foregroundRole());
}

}  // namespace vellrun::ui
