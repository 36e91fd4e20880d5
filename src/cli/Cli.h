// pixamo-cli: the editor's picture operations without a window.
#pragma once

#include "platform/Exception.h"

#include <iosfwd>
#include <string>
#include <vector>

struct TCliStreams {
    std::ostream& Out;
    std::ostream& Err;
    // Progress lines are drawn only on a terminal.
    bool ErrIsTerminal = false;
    // A batch into a folder ends with its summary line on Err ("N converted, ..."); the program
    // asks for it, callers that count for themselves may leave it out.
    bool Summary = false;
    // Where "--files-from -" reads; null for the process's standard input.
    std::istream* In = nullptr;
};

// Exit statuses.
constexpr int CliSuccess = 0;
constexpr int CliFailure = 1;        // a picture could not be loaded, changed or saved
constexpr int CliUsage = 2;          // the arguments are wrong
constexpr int CliInterrupted = 130;  // Ctrl+C or SIGTERM stopped the work

// A wrong argument: reported with the usage line, exit status 2.
class EUsage : public Exception {
    using Exception::Exception;
};

// Runs the command line given without the program name; returns the exit status.
int RunCli(const std::vector<std::string>& arguments, const TCliStreams& streams);

// The --help text.
const std::string& CliHelpText();
