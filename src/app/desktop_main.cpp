// The desktop program: everything it does lives in ui::DesktopSession.

#include "client/ClientFactory.h"
#include "ui/DesktopArguments.h"
#include "ui/DesktopSession.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
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

    vellrun::ui::DesktopSession session(
        vellrun::client::MakeDirectoryClient(arguments.ClientOptions()));
    // A failed start has been shown to the person already.
    if (!session.Start()) return 1;
    session.MainForm()->show();
    return QApplication::exec();
}
