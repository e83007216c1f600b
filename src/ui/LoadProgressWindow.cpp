#include "ui/LoadProgressWindow.h"

#include "ui/ProductInfo.h"

#include <QApplication>
#include <algorithm>

namespace vellrun::ui {

LoadProgressWindow::LoadProgressWindow(std::chrono::milliseconds delay) : delay_(delay) {
    started_.start();
}

bool LoadProgressWindow::Report(uint64_t done, uint64_t total) {
    // The load is done: the window goes before what the program does next
    // (a saved report's run) would leave it standing at its last step.
    if (total > 0 && done >= total) {
        Close();
        return true;
    }
    if (!window_) {
        if (started_.elapsed() < delay_.count()) return true;
        window_ = std::make_unique<QProgressDialog>(
            QStringLiteral("Loading the directory image ..."), QStringLiteral("&Cancel"), 0, 0);
        window_->setWindowTitle(QString::fromUtf8(product::kApplicationTitle));
        window_->setAccessibleName(QStringLiteral("Loading the directory image"));
        window_->setWindowModality(Qt::ApplicationModal);
        window_->setAutoReset(false);
        window_->setAutoClose(false);
        window_->setMinimumDuration(0);
        window_->show();
    }
    constexpr int kSteps = 1000;
    if (total == 0) {
        window_->setRange(0, 0);  // how far is not known yet: a busy bar
    } else {
        window_->setRange(0, kSteps);
        window_->setValue(static_cast<int>(std::min(done, total) * kSteps / total));
    }
    QApplication::processEvents();
    if (!window_->wasCanceled()) return true;
    // The load still has its memory to give back: the window goes at once.
    window_->hide();
    return false;
}

}  // namespace vellrun::ui
