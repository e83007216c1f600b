#include "cli/CliApp.h"

#include "cli/CommandSupport.h"
#include "cli/ConsoleMessagePort.h"
#include "cli/ConsoleRunFeedback.h"
#include "cli/ReportCommand.h"
#include "directory/DirectoryAccess.h"
#include "settings/SettingsStore.h"
#include "values/ValueFormatting.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <iterator>
#include <utility>

#include <termios.h>
#include <unistd.h>

namespace vellrun::cli {

namespace {

// The -H family of options goes together.
std::optional<std::string> CheckServerOptions(const CliOptions& options) {
    const bool serverOptions = options.serverBase || options.bindDn || options.passwordFile ||
                               options.askPassword || options.startTls || options.caFile;
    if (serverOptions && !options.serverUri) return "-b, -D, -y, -W, -Z and --cafile need -H URI";
    if (options.serverUri && options.image) return "-H and --image cannot be used together";
    if (!options.schemaFiles.empty() && !options.image) return "--schema needs --image DUMP.ldif";
    if (options.bindDn && !options.passwordFile && !options.askPassword)
        return "-D needs the password from -y FILE or -W";
    if ((options.passwordFile || options.askPassword) && !options.bindDn)
        return "-y and -W need -D BINDDN";
    if (options.passwordFile && options.askPassword) return "-y and -W exclude each other";
    return std::nullopt;
}

// The host of an ldap:// or ldaps:// address (the first of a list), the
// tree's name for a -H run; "localhost" for ldapi:// and an address without
// a host.
std::string HostOfUri(const std::string& uri) {
    const size_t start = uri.find("://");
    if (start == std::string::npos) return "localhost";
    std::string host = uri.substr(start + 3);
    host = host.substr(0, host.find_first_of("/ ,"));
    if (!host.empty() && host.front() == '[') {
        host = host.substr(1, host.find(']') - 1);
    } else {
        host = host.substr(0, host.find(':'));
    }
    if (host.empty() || host.find('%') != std::string::npos) return "localhost";
    return host;
}

// The terminal as it was before the password prompt, for a signal that ends
// the program in the middle of it: echo comes back before the program goes.
constexpr int kPromptSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
int promptTerminal = -1;
termios promptSaved{};
struct sigaction promptPrevious[std::size(kPromptSignals)];

extern "C" void RestoreTerminalAndEnd(int signal) {
    ::tcsetattr(promptTerminal, TCSANOW, &promptSaved);
    // Then the signal does what it did before the prompt (end the program,
    // after removing its temporary files).
    for (size_t i = 0; i < std::size(kPromptSignals); ++i) {
        if (kPromptSignals[i] == signal) ::sigaction(signal, &promptPrevious[i], nullptr);
    }
    ::raise(signal);
}

// Asks for the bind password on the terminal without showing it (-W).
std::optional<std::string> AskPassword(std::ostream& err) {
    std::FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty) return std::nullopt;
    const int fd = ::fileno(tty);
    termios saved{};
    const bool isTerminal = ::tcgetattr(fd, &saved) == 0;
    std::array<bool, std::size(kPromptSignals)> caught{};
    if (isTerminal) {
        promptTerminal = fd;
        promptSaved = saved;
        struct sigaction restore {};
        restore.sa_handler = RestoreTerminalAndEnd;
        sigemptyset(&restore.sa_mask);
        for (size_t i = 0; i < std::size(kPromptSignals); ++i) {
            // A signal the parent told us to ignore stays ignored.
            if (::sigaction(kPromptSignals[i], nullptr, &promptPrevious[i]) != 0 ||
                promptPrevious[i].sa_handler == SIG_IGN) {
                continue;
            }
            caught[i] = ::sigaction(kPromptSignals[i], &restore, nullptr) == 0;
        }
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    err << "Enter LDAP Password: " << std::flush;
    std::string password;
    for (int c = std::fgetc(tty); c != EOF && c != '\n'; c = std::fgetc(tty))
        password += static_cast<char>(c);
    if (isTerminal) {
        ::tcsetattr(fd, TCSAFLUSH, &saved);
        for (size_t i = 0; i < std::size(kPromptSignals); ++i)
            if (caught[i]) ::sigaction(kPromptSignals[i], &promptPrevious[i], nullptr);
    }
    err << '\n';
    std::fclose(tty);
    return password;
}

int UsageError(std::ostream& err, std::string_view problem) {
    err << kProgram << ": " << problem << "\n\n" << CliApp::UsageText();
    return CliApp::kUsage;
}

platform::DateTimeParts LocalNow() {
    return platform::LocalTimeOf(static_cast<uint32_t>(std::time(nullptr)));
}

// "report, schema": the commands that take the options of group.
std::string CommandsTaking(uint32_t group) {
    std::vector<std::string_view> names;
    for (const Command* command : CommandTable())
        if ((command->groups & group) == group) names.push_back(command->name);
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : ", ") + std::string(names[i]);
    return text;
}

// An option given to a command that does not take it.
std::optional<std::string> CheckOptionsApply(const CliOptions& options, const Command& command) {
    for (const OptionEntry* option : options.given) {
        if ((command.groups & option->group) == option->group) continue;
        if (!command.refusal.empty()) return std::string(command.refusal);
        const std::string group = GroupName(option->group);
        if (!group.empty()) return group + " do not apply to " + std::string(command.name);
        size_t takers = 0;
        std::string_view taker;
        for (const Command* other : CommandTable()) {
            if ((other->groups & option->group) == option->group) {
                ++takers;
                taker = other->name;
            }
        }
        if (takers == 1)
            return std::string(option->name) + " applies to " + std::string(taker) + " only";
        return std::string(option->name) + " does not apply to " + std::string(command.name);
    }
    return std::nullopt;
}

// The command named by the arguments, or the usage problem.
const Command* FindCommand(CliOptions& options, std::string& problem) {
    if (options.reportFile || options.quit) {
        if (!options.reportFile || options.reportFile->empty()) {
            problem = "the report option needs a saved report file (--report=FILE)";
            return nullptr;
        }
        if (!options.operands.empty()) {
            problem = "a saved report (--report=FILE) takes no command";
            return nullptr;
        }
        // --report=FILE is "run FILE".
        options.operands = {"run", *options.reportFile};
    }
    if (options.operands.empty()) {
        problem = "no command given";
        return nullptr;
    }
    for (const Command* command : CommandTable())
        if (command->name == options.operands.front()) return command;
    problem = "unknown command " + options.operands.front();
    return nullptr;
}

}  // namespace

