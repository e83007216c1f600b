#include "ui/GuardedApplication.h"

#include <QScopedValueRollback>
#include <cstdio>
#include <exception>
#include <new>
#include <string>

namespace vellrun::ui {

GuardedApplication::GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

GuardedApplication* GuardedApplication::Instance() {
    return dynamic_cast<GuardedApplication*>(QCoreApplication::instance());
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        ShowFault("not enough memory");
    } catch (const std::exception& e) {
        ShowFault(e.what());
    } catch (...) {
        ShowFault("an unknown error");
    }
    return false;
}

void GuardedApplication::ShowFault(std::string_view what) noexcept {
    try {
        const std::string text = "The command could not be finished: " + std::string(what);
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
