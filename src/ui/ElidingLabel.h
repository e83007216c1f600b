#pragma once

#include <QLabel>

namespace vellrun::ui {

// A one-line label of plain text (a status bar panel: names and values are
// shown as they are, not as markup) that keeps its whole text but, when
// that is wider than the label, shows it cut with "…" and shows the whole
// text as its tool tip when pointed at. text() and the name a screen reader
// speaks stay the whole text. While the text fits it is an ordinary label,
// selectable as the label allows.
class ElidingLabel final : public QLabel {
    Q_OBJECT

public:
    explicit ElidingLabel(QWidget* parent = nullptr);

    // The text as the label shows it at its width.
    QString ShownText() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The room the text has: the contents less the label's margin and indent.
    QRect TextRoom() const;
};

}  // namespace vellrun::ui
