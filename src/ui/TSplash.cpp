#include "ui/TSplash.h"

#include "ui/ApplicationIcon.h"
#include "ui/ProductInfo.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace vellrun::ui {

namespace {

constexpr int kClientWidth = 287;
constexpr int kClientHeight = 267;
constexpr int kInfoHeight = 32;
constexpr int kStepHeight = 18;
constexpr int kImageTop = 24;
constexpr int kPictureSize = 200;

}  // namespace

TSplash* TSplash::ShowAtStart() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    auto* splash = new TSplash;
    splash->show();
    splash->repaint();
    QCoreApplication::processEvents();
    return splash;
}

QPixmap TSplash::ProductPicture(qreal ratio) {
    return ApplicationPicture(kPictureSize, ratio);
}

TSplash::TSplash()
    : QWidget(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Splash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8(product::kProductName));
    setFixedSize(kClientWidth, kClientHeight);

    auto* panelTop = new QWidget(this);
    panelTop->setObjectName(QStringLiteral("PanelTop"));
    panelTop->setGeometry(0, 0, kClientWidth, kClientHeight - kInfoHeight);
    panelTop->setAutoFillBackground(true);
    panelTop->setPalette(QPalette(Qt::black, Qt::white));
    splashImage_ = new QLabel(panelTop);
    splashImage_->setObjectName(QStringLiteral("SplashImage"));
    splashImage_->setGeometry(40, kImageTop, kPictureSize, kPictureSize);
    splashImage_->setAlignment(Qt::AlignCenter);
    splashImage_->setPixmap(ProductPicture(devicePixelRatioF()));
    splashImage_->setAccessibleName(QString::fromUtf8(product::kProductName));

    panelInfo_ = new QLabel(this);
    panelInfo_->setObjectName(QStringLiteral("PanelInfo"));
    panelInfo_->setGeometry(0, kClientHeight - kInfoHeight, kClientWidth, kInfoHeight);
    panelInfo_->setAutoFillBackground(true);
    panelInfo_->setPalette(QPalette(Qt::black, Qt::white));
    panelInfo_->setAlignment(Qt::AlignCenter);
    panelInfo_->setTextFormat(Qt::PlainText);  // file and tree names shown as they are
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(16);
    font.setBold(true);
    panelInfo_->setFont(font);
    panelInfo_->setText(QString::fromStdString(product::WebSiteName()));

    panelStep_ = new QLabel(this);
    panelStep_->setObjectName(QStringLiteral("PanelStep"));
    panelStep_->setGeometry(0, kClientHeight - kInfoHeight - kStepHeight, kClientWidth,
                            kStepHeight);
    panelStep_->setAutoFillBackground(true);
    panelStep_->setPalette(QPalette(Qt::black, Qt::white));
    panelStep_->setAlignment(Qt::AlignCenter);
    panelStep_->setTextFormat(Qt::PlainText);
    QFont stepFont = font;
    stepFont.setPixelSize(11);
    stepFont.setBold(false);
    panelStep_->setFont(stepFont);
    panelStep_->hide();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    // Any other window of the program becoming active ends the splash, but
    // for a modal one that stands over the start for a while (the progress
    // of a large image's load, a message): the start goes on behind it, and
    // a report run from the command line shows its progress here after it.
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focused) {
        if (focused != nullptr && focused != windowHandle() && focused->modality() == Qt::NonModal)
            FormDeactivate();
    });
}

TSplash::~TSplash() {
    QGuiApplication::restoreOverrideCursor();
}

void TSplash::SplashMessage(const QString& text) {
    panelInfo_->setText(text);
    if (panelStep_->isVisible()) {
        panelStep_->hide();
        splashImage_->move(splashImage_->x(), kImageTop);
    }
    repaint();
    QCoreApplication::processEvents();
}

void TSplash::SplashProgress(const QString& text, const QString& step) {
    panelInfo_->setText(text);
    if (!panelStep_->isVisible()) {
        // The picture moves up to make room for the line.
        splashImage_->move(splashImage_->x(), kImageTop - kStepHeight / 2);
        panelStep_->show();
        // Escape stops the run here: the keys come to the splash again
        // after a window that stood over it (the load's progress) has gone.
        activateWindow();
    }
    // The line ends with how to stop, which the step's text gives way to.
    const QString hint = QStringLiteral("  (Esc stops)");
    const QFontMetrics metrics = panelStep_->fontMetrics();
    const QString line = metrics.elidedText(
        step, Qt::ElideMiddle, panelStep_->width() - 8 - metrics.horizontalAdvance(hint));
    panelStep_->setText(line + hint);
    panelStep_->setToolTip(step);
    repaint();
}

void TSplash::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        emit CancelRequested();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TSplash::FormDeactivate() {
    if (closing_) return;
    closing_ = true;
    close();
}

}  // namespace vellrun::ui
