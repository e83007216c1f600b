// The desktop program: everything it does lives in ui::DesktopSession; the
// splash window shows while it starts and goes when the main window is active.

#include "client/ClientFactory.h"
#include "platform/PendingTemporaries.h"
#include "ui/DesktopArguments.h"
#include "ui/DesktopSession.h"
#include "ui/LoadProgressWindow.h"
#include "ui/QtMessagePort.h"
#include "ui/TSplash.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    vellrun::platform::PendingTemporaries::InstallSignalCleanup();
    QApplication application(argc, argv);
    const auto arguments = vellrun::ui::DesktopArguments::Parse(QApplication::arguments());
    if (!arguments.problem.isEmpty()) {
        std::fprintf(stderr, "vellrun: %s\n\n%s", qPrintable(arguments.problem),
                     qPrintable(vellrun::ui::DesktopArguments::UsageText()));
        return 2;
    }
    if (arguments.help) {
        std::fputs(qPrintable(vellrun::ui::DesktopArguments::UsageText()), stdout);
        return 0;
    }

    const QPointer<vellrun::ui::TSplash> splash = vellrun::ui::TSplash::ShowAtStart();
    splash->SplashMessage(QStringLiteral("Starting the directory client ..."));
    // A configured server's bind password that no file or variable holds is
    // asked for when the client connects.
    vellrun::ui::QtMessagePort passwordPort;
    vellrun::client::ClientOptions clientOptions = arguments.ClientOptions();
    clientOptions.askPassword = [&passwordPort](const std::string& prompt) {
        return passwordPort.AskSecret(prompt);
    };
    // A large image takes seconds to load: its progress shows, and it can be cancelled.
    vellrun::ui::LoadProgressWindow loadProgress;
    clientOptions.loadProgress = [&loadProgress](uint64_t done, uint64_t total) {
        return loadProgress.Report(done, total);
    };
    vellrun::ui::DesktopSession session(vellrun::client::MakeDirectoryClient(clientOptions));
    vellrun::ui::TMainForm::Options options;
    options.reportFile = arguments.reportFile;
    options.quit = arguments.quit;
    // A failed start has been shown to the person already.
    const bool started = session.Start(options);
    loadProgress.Close();
    if (!started) return 1;
    // An unattended report has run while the window was made.
    if (session.MainForm()->QuitAfterReport()) return session.MainForm()->ExitCode();
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
