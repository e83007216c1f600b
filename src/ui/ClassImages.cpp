#include "ui/ClassImages.h"

#include "platform/AsciiText.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>
#include <array>
#include <cctype>
#include <string>

namespace vellrun::ui {

namespace {

constexpr std::array<std::string_view, ClassImages::kCount> kClassNames = {"Top",
                                                                           "Country",
                                                                           "domain",
                                                                           "Organization",
                                                                           "Organizational Unit",
                                                                           "SAS:Security",
                                                                           "",
                                                                           "",
                                                                           "User",
                                                                           "Group",
                                                                           "Organizational Role",
                                                                           "Volume",
                                                                           "LDAP Group",
                                                                           "LDAP Server",
                                                                           "NCP Server"};

bool SameName(std::string_view a, std::string_view b) {
    return platform::EqualsNoCase(a, b);
}

void Person(QPainter& p, QPointF at, double scale, const QColor& color) {
    p.setBrush(color);
    p.drawEllipse(at + QPointF(-2.2 * scale, -6 * scale), 2.4 * scale, 2.4 * scale);
    QPainterPath body;
    body.moveTo(at + QPointF(-4.5 * scale, 2 * scale));
    body.quadTo(at + QPointF(0, -5 * scale), at + QPointF(4.5 * scale, 2 * scale));
    body.closeSubpath();
    p.drawPath(body.translated(-2.2 * scale, 0));
}

void Server(QPainter& p, const QColor& color, const QString& mark) {
    p.setBrush(color);
    p.drawRoundedRect(QRectF(3, 1.5, 10, 13), 1.5, 1.5);
    p.setPen(QPen(Qt::white, 1));
    p.drawLine(QPointF(5, 5), QPointF(11, 5));
    p.drawLine(QPointF(5, 8), QPointF(11, 8));
    QFont font = p.font();
    font.setPixelSize(5);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(3, 9, 10, 6), Qt::AlignCenter, mark);
}

// Draws the image's 16-unit square into size device pixels.
QPixmap Draw(int index, const QSize& size, const ClassImages::Ink& ink) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(size.width() / 16.0, size.height() / 16.0);
    p.setPen(QPen(ink.line, 0.8));
    switch (index) {
        case 0:  // Top: a tree of three nodes
            p.setBrush(QColor(0, 128, 0));
            p.drawLine(QPointF(8, 4), QPointF(4, 12));
            p.drawLine(QPointF(8, 4), QPointF(12, 12));
            p.drawEllipse(QPointF(8, 4), 3, 3);
            p.drawEllipse(QPointF(4, 12), 2.5, 2.5);
            p.drawEllipse(QPointF(12, 12), 2.5, 2.5);
            break;
        case 1:  // Country: a flag
            p.drawLine(QPointF(3, 1), QPointF(3, 15));
            p.setBrush(QColor(200, 30, 30));
            p.drawRect(QRectF(3, 2, 10, 3.5));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(3, 5.5, 10, 3.5));
            break;
        case 2:  // domain: a globe
            p.setBrush(QColor(70, 130, 220));
            p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
            p.drawEllipse(QPointF(8, 8), 2.8, 6.5);
            p.drawLine(QPointF(1.5, 8), QPointF(14.5, 8));
            break;
        case 3:  // Organization: a building
            p.setBrush(QColor(150, 110, 60));
            p.drawRect(QRectF(3, 3, 10, 12));
            p.setBrush(QColor(250, 230, 140));
            for (int row = 0; row < 3; ++row) {
                p.drawRect(QRectF(5, 5 + row * 3.2, 2, 2));
                p.drawRect(QRectF(9, 5 + row * 3.2, 2, 2));
            }
            break;
        case 4:  // Organizational Unit: a folder
            p.setBrush(QColor(240, 200, 60));
            p.drawRect(QRectF(1.5, 4, 6, 3));
            p.drawRect(QRectF(1.5, 5.5, 13, 8.5));
            break;
        case 5:  // SAS:Security: a shield
        {
            QPainterPath shield;
            shield.moveTo(8, 1.5);
            shield.lineTo(14, 4);
            shield.quadTo(14, 12, 8, 15);
            shield.quadTo(2, 12, 2, 4);
            shield.closeSubpath();
            p.setBrush(QColor(90, 90, 170));
            p.drawPath(shield);
            break;
        }
        case 6:  // another container: a grey box with a lid
            p.setBrush(QColor(160, 160, 160));
            p.drawRect(QRectF(2, 6, 12, 8));
            p.setBrush(QColor(200, 200, 200));
            p.drawRect(QRectF(1.5, 3.5, 13, 3));
            break;
        case 7:  // another object: a sheet with a folded corner
        {
            QPainterPath sheet;
            sheet.moveTo(3, 1.5);
            sheet.lineTo(10, 1.5);
            sheet.lineTo(13, 4.5);
            sheet.lineTo(13, 14.5);
            sheet.lineTo(3, 14.5);
            sheet.closeSubpath();
            p.setBrush(Qt::white);
            p.drawPath(sheet);
            p.drawLine(QPointF(10, 1.5), QPointF(10, 4.5));
            p.drawLine(QPointF(10, 4.5), QPointF(13, 4.5));
            break;
        }
        case 8:  // User: one person
            Person(p, QPointF(10, 13), 1.3, QColor(60, 120, 200));
            break;
        case 9:  // Group: two persons
            Person(p, QPointF(7.5, 13), 1.0, QColor(60, 160, 90));
            Person(p, QPointF(13.5, 14), 1.0, QColor(40, 120, 70));
            break;
        case 10:  // Organizational Role: a person with a hat
            Person(p, QPointF(10, 13.5), 1.2, QColor(170, 90, 170));
            p.setBrush(ink.hat);
            p.drawRect(QRectF(4.5, 1, 6, 2));
            break;
        case 11:  // Volume: a disk cylinder
            p.setBrush(QColor(120, 120, 130));
            p.drawRect(QRectF(2.5, 4, 11, 8));
            p.setBrush(QColor(170, 170, 180));
            p.drawEllipse(QRectF(2.5, 1.5, 11, 5));
            p.drawArc(QRectF(2.5, 9.5, 11, 5), 180 * 16, 180 * 16);
            break;
        case 12:  // LDAP Group: two persons on an orange badge
            p.setBrush(QColor(240, 150, 40));
            p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
            Person(p, QPointF(7, 13), 0.9, Qt::white);
            Person(p, QPointF(12.5, 14), 0.9, QColor(255, 240, 210));
            break;
        case 13:  // LDAP Server
            Server(p, QColor(220, 120, 30), QStringLiteral("L"));
            break;
        case 14:  // NCP Server
            Server(p, QColor(190, 30, 30), QStringLiteral("N"));
            break;
        default: break;
    }
    return pixmap;
}

