// Running one conversion over many pictures: several at once, skipping results already there,
// with a progress line and a closing summary, and stopping cleanly on Ctrl+C or SIGTERM.
#pragma once

#include "platform/Exception.h"

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

struct TCliStreams;

struct TBatchOptions {
    int Jobs = 0;  // pictures converted at once; 0 for one per core
    bool SkipExisting = false;
    bool Quiet = false;         // neither progress line nor summary
    std::string FilesFrom;      // a list of input names, "-" for standard input
    bool NulSeparated = false;  // the list's names end in NUL bytes rather than line ends

    // Takes arg, with its value through value(), when it is one of the batch options; raises
    // EUsage for a wrong value.
    bool Parse(const std::string& arg, const std::function<const std::string&()>& value);
};

struct TBatchItem {
    std::string Input;
    std::string Output;
};

// Converts one picture and writes its messages ("FILE: MESSAGE" lines) to messages; returns
// whether it worked. Runs on several threads at once.
using TConvertPicture = std::function<bool(const TBatchItem& item, std::ostream& messages)>;

// The names of a --files-from list: one a line (empty lines skipped), or NUL-terminated.
std::vector<std::string> ReadFileList(std::istream& list, bool nulSeparated);

// Converts every item and returns the exit status: CliInterrupted after Ctrl+C or SIGTERM,
// CliFailure when a picture failed or the output folder cannot be written, else CliSuccess.
// With an output folder (a batch), the folder is made when missing and checked to be writable
// first, the progress line and the summary are written, and a folder that stops taking files
// stops the batch with one message. Two items of the same output: the later one fails.
int RunBatch(const std::vector<TBatchItem>& items, const std::string& outputFolder, const TBatchOptions& options,
             const TConvertPicture& convert, const TCliStreams& io);

// Raised between the steps of a picture once the batch stops: the picture is abandoned, and
// nothing of it is written.
class EBatchStopped : public Exception {
public:
    EBatchStopped() : Exception("The batch was stopped.") {}
};
// Raises EBatchStopped when the running batch has been told to stop.
void AbandonWhenStopping();