const std::vector<const Command*>& CommandTable() {
    static const std::vector<const Command*> table{
        &kTreesCommand,  &kListCommand, &kObjectCommand,    &kReportByTypeCommand,
        &kSchemaCommand, &kRunCommand,  &kExportLdifCommand};
    return table;
}

CliApp::CliApp(ClientMaker maker) : maker_(std::move(maker)) {}

std::string CliApp::UsageText() {
    const std::string prefix = "  " + std::string(kProgram) + " [--image FILE] ";
    std::string text = "Usage:\n";
    // Each line of block after lead; a synopsis line that starts with a blank
    // goes on the one before it.
    const auto lines = [&text](std::string_view block, const std::string& lead) {
        for (size_t start = 0; start <= block.size();) {
            size_t end = block.find('\n', start);
            if (end == std::string_view::npos) end = block.size();
            const std::string_view line = block.substr(start, end - start);
            text += (line.starts_with(' ') ? std::string(6, ' ') : lead) + std::string(line) + "\n";
            start = end + 1;
        }
    };
    for (const Command* command : CommandTable()) {
        lines(command->synopsis, prefix);
        lines(command->description, std::string(6, ' '));
    }
    text += "  " + std::string(kProgram) + " --help\n";
    text += "  " + std::string(kProgram) + " --version\n\n";
    text += OptionsHelp(CommandsTaking);
    text +=
        "Without --image or -H the trees come from the file $VELLRUN_CONNECTIONS\n"
        "names, else from $XDG_CONFIG_HOME/vellrun/connections.json (default\n"
        "~/.config/vellrun/connections.json), else from the bundled sample.\n"
        "--max-size, --value-flags, --time-stamps and --typeless change the value\n"
        "texts of object, report and run; --field-delimiter, --value-delimiter and\n"
        "--quote the delimited and clipboard text of report, schema and run. A value\n"
        "option that does not apply to a command (object's delimiters, schema's\n"
        "value texts) is accepted and changes nothing. For report, schema and run\n"
        "the value options' defaults come from the settings file shared with the\n"
        "desktop.\n"
        "\n"
        "Ctrl-C stops a report run; the rows found so far are exported.\n"
        "Exit status: 0 success, 1 failure, 2 wrong usage, 130 interrupted.\n";
    return text;
}