// Paints an image at the size and device pixel ratio it is shown at, in the
// colours of the palette in use at that time, so that it stays sharp on a
// scaled screen and its lines stay visible on a dark background.
class ClassImageEngine final : public QIconEngine {
public:
    explicit ClassImageEngine(int index) : index_(index) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        const qreal ratio =
            painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap shown = pixmap(rect.size() * ratio, mode, state);
        shown.setDevicePixelRatio(ratio);
        painter->drawPixmap(rect, shown);
    }

    // QIcon asks for the size in device pixels and sets the ratio itself.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        if (size.isEmpty()) return {};
        const ClassImages::Ink ink = ClassImages::InkFor(QGuiApplication::palette());
        const QString key = QStringLiteral("vellrun-class-%1-%2x%3-%4-%5-%6")
                                .arg(index_)
                                .arg(size.width())
                                .arg(size.height())
                                .arg(static_cast<int>(mode))
                                .arg(ink.line.rgba())
                                .arg(ink.hat.rgba());
        QPixmap drawn;
        if (QPixmapCache::find(key, &drawn)) return drawn;
        drawn = Draw(index_, size, ink);
        // A disabled or selected image is changed as the style changes any
        // other icon's.
        if (mode != QIcon::Normal && qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            drawn = QApplication::style()->generatedIconPixmap(mode, drawn, &option);
        }
        QPixmapCache::insert(key, drawn);
        return drawn;
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override { return size; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {QSize(16, 16)}; }
    QString key() const override { return QStringLiteral("vellrun-class-image"); }
    QIconEngine* clone() const override { return new ClassImageEngine(index_); }

private:
    int index_;
};

}  // namespace

ClassImages::Ink ClassImages::InkFor(const QPalette& palette) {
    // Dark grey lines vanish on a dark view; there they take its text colour.
    if (palette.color(QPalette::Base).lightness() < 128) {
        const QColor text = palette.color(QPalette::Text);
        return {text, text.darker(130)};
    }
    return {QColor(40, 40, 40), QColor(60, 60, 60)};
}

int ClassImages::IndexOf(std::string_view className, bool container) {
    for (size_t k = 0; k < kClassNames.size(); ++k) {
        if (!kClassNames[k].empty() && SameName(kClassNames[k], className))
            return static_cast<int>(k);
    }
    return container ? kOtherContainer : kOtherObject;
}

QIcon ClassImages::Icon(int index) {
    static std::array<QIcon, kCount> icons;
    if (index < 0 || index >= kCount) index = kOtherObject;
    QIcon& icon = icons[static_cast<size_t>(index)];
    if (icon.isNull()) icon = QIcon(new ClassImageEngine(index));
    return icon;
}

}  // namespace vellrun::ui
