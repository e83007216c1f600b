#pragma once

// Shows how far the load of a directory image is, once it has taken longer
// than a moment, and lets the person cancel it: its Report answers
// client::ClientOptions::loadProgress. The window is application-modal while
// it shows, keeps the program's windows painted, and goes with Close.

#include <QElapsedTimer>
#include <QProgressDialog>
#include <chrono>
#include <cstdint>
#include <memory>

namespace vellrun::ui {

class LoadProgressWindow {
public:
    // delay: how long a load runs before the window shows (a small image
    // loads before it would).
    explicit LoadProgressWindow(std::chrono::milliseconds delay = std::chrono::milliseconds(700));

    // Shows done of total objects (total 0: the text is still being read);
    // false once the person has pressed Cancel.
    bool Report(uint64_t done, uint64_t total);
    // The window while it shows, else null.
    QProgressDialog* Window() const { return window_.get(); }
    void Close() { window_.reset(); }

private:
    std::chrono::milliseconds delay_;
    QElapsedTimer started_;
    std::unique_ptr<QProgressDialog> window_;
};

}  // namespace vellrun::ui
