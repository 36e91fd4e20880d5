// pixamo-cli: the editor's picture operations without a window.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

struct TCliStreams {
    std::ostream& Out;
    std::ostream& Err;
    // Progress lines are drawn only on a terminal.
    bool ErrIsTerminal = false;
};

// Exit statuses.
constexpr int CliSuccess = 0;
constexpr int CliFailure = 1;  // a picture could not be loaded, changed or saved
constexpr int CliUsage = 2;    // the arguments are wrong

// Runs the command line given without the program name; returns the exit status.
int RunCli(const std::vector<std::string>& arguments, const TCliStreams& streams);

// The --help text.
const std::string& CliHelpText();
