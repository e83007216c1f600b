#pragma once

#include "client/ClientFactory.h"

#include <QString>
#include <QStringList>
#include <filesystem>
#include <optional>
#include <string>

namespace vellrun::ui {

// What the desktop program was asked for on its command line: "--image FILE"
// (or "--image=FILE") serves that directory image alone, as the console
// program does; "--help" asks for the usage text and "--version" for the
// version; the saved report switches "report=FILE" and "quit" in every
// spelling the console accepts ("/REPORT=FILE", "r=FILE", "/q", ...) run a
// report at start and end the program after it. A plain value.
struct DesktopArguments {
    std::optional<std::filesystem::path> image;
    bool help = false;
    bool version = false;  // --version
    std::string reportFile;
    bool quit = false;
    // "--screenshot FILE": once the window has come up (and a report given
    // with report=FILE has run), save a picture of it to FILE and end.
    std::optional<std::filesystem::path> screenshot;
    // Not empty when the command line could not be understood.
    QString problem;
    // The problem is an argument that this program does not know and that
    // may be one of Qt's own options ("-style", "-platform"), which only
    // QApplication takes out of the command line.
    bool unknownOption = false;

    // arguments as QCoreApplication::arguments() gives them (program first,
    // Qt's own options already taken out).
    static DesktopArguments Parse(const QStringList& arguments);
    static QString UsageText();

    client::ClientOptions ClientOptions() const;
};

}  // namespace vellrun::ui
