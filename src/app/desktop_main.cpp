// The desktop program: everything it does lives in ui::DesktopSession; the
// splash window shows while it starts and goes when the main window is active.

#include "client/ClientFactory.h"
#include "platform/PendingTemporaries.h"
#include "ui/ApplicationIcon.h"
#include "ui/DesktopArguments.h"
#include "ui/DesktopSession.h"
#include "ui/GuardedApplication.h"
#include "ui/LoadProgressWindow.h"
#include "ui/QtMessagePort.h"
#include "ui/TSplash.h"

#include <QApplication>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <exception>
#include <optional>
#include <string_view>

namespace {

// Help, version or wrong usage: the text and the exit code; nothing when the
// program is to start.
std::optional<int> AnswerUsage(const vellrun::ui::DesktopArguments& arguments) {
    if (!arguments.problem.isEmpty()) {
        std::fprintf(stderr, "vellrun: %s\n\n%s", qPrintable(arguments.problem),
                     qPrintable(vellrun::ui::DesktopArguments::UsageText()));
        return 2;
    }
    if (arguments.help) {
        std::fputs(qPrintable(vellrun::ui::DesktopArguments::UsageText()), stdout);
        return 0;
    }
    if (arguments.version) {
        std::fputs("vellrun " VELLRUN_VERSION "\n", stdout);
        return 0;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    vellrun::platform::PendingTemporaries::InstallSignalCleanup();
    // Help and wrong usage need no display, so the command line is read
    // before the toolkit starts. An unknown "-..." argument may be one of
    // Qt's own options: it is judged once QApplication has taken those out.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments << QString::fromLocal8Bit(argv[i]);
    const auto early = vellrun::ui::DesktopArguments::Parse(rawArguments);
    if (!early.unknownOption) {
        if (const std::optional<int> code = AnswerUsage(early)) return *code;
    }
    // Without a display the toolkit would abort the program (unless a
    // platform that needs none is named, in the environment or by -platform).
    const bool platformNamed =
        !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
        std::any_of(argv + 1, argv + argc, [](const char* arg) {
            return std::string_view(arg) == "-platform" || std::string_view(arg) == "--platform";
        });
    if (!platformNamed && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fputs(
            "vellrun: no display to show the window on (DISPLAY is not set); "
            "vellrun-cli runs saved reports without one: vellrun-cli run FILE\n",
            stderr);
        return 1;
    }
    vellrun::ui::GuardedApplication application(argc, argv);
    // Every window's icon where the window manager does not take it from
    // the desktop entry.
    QApplication::setWindowIcon(vellrun::ui::ApplicationIcon());
    // QApplication takes the whole locale from the environment, numbers too,
    // and then the C library writes decimal commas where a file format wants
    // points (a workbook's column widths, which libxlsxwriter prints). What
    // the window shows is formatted by QLocale and the date formats are read
    // from LC_TIME apart; neither follows this.
    std::setlocale(LC_NUMERIC, "C");
    const auto arguments = vellrun::ui::DesktopArguments::Parse(QApplication::arguments());
    if (const std::optional<int> code = AnswerUsage(arguments)) return *code;

    const QPointer<vellrun::ui::TSplash> splash = vellrun::ui::TSplash::ShowAtStart();
    // The splash has no parent: whichever way the program ends (a failed
    // start, an unattended run), it goes before the application does.
    const struct SplashOwner {
        const QPointer<vellrun::ui::TSplash>& splash;
        ~SplashOwner() { delete splash.data(); }
    } splashOwner{splash};
    splash->SplashMessage(QStringLiteral("Starting the directory client ..."));
    // A configured server's bind password that no file or variable holds is
    // asked for when the client connects.
    vellrun::ui::QtMessagePort passwordPort;
    passwordPort.SetUnattended(arguments.quit && !arguments.reportFile.empty());
    vellrun::client::ClientOptions clientOptions = arguments.ClientOptions();
    clientOptions.askPassword = [&passwordPort](const std::string& prompt) {
        return passwordPort.AskSecret(prompt);
    };
    // A large image takes seconds to load: its progress shows, and it can be cancelled.
    vellrun::ui::LoadProgressWindow loadProgress;
    clientOptions.loadProgress = [&loadProgress](uint64_t done, uint64_t total) {
        return loadProgress.Report(done, total);
    };
    // A server that stops answering must not freeze the window: its waits let
    // the events through, and the person's cancel (Escape on the splash, a
    // report's Cancel, a click elsewhere in the tree) gives the request up.
    vellrun::ui::DesktopSession* waiting = nullptr;
    clientOptions.whileWaiting = [&waiting] {
        return waiting == nullptr || waiting->KeepWaiting();
    };
    vellrun::ui::DesktopSession session(vellrun::client::MakeDirectoryClient(clientOptions));
    waiting = &session;
    session.ShowStartOn(splash.data());
    vellrun::ui::TMainForm::Options options;
    options.reportFile = arguments.reportFile;
    options.quit = arguments.quit;
    // A failed start has been shown to the person already.
    bool started = false;
    try {
        started = session.Start(options);
    } catch (...) {
        application.ShowFault(std::current_exception());
    }
    loadProgress.Close();
    if (!started) return 1;
    // An unattended report has run while the window was made.
    // (A command that failed on the way, whatever it was, fails it.)
    if (session.MainForm()->QuitAfterReport())
        return application.FaultShown() ? std::max(1, session.MainForm()->ExitCode())
                                        : session.MainForm()->ExitCode();
    if (splash) splash->SplashMessage(QStringLiteral("Reading the trees ..."));
    session.MainForm()->show();
    session.MainForm()->activateWindow();
    // Should the desktop not activate the main window, the splash goes anyway.
    if (splash) QTimer::singleShot(3000, splash.data(), &QWidget::close);
    if (arguments.screenshot) {
        // Once the trees are shown and the window has painted.
        const QString file = QString::fromStdString(arguments.screenshot->string());
        QTimer::singleShot(1500, session.MainForm(), [&session, file] {
            const bool saved = session.MainForm()->grab().save(file, "PNG");
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return QApplication::exec();
}
