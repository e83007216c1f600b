#include "ui/DesktopArguments.h"

#include "report/SavedReport.h"

#include <QFile>

namespace vellrun::ui {

namespace {

const QString kImageOption = QStringLiteral("--image");

// Whether an argument names one of the options QApplication takes out of
// the command line itself ("-style fusion", "--platform=xcb"). Only those
// wait for the toolkit to start; any other unknown option is wrong usage
// at once, with or without a display.
bool MayBeToolkitOption(const QString& argument) {
    static const QStringList kNames = {"platform",
                                       "platformpluginpath",
                                       "platformtheme",
                                       "plugin",
                                       "qmljsdebugger",
                                       "qwindowgeometry",
                                       "qwindowicon",
                                       "qwindowtitle",
                                       "reverse",
                                       "session",
                                       "style",
                                       "stylesheet",
                                       "widgetcount",
                                       "nograb",
                                       "dograb",
                                       "display",
                                       "geometry",
                                       "title",
                                       "name",
                                       "icon",
                                       "visual",
                                       "ncols",
                                       "cmap",
                                       "im",
                                       "fn",
                                       "font",
                                       "bg",
                                       "background",
                                       "fg",
                                       "foreground",
                                       "btn",
                                       "button",
                                       "testability",
                                       "graphicssystem"};
    if (!argument.startsWith(QLatin1Char('-'))) return false;
    QString name = argument.mid(argument.startsWith(QStringLiteral("--")) ? 2 : 1);
    name = name.left(name.indexOf(QLatin1Char('=')));
    return kNames.contains(name);
}

}  // namespace

DesktopArguments DesktopArguments::Parse(const QStringList& arguments) {
    DesktopArguments parsed;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QStringLiteral("--help") || argument == QStringLiteral("-h")) {
            parsed.help = true;
            continue;
        }
        if (argument == QStringLiteral("--version")) {
            parsed.version = true;
            continue;
        }
        if (argument == QStringLiteral("--screenshot")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                parsed.problem = QStringLiteral("--screenshot needs a FILE");
                return parsed;
            }
            parsed.screenshot =
                std::filesystem::path(QFile::encodeName(arguments[++i]).toStdString());
            continue;
        }
        QString file;
        if (argument == kImageOption) {
            if (i + 1 >= arguments.size()) {
                parsed.problem = QStringLiteral("--image needs a FILE");
                return parsed;
            }
            file = arguments[++i];
        } else if (argument.startsWith(kImageOption + QLatin1Char('='))) {
            file = argument.mid(kImageOption.size() + 1);
        } else {
            const report::ReportCommandLine switches =
                report::ParseReportCommandLine({QFile::encodeName(argument).toStdString()});
            if (switches.reportFile.empty() && !switches.quit) {
                parsed.problem = QStringLiteral("unknown argument %1").arg(argument);
                parsed.unknownOption = MayBeToolkitOption(argument);
                return parsed;
            }
            if (parsed.reportFile.empty()) parsed.reportFile = switches.reportFile;
            parsed.quit = parsed.quit || switches.quit;
            continue;
        }
        if (file.isEmpty()) {
            parsed.problem = QStringLiteral("--image needs a FILE");
            return parsed;
        }
        parsed.image = std::filesystem::path(QFile::encodeName(file).toStdString());
    }
    return parsed;
}

QString DesktopArguments::UsageText() {
    return QStringLiteral(
        "Usage: vellrun [--image FILE] [report=FILE [quit]]\n"
        "\n"
        "  --image FILE   serve the directory image FILE alone instead of the\n"
        "                 configured connections\n"
        "  report=FILE    run the saved report FILE at start (also /report=FILE, r=FILE)\n"
        "  quit           end after that report; the exit status is 0 when it ran\n"
        "                 to its end, 1 otherwise (also /quit, q); one that exports\n"
        "                 nothing says so on standard error\n"
        "  --screenshot FILE  save a picture of the window to FILE once it has come\n"
        "                 up (after the report=FILE run) and end\n"
        "  --help         show this text\n"
        "  --version      show the program's version\n"
        "\n"
        "Without --image the trees come from the file $VELLRUN_CONNECTIONS names,\n"
        "else from $XDG_CONFIG_HOME/vellrun/connections.json (default\n"
        "~/.config/vellrun/connections.json), else from the bundled sample.\n");
}

client::ClientOptions DesktopArguments::ClientOptions() const {
    client::ClientOptions options;
    options.image = image;
    return options;
}

}  // namespace vellrun::ui
