#pragma once

#include <QWidget>
#include <vector>

namespace vellrun::ui {

// A row of controls under a list or the grid that wraps instead of widening
// the window: leading controls stand at the left, trailing ones at the
// right, each at its own preferred size. When the row is too narrow for all
// of them the controls go on in further lines (the trailing ones on a line
// of their own when they fit there together), so with a large font the
// window still fits a small screen and no control is cut. Its minimum width
// is its widest control's; its height is what its lines need at its width,
// which a change of width makes known to the layout or splitter around it.
//
// Owns nothing but its controls, as any parent widget.
class WrappingRow final : public QWidget {
    Q_OBJECT

public:
    explicit WrappingRow(QWidget* parent = nullptr);

    // The controls in order; each becomes a child of the row.
    void AddLeading(QWidget* control);
    void AddTrailing(QWidget* control);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Control {
        QWidget* widget;
        bool trailing;
    };
    struct Placed {
        QWidget* widget;
        QRect at;
    };

    void Add(QWidget* control, bool trailing);
    // The controls' places within the width (margins included), and the
    // height that takes.
    int Arrange(int width, std::vector<Placed>* places) const;
    // The width the height is given for: the row's own once it has been
    // laid out, else one line's.
    int LaidWidth() const;
    void PlaceControls();

    std::vector<Control> controls_;
    // Whether the row has been given its place (its width) yet.
    bool laidOut_ = false;
    // The height its lines took when last placed.
    int laidHeight_ = -1;
};

}  // namespace vellrun::ui
