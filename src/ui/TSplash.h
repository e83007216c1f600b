#pragma once

#include <QLabel>
#include <QWidget>

namespace vellrun::ui {

// The splash window shown while the program starts: the product picture
// (the program's icon, drawn at the screen's device pixel ratio) and one
// line that names the maker's web site or, through SplashMessage, the
// start-up step under way.
// It shows the busy cursor while it lives and deletes itself as soon as
// another window of the program becomes active (the main window coming up,
// or a start-up error box). Made by main() before any other window; it owns
// its controls and nothing else.
class TSplash : public QWidget {
    Q_OBJECT

public:
    // Creates the splash window, shows and paints it at once.
    static TSplash* ShowAtStart();

    // Puts the text into the info line, repaints and lets pending events run.
    void SplashMessage(const QString& text);
    // The info line and, in a small line above it, how far the step has
    // come (cut in the middle when long). Repaints; handles no events, as it
    // is called from inside work that handles them itself.
    void SplashProgress(const QString& text, const QString& step);

    QLabel* SplashImage() const { return splashImage_; }
    QLabel* PanelInfo() const { return panelInfo_; }
    QLabel* PanelStep() const { return panelStep_; }
    // The product picture, 200 pixels square where shown, drawn for a
    // screen of the device pixel ratio.
    static QPixmap ProductPicture(qreal ratio);

    ~TSplash() override;

signals:
    // Escape was pressed: the person wants the start given up.
    void CancelRequested();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    TSplash();
    void FormDeactivate();

    QLabel* splashImage_;
    QLabel* panelInfo_;
    QLabel* panelStep_;
    bool closing_ = false;
};

}  // namespace vellrun::ui
