#include "ui/GuardedApplication.h"

#include <QScopedValueRollback>
#include <cstdio>
#include <new>
#include <string>

namespace vellrun::ui {

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

GuardedApplication* GuardedApplication::Instance() {
    return dynamic_cast<GuardedApplication*>(QCoreApplication::instance());
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    if (!catching_) return QApplication::notify(receiver, event);
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowFault(std::current_exception());
    }
    return false;
}

void GuardedApplication::ShowFault(const std::exception_ptr& fault) noexcept {
    faultShown_ = true;
    try {
        std::string what = "an unknown error";
        try {
            std::rethrow_exception(fault);
        } catch (const std::bad_alloc&) {
            what = "not enough memory";
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
            // Not a standard exception: it says nothing more.
        }
        const std::string text = "The command could not be finished: " + what;
        if (faultPort_ == nullptr || showingFault_) {
            std::fprintf(stderr, "vellrun: %s\n", text.c_str());
            return;
        }
        const QScopedValueRollback showing(showingFault_, true);
        faultPort_->ErrorBox(text);
    } catch (...) {
        // Not even the text could be made: nothing more to tell.
        std::fputs("vellrun: a command could not be finished\n", stderr);
    }
}

}  // namespace vellrun::ui
