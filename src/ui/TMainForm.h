#pragma once

#include "directory/DirectoryAccess.h"
#include "platform/StringList.h"
#include "ui/TTreeFrame.h"

#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QSplitter>
#include <array>

namespace vellrun::ui {

// The program's main window: the directory tree browser on the left, the
// objects of the selected container on the right, three status panels below.
// Made by the desktop start-up after the directory client has started; owns
// its controls and the object lines the browser fills, not the directory
// access. Trees are discovered when the window is first shown.
class TMainForm : public QMainWindow {
    Q_OBJECT

public:
    static constexpr int kStatusPanels = 3;

    explicit TMainForm(directory::DirectoryAccess& access, QWidget* parent = nullptr);

    // "Korvel: Vellrun - RAZ Arorad Generator v2.12 (2009-10-30)".
    static QString Caption();

    TTreeFrame* DSTree() const { return dsTree_; }
    QListWidget* ListBoxObjects() const { return listBoxObjects_; }
    QSplitter* Splitter3() const { return splitter3_; }
    std::array<QLabel*, kStatusPanels> StatusPanels() const { return statusPanels_; }

    // Lets the tree browser discover the trees again and show them.
    void ActionRescanClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void DSTreeTreeViewClick();
    void ShowObjectLines();

    directory::DirectoryAccess& access_;
    QSplitter* splitter3_;
    TTreeFrame* dsTree_;
    QListWidget* listBoxObjects_;
    std::array<QLabel*, kStatusPanels> statusPanels_{};
    // The entry lines of the selected container, filled by the tree browser.
    platform::StringList objectLines_;
    bool shown_ = false;
};

}  // namespace vellrun::ui
