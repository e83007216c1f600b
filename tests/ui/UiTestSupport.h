#pragma once

// Helpers for driving widgets in tests as a person would.

#include <QObject>
#include <QStringList>
#include <QTreeWidget>
#include <QUrl>
#include <functional>
#include <vector>

namespace vellrun::testing {

// Presses and releases the left mouse button on the item's row, as a click.
void ClickItem(QTreeWidget& view, QTreeWidgetItem* item);

// Handles events until the condition holds or the time is up; returns the condition.
bool ProcessEventsUntil(const std::function<bool()>& condition, int milliseconds = 2000);

// Stands in for the desktop's handler of the addresses of each scheme while
// it lives, so that a test sees what the program asked to open and nothing is
// launched. One that does not open answers as a desktop without a browser.
class OpenedFiles : public QObject {
    Q_OBJECT
public:
    enum class Answer { Opens, DoesNotOpen };
    explicit OpenedFiles(QStringList schemes = {QStringLiteral("file")},
                         Answer answer = Answer::Opens);
    ~OpenedFiles() override;
    const std::vector<QUrl>& Urls() const { return urls_; }
    Q_INVOKABLE void Open(const QUrl& url) { urls_.push_back(url); }

private:
    QStringList schemes_;
    std::vector<QUrl> urls_;
};

}  // namespace vellrun::testing
