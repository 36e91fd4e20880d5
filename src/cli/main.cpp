#include "cli/Cli.h"

#include <unistd.h>
#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    TCliStreams streams{std::cout, std::cerr, isatty(STDERR_FILENO) == 1, true, &std::cin};
    return RunCli(arguments, streams);
}
