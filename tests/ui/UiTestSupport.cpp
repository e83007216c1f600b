#include "UiTestSupport.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QMouseEvent>

namespace vellrun::testing {

void ClickItem(QTreeWidget& view, QTreeWidgetItem* item) {
    view.scrollToItem(item);
    QWidget* viewport = view.viewport();
    const QPointF where = view.visualItemRect(item).center();
    const QPointF global = viewport->mapToGlobal(where);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QMouseEvent event(type, where, global, Qt::LeftButton, held, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &event);
    }
}

bool ProcessEventsUntil(const std::function<bool()>& condition, int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

OpenedFiles::OpenedFiles(QStringList schemes, Answer answer) : schemes_(std::move(schemes)) {
    // A handler whose method cannot be called makes the desktop answer false.
    const char* method = answer == Answer::Opens ? "Open" : "NoSuchMethod";
    for (const QString& scheme : schemes_)
        QDesktopServices::setUrlHandler(scheme, this, method);
}

OpenedFiles::~OpenedFiles() {
    for (const QString& scheme : schemes_)
        QDesktopServices::unsetUrlHandler(scheme);
}

}  // namespace vellrun::testing
