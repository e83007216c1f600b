// The console program: everything it does lives in cli::CliApp.

#include "cli/CliApp.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    vellrun::cli::CliApp app;
    return app.Run(args, std::cout, std::cerr);
}