int CliApp::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    return CheckOutput(RunCommand(args, out, err), out, err);
}

int CliApp::CheckOutput(int code, std::ostream& out, std::ostream& err) {
    // What is still buffered reaches the file now, while a failure can be told.
    // A stream that failed before keeps the error of the write that failed.
    if (!out.fail()) errno = 0;
    out.flush();
    if (!out.fail()) return code;
    const int error = errno;
    // A reader that went away (a closed pipe) ends the program quietly; a
    // command that failed has said why already.
    if (error != EPIPE && code == kSuccess) {
        err << kProgram << ": standard output could not be written"
            << (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) << '\n';
    }
    return code == kSuccess ? kFailure : code;
}

int CliApp::RunCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CliOptions options;
    if (auto problem = ParseArguments(args, options)) return UsageError(err, *problem);
    if (options.help) {
        out << UsageText();
        return kSuccess;
    }
    if (options.version) {
        out << kProgram << ' ' << VELLRUN_VERSION << '\n';
        return kSuccess;
    }
    std::string problem;
    const Command* command = FindCommand(options, problem);
    if (command == nullptr) return UsageError(err, problem);
    if (auto wrong = command->check(options)) return UsageError(err, *wrong);
    if (auto wrong = CheckOptionsApply(options, *command)) return UsageError(err, *wrong);

    try {
        return Execute(options, *command, out, err);
    } catch (const std::exception& error) {
        err << kProgram << ": " << error.what() << '\n';
        return kFailure;
    }
}

std::optional<settings::AppSettings> CliApp::RunSettings(const CliOptions& options,
                                                         const Command& command,
                                                         const platform::DateTimeFormats& formats,
                                                         std::ostream& err) const {
    settings::AppSettings settings;
    if (settings_) {
        settings = *settings_;
    } else if (command.settings == CommandSettings::kSettingsFile) {
        // The file the desktop keeps, read as an unattended run reads it. Only
        // a missing one reads as the defaults: a file that is there but cannot
        // be read would have the run export in other characters than the
        // person chose, with no word.
        const platform::IniFile file(settingsFile_ ? *settingsFile_
                                                   : settings::SettingsFilePath(true));
        std::string unreadable;
        settings = settings::getSettingsFromIni(file, formats, &unreadable);
        if (!unreadable.empty()) {
            err << kProgram << ": " << unreadable << '\n';
            return std::nullopt;
        }
    } else {
        // object shows values as the desktop's settings dialog starts out.
        settings = settings::AppSettings::DialogDefaults(formats);
    }
    if (options.maxSizeIndex) settings.MaxAttrSizeIndex = *options.maxSizeIndex;
    if (options.valueFlags) settings.ShowValueFlags = true;
    if (options.timeStamps) settings.ShowTimeStamps = true;
    if (options.typeless) settings.TypelessNames = *options.typeless;
    if (options.fieldDelimiter) settings.FieldDelimiter = *options.fieldDelimiter;
    if (options.valueDelimiter) settings.ValueDelimiter = *options.valueDelimiter;
    if (options.quote) settings.QuoteChar = *options.quote;
    return settings;
}

