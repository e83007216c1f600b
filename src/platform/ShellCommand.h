#pragma once

// How a command line from a button or menu is opened: a program whose path
// may hold blanks, a built-in command of the command interpreter, or a
// document or web address for the desktop to open. This works out the plan
// only; the front end carries it out (and owns the process it starts).

#include <functional>
#include <string>
#include <string_view>

namespace vellrun::platform {

// One of the 15 built-in commands (CD, COPY, DEL, DIR, ECHO, MD, PATH,
// PROMPT, REM, REN, RD, SET, TRUENAME, TYPE, VER), a to z compared without case.
bool IsShellCommand(std::string_view word);

struct ShellOpenPlan {
    enum class Kind {
        Program,      // run target with parameters in folder
        Interpreter,  // run target (the shell) with "-c" and parameters (the whole line)
        Document,     // open target (a document, a web address) with parameters
    };
    Kind kind = Kind::Document;
    std::string target;
    std::string parameters;
    std::string folder;  // Program only: the program's folder
};

// Words are taken one by one (joined with single blanks) until they name an
// existing file (isFile); the rest of the line is its parameters. That file
// runs as a program when isProgram says it is one (no isProgram: always),
// else it is a document opened with its program. Otherwise the first word
// decides: a built-in command runs the whole line through shell, a program
// (isProgram: on the search path) runs with the rest of the line as its
// parameters, anything else is opened as a document.
ShellOpenPlan PlanShellOpen(std::string_view commandLine,
                            const std::function<bool(const std::string&)>& isFile,
                            std::string_view shell,
                            const std::function<bool(const std::string&)>& isProgram = {});

}  // namespace vellrun::platform
