#include "ui/WrappingRow.h"

#include <QEvent>
#include <QStyle>
#include <algorithm>

namespace vellrun::ui {

namespace {

int Spacing(const QStyle* style, QStyle::PixelMetric metric) {
    const int spacing = style->pixelMetric(metric);
    return spacing >= 0 ? spacing : 6;
}

// The width a control may not go below, and the size it asks for.
int MinimumWidthOf(const QWidget* control) {
    const int set = control->minimumWidth();
    return set > 0 ? set : control->minimumSizeHint().width();
}

QSize PreferredSizeOf(const QWidget* control) {
    return control->sizeHint()
        .expandedTo(control->minimumSize())
        .boundedTo(control->maximumSize())
        .expandedTo(QSize(MinimumWidthOf(control), 0));
}

}  // namespace

WrappingRow::WrappingRow(QWidget* parent) : QWidget(parent) {
    const QStyle* shown = style();
    setContentsMargins(shown->pixelMetric(QStyle::PM_LayoutLeftMargin),
                       shown->pixelMetric(QStyle::PM_LayoutTopMargin),
                       shown->pixelMetric(QStyle::PM_LayoutRightMargin),
                       shown->pixelMetric(QStyle::PM_LayoutBottomMargin));
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void WrappingRow::AddLeading(QWidget* control) {
    Add(control, false);
}

void WrappingRow::AddTrailing(QWidget* control) {
    Add(control, true);
}

void WrappingRow::Add(QWidget* control, bool trailing) {
    control->setParent(this);
    controls_.push_back({control, trailing});
    updateGeometry();
    if (laidOut_) PlaceControls();
}

int WrappingRow::Arrange(int width, std::vector<Placed>* places) const {
    const QMargins margins = contentsMargins();
    const int across = Spacing(style(), QStyle::PM_LayoutHorizontalSpacing);
    const int down = Spacing(style(), QStyle::PM_LayoutVerticalSpacing);
    const int room = std::max(width - margins.left() - margins.right(), 0);

    struct Item {
        QWidget* widget;
        bool trailing;
        QSize size;
    };
    std::vector<std::vector<Item>> lines(1);
    int used = 0;  // the width of the current line so far
    int trailingWidth = -1;
    for (const Control& control : controls_) {
        if (control.widget->isHidden()) continue;
        QSize size = PreferredSizeOf(control.widget);
        size.setWidth(std::max(std::min(size.width(), room), MinimumWidthOf(control.widget)));
        std::vector<Item>& line = lines.back();
        bool wrap = !line.empty() && used + across + size.width() > room;
        if (control.trailing && trailingWidth < 0) {
            // The trailing controls stay together on a line of their own
            // when they do not fit beside the leading ones but fit there.
            trailingWidth = -across;
            for (const Control& other : controls_) {
                if (other.trailing && !other.widget->isHidden())
                    trailingWidth += across + PreferredSizeOf(other.widget).width();
            }
            if (!line.empty() && used + across + trailingWidth > room && trailingWidth <= room)
                wrap = true;
        }
        if (wrap) {
            lines.emplace_back();
            used = 0;
        }
        used += (lines.back().empty() ? 0 : across) + size.width();
        lines.back().push_back({control.widget, control.trailing, size});
    }

    int y = margins.top();
    for (const std::vector<Item>& line : lines) {
        if (line.empty()) continue;
        int height = 0;
        int trailingTotal = -across;
        for (const Item& item : line) {
            height = std::max(height, item.size.height());
            if (item.trailing) trailingTotal += across + item.size.width();
        }
        if (places != nullptr) {
            int left = margins.left();
            int right = margins.left() + std::max(room - trailingTotal, 0);
            for (const Item& item : line) {
                const bool fills =
                    (item.widget->sizePolicy().verticalPolicy() & QSizePolicy::ExpandFlag) != 0;
                const int itemHeight = fills ? height : item.size.height();
                int& x = item.trailing ? right : left;
                places->push_back({item.widget, QRect(x, y + (height - itemHeight) / 2,
                                                      item.size.width(), itemHeight)});
                x += item.size.width() + across;
            }
        }
        y += height + down;
    }
    if (y > margins.top()) y -= down;
    return y + margins.bottom();
}

int WrappingRow::LaidWidth() const {
    return laidOut_ ? width() : sizeHint().width();
}

QSize WrappingRow::sizeHint() const {
    const QMargins margins = contentsMargins();
    const int across = Spacing(style(), QStyle::PM_LayoutHorizontalSpacing);
    int oneLine = -across;
    for (const Control& control : controls_) {
        if (!control.widget->isHidden())
            oneLine += across + PreferredSizeOf(control.widget).width();
    }
    const int width = margins.left() + std::max(oneLine, 0) + margins.right();
    // Until the row has been laid out, one line's height.
    return {width, Arrange(laidOut_ ? this->width() : width, nullptr)};
}

QSize WrappingRow::minimumSizeHint() const {
    int widest = 0;
    for (const Control& control : controls_) {
        if (!control.widget->isHidden()) widest = std::max(widest, MinimumWidthOf(control.widget));
    }
    const QMargins margins = contentsMargins();
    return {margins.left() + widest + margins.right(), Arrange(LaidWidth(), nullptr)};
}

int WrappingRow::heightForWidth(int width) const {
    return Arrange(width, nullptr);
}

bool WrappingRow::event(QEvent* event) {
    // A control's size changed (a new font, a new caption): the row's
    // lines may change with it. While the row is hidden (on a tab not in
    // front) no such request comes, so it is placed again when it shows.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Show) {
        updateGeometry();
        if (laidOut_) PlaceControls();
    }
    return QWidget::event(event);
}

void WrappingRow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    laidOut_ = true;
    PlaceControls();
}

void WrappingRow::PlaceControls() {
    std::vector<Placed> places;
    const int height = Arrange(width(), &places);
    for (const Placed& place : places)
        place.widget->setGeometry(place.at);
    // Another number of lines: the layout or splitter around the row gives
    // it the height they need (or less, when the width grew).
    if (height != laidHeight_) {
        laidHeight_ = height;
        updateGeometry();
    }
}

}  // namespace vellrun::ui
