// Measures the desktop program in-process on the offscreen platform:
//
//   vellrun-bench-desktop start IMAGE
//       start to a usable window: trees shown, object types and checklist loaded
//   vellrun-bench-desktop list IMAGE TREE CONTAINER
//       one click listing CONTAINER (a full name such as .Extranet.Corp) in the
//       tree browser, its parent listed before
//   vellrun-bench-desktop report IMAGE TREE CONTAINER CLASS ATTR...
//       the recursive report by type from the window's controls, then a scroll
//       of the grid from top to bottom counting the cells the view reads, then
//       Sort Results by the second column and by the first: the time of each
//       sort and the longest time the window went without handling events
//
// Times are wall-clock seconds of the measured step; the settings file goes to
// a temporary folder.

#include "client/ClientFactory.h"
#include "ui/DesktopSession.h"
#include "ui/TMainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QIdentityProxyModel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

using vellrun::ui::TMainForm;

class CountingProxy final : public QIdentityProxyModel {
public:
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DisplayRole) ++reads;
        return QIdentityProxyModel::data(index, role);
    }
    mutable long long reads = 0;
};

void WaitUntil(const std::function<bool()>& condition) {
    while (!condition())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// CPU seconds of this process so far, user and system together: on a busy
// machine the fairer figure to compare with the console's.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_CACHE_HOME", home.path().toUtf8());
    if (argc < 3) {
        std::fputs("usage: vellrun-bench-desktop start|list|report IMAGE ...\n", stderr);
        return 2;
    }
    const std::string mode = argv[1];
    QElapsedTimer clock;
    clock.start();
    QApplication application(argc, argv);
    vellrun::client::ClientOptions options;
    options.image = argv[2];
    vellrun::ui::DesktopSession session(vellrun::client::MakeDirectoryClient(options));
    if (!session.Start()) return 1;
    TMainForm* form = session.MainForm();
    form->show();
    auto* types = form->findChild<QListWidget*>(QStringLiteral("ListObjType"));
    WaitUntil([&] { return form->CurrentTree() != nullptr && types->count() > 0; });
    if (mode == "start") {
        std::printf("start to a usable window: %.3f s\n", clock.elapsed() / 1000.0);
        return 0;
    }
    if (argc < 5) return 2;
    const std::string tree = argv[3];
    const std::string container = argv[4];
    const size_t dot = container.find('.', 1);
    const std::string parent = dot == std::string::npos ? "[Root]" : container.substr(dot);
    form->DSTree()->SelectPath(tree, parent);
    if (mode == "list") {
        clock.restart();
        form->DSTree()->SelectPath(tree, container);
        std::printf("listing %s: %.3f s, %d objects\n", container.c_str(), clock.elapsed() / 1000.0,
                    form->ListBoxObjects()->count());
        return 0;
    }
    if (mode != "report" || argc < 7) return 2;
    form->DSTree()->SelectPath(tree, container);
    const auto found = types->findItems(QString::fromUtf8(argv[5]), Qt::MatchExactly);
    if (found.isEmpty()) return 1;
    types->setCurrentItem(found.first());
    auto* checklist = form->findChild<QListWidget*>(QStringLiteral("CheckListAllProps"));
    for (int k = 6; k < argc; ++k) {
        const auto items = checklist->findItems(QString::fromUtf8(argv[k]), Qt::MatchExactly);
        if (!items.isEmpty()) items.first()->setCheckState(Qt::Checked);
    }
    form->findChild<QCheckBox*>(QStringLiteral("CheckBoxRecurse"))->setChecked(true);
    const long before = PeakKilobytes();
    const double cpuBefore = CpuSeconds();
    clock.restart();
    form->findChild<QPushButton*>(QStringLiteral("ButtonRun"))->click();
    const double run = clock.elapsed() / 1000.0;
    std::printf(
        "report by type in the window: %.3f s (%.3f s CPU), %zu rows; peak memory %ld -> %ld KB\n",
        run, CpuSeconds() - cpuBefore, form->Run().Table().RowCount() - 1, before, PeakKilobytes());

    // Scroll the grid from top to bottom a page at a time.
    QTableView* grid = form->GridResults();
    CountingProxy proxy;
    proxy.setSourceModel(grid->model());
    QAbstractItemModel* own = grid->model();
    grid->setModel(&proxy);
    grid->resize(1000, 600);
    QCoreApplication::processEvents();
    proxy.reads = 0;
    QScrollBar* bar = grid->verticalScrollBar();
    long pages = 0;
    clock.restart();
    for (int value = 0; value <= bar->maximum(); value += 10 * bar->pageStep()) {
        bar->setValue(value);
        grid->viewport()->repaint();
        ++pages;
    }
    const long long cells = static_cast<long long>(proxy.rowCount()) * proxy.columnCount();
    std::printf(
        "scroll top to bottom: %ld pages in %.3f s, %lld cell reads of %lld cells "
        "(%.1f per page)\n",
        pages, clock.elapsed() / 1000.0, proxy.reads, cells,
        pages > 0 ? static_cast<double>(proxy.reads) / static_cast<double>(pages) : 0.0);
    grid->setModel(own);

    // Sort Results as the pop-up menu does; a timer that fires whenever the
    // window handles events sees how long the person would wait for it.
    for (const int column : {1, 0}) {
        QElapsedTimer sincePump;
        qint64 longestGap = 0;
        QTimer pump;
        pump.setInterval(0);
        QObject::connect(&pump, &QTimer::timeout,
                         [&] { longestGap = std::max(longestGap, sincePump.restart()); });
        pump.start();
        QCoreApplication::processEvents();
        const double cpuSort = CpuSeconds();
        clock.restart();
        sincePump.start();
        form->PopupSortResultsClick(column);
        longestGap = std::max(longestGap, sincePump.elapsed());
        std::printf(
            "sort by column %d: %.3f s (%.3f s CPU); the window waited at most %.3f s for its "
            "events\n",
            column, clock.elapsed() / 1000.0, CpuSeconds() - cpuSort, longestGap / 1000.0);
    }
    return 0;
}