int CliApp::Execute(const CliOptions& options, const Command& command, std::ostream& out,
                    std::ostream& err) {
    std::optional<report::ReportSpec> saved;
    if (command.load != nullptr && !command.load(options, saved, err)) return kFailure;

    if (auto problem = CheckServerOptions(options)) return UsageError(err, *problem);
    // Settings that cannot be read fail the run before a password is asked
    // for or a directory is loaded.
    const platform::DateTimeFormats formats =
        formats_ ? *formats_ : platform::DateTimeFormats::FromLocale();
    settings::AppSettings settings;
    if (command.settings != CommandSettings::kNone) {
        std::optional<settings::AppSettings> read = RunSettings(options, command, formats, err);
        if (!read) return kFailure;
        settings = std::move(*read);
    }
    client::ClientOptions clientOptions;
    clientOptions.image = options.image;
    clientOptions.imageValueByteLimit = options.imageLimitMiB << 20;
    clientOptions.schemaFiles = options.schemaFiles;
    if (options.serverUri) {
        client::ldap::LdapConnectionConfig server;
        server.uri = *options.serverUri;
        server.name = HostOfUri(server.uri);
        if (options.serverBase) server.base = *options.serverBase;
        if (options.bindDn) {
            server.bind = client::ldap::BindKind::Simple;
            server.bindDn = *options.bindDn;
        }
        if (options.passwordFile) server.passwordFile = *options.passwordFile;
        if (options.startTls) server.tls = client::ldap::TlsKind::StartTls;
        if (options.caFile) server.caFile = *options.caFile;
        server.insecureBindAdvice = "use an ldaps:// address, or -Z for StartTLS";
        if (options.askPassword) {
            // A password that would be refused is not asked for.
            if (const std::string refusal = client::ldap::InsecureBindRefusal(server);
                !refusal.empty()) {
                err << kProgram << ": " << refusal << '\n';
                return kFailure;
            }
            std::optional<std::string> password = AskPassword(err);
            if (!password) {
                err << kProgram << ": no password given\n";
                return kFailure;
            }
            server.password = std::move(*password);
        }
        clientOptions.server = std::move(server);
    }
    ConsoleRunFeedback feedback;
    // A large image takes a while to load: Ctrl-C stops it wherever standard
    // error goes, and a terminal sees how far it is.
    // Ctrl-C gives up a wait for a server too: the connection being made, or
    // an answer that does not come.
    clientOptions.whileWaiting = [&feedback] { return !feedback.Interrupted(); };
    if (!options.serverUri) {
        clientOptions.loadProgress = [&feedback, &err, show = showProgress_](uint64_t done,
                                                                             uint64_t total) {
            return show ? feedback.LoadProgress(err, done, total) : !feedback.Interrupted();
        };
    }
    std::unique_ptr<client::DirectoryClient> client = maker_(clientOptions);
    if (!client) {
        err << kProgram << ": no directory client is available\n";
        return kFailure;
    }
    ConsoleMessagePort messages(err, &feedback);
    directory::DirectoryAccess access(*client, messages, feedback);
    values::ValueTextFormatter formatter(access, formats);
    access.SetValueFormatter(&formatter);
    int started = 0;
    {
        const ObservedFeedback observed(feedbackObserver_, feedback);
        started = access.DSStartClient();
    }
    feedback.ClearLine();
    if (started != 0) {
        if (!feedback.Interrupted()) return kFailure;
        err << kProgram << ": loading was cancelled\n";
        return ReportCommand::kInterrupted;
    }

    CommandServices services{options,
                             access,
                             feedback,
                             messages,
                             settings,
                             formats,
                             now_ ? *now_ : LocalNow(),
                             showProgress_,
                             feedbackObserver_,
                             saved,
                             out,
                             err};
    const int code = command.run(services);
    if (keepDirectoryUntilExit_) {
        // Still reachable from here, so not a leak; the system takes it back at exit.
        static std::vector<std::unique_ptr<client::DirectoryClient>>* kept =
            new std::vector<std::unique_ptr<client::DirectoryClient>>();
        kept->push_back(std::move(client));
    }
    return code;
}

}  // namespace vellrun::cli
