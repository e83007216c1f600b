#pragma once

#include "platform/MessagePort.h"

#include <QApplication>
#include <exception>

namespace vellrun::ui {

// The desktop's application object, with a last catch around every event
// handler. The commands catch what they expect; anything that still escapes
// one (a library's exception, memory running out in a slot) would otherwise
// end the program and lose the results on screen. It is shown as an error
// instead and the program goes on; the command that raised it stays where it
// stopped.
class GuardedApplication final : public QApplication {
public:
    GuardedApplication(int& argc, char** argv);

    // Where an escaped exception is shown; while there is none (start-up, the
    // end), on standard error. The port must outlive its use here: whoever
    // sets it clears it before it goes.
    void SetFaultPort(platform::MessagePort* port) { faultPort_ = port; }
    // Whether notify catches at all (it does unless told otherwise). The tests
    // turn it off, so that an exception of their own (a dialog script that
    // does not fit) fails the test that raised it instead of becoming a box.
    void SetCatching(bool catching) { catching_ = catching; }
    // The running GuardedApplication, or nothing under another application object.
    static GuardedApplication* Instance();

    bool notify(QObject* receiver, QEvent* event) override;
    // Shows an exception caught elsewhere (the start-up runs before the
    // event loop) as notify shows one.
    void ShowFault(const std::exception_ptr& fault) noexcept;
    // Whether any fault has been shown: an unattended run that had one fails.
    bool FaultShown() const { return faultShown_; }

private:
    platform::MessagePort* faultPort_ = nullptr;
    bool catching_ = true;
    bool faultShown_ = false;
    // A fault while its box is open (a paint handler that throws each time)
    // goes to standard error only, so that boxes do not pile up.
    bool showingFault_ = false;
};

}  // namespace vellrun::ui
