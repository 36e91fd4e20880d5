#include "BatchRunner.h"

#include "Cli.h"

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr int MaxJobs = 256;

// Set by SIGINT and SIGTERM while a batch runs; lock-free, so the handler may set it.
std::atomic<bool> StopSignalled{false};
// Set when the output folder stops taking files.
std::atomic<bool> FolderFailed{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int) { StopSignalled.store(true); }

bool Stopping() { return StopSignalled.load() || FolderFailed.load(); }

// SIGINT and SIGTERM only set the stop flag while the batch runs; the earlier handlers come back
// afterwards. A repeated signal changes nothing: the pictures in work still end cleanly.
class TStopSignals {
public:
    TStopSignals() {
        StopSignalled = false;
        FolderFailed = false;
        struct sigaction action = {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &previousInt_);
        sigaction(SIGTERM, &action, &previousTerm_);
    }
    ~TStopSignals() {
        sigaction(SIGINT, &previousInt_, nullptr);
        sigaction(SIGTERM, &previousTerm_, nullptr);
    }
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

private:
    struct sigaction previousInt_ = {};
    struct sigaction previousTerm_ = {};
};

// Why no file can be made in folder, or nothing when one can.
std::optional<std::string> FolderWriteError(const std::string& folder) {
    std::string probe = (fs::path(folder) / ".pixamo-probe-XXXXXX").string();
    int fd = mkstemp(probe.data());
    if (fd < 0) return std::error_code(errno, std::generic_category()).message();
    close(fd);
    unlink(probe.c_str());
    return std::nullopt;
}

std::string FolderMessage(const std::string& folder, const std::string& reason) {
    return folder + ": Cannot write into the output folder. " + reason + "\n";
}

// "1:05" or "0:09".
std::string MinutesAndSeconds(double seconds) {
    const long long whole = std::llround(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

enum class TOutcome { Converted, Failed, Skipped, Abandoned };

class TBatch {
public:
    TBatch(const std::vector<TBatchItem>& items, const std::string& outputFolder, const TBatchOptions& options,
           const TConvertPicture& convert, const TCliStreams& io)
        : items_(items),
          outputFolder_(outputFolder),
          options_(options),
          convert_(convert),
          io_(io),
          showProgress_(!outputFolder.empty() && io.ErrIsTerminal && !options.Quiet),
          start_(std::chrono::steady_clock::now()) {
        // Names are handed out in the order given, so that the same input keeps its output
        // whatever the number of jobs.
        std::set<std::string> claimed;
        for (const TBatchItem& item : items) duplicate_.push_back(!claimed.insert(item.Output).second);
    }

    int Run() {
        unsigned jobs = options_.Jobs > 0 ? static_cast<unsigned>(options_.Jobs)
                                          : std::max(1u, std::thread::hardware_concurrency());
        jobs = static_cast<unsigned>(std::min<std::size_t>(jobs, std::max<std::size_t>(items_.size(), 1)));
        if (showProgress_) ShowProgress();
        if (jobs == 1) {
            Work();
        } else {
            std::vector<std::thread> workers;
            for (unsigned i = 0; i < jobs; ++i) workers.emplace_back([this] { Work(); });
            for (std::thread& worker : workers) worker.join();
        }
        if (showProgress_) io_.Err << "\r\033[K";
        if (!outputFolder_.empty() && io_.Summary && !options_.Quiet) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.1f", Elapsed());
            io_.Err << converted_ << " converted, " << failed_ << " failed, " << skipped_ << " skipped in " << seconds
                    << " s\n";
        }
        io_.Err.flush();
        if (StopSignalled) return CliInterrupted;
        return failed_ > 0 || FolderFailed ? CliFailure : CliSuccess;
    }

private:
    void Work() {
        while (!Stopping()) {
            const std::size_t index = next_++;
            if (index >= items_.size()) return;
            std::ostringstream messages;
            const TOutcome outcome = Convert(index, messages);
            Report(outcome, messages.str());
        }
    }

    TOutcome Convert(std::size_t index, std::ostream& messages) {
        const TBatchItem& item = items_[index];
        // Two inputs of the same base name would silently leave only the later result.
        if (duplicate_[index]) {
            messages << item.Input << ": " << item.Output
                     << " was already written for another input of the same name.\n";
            return TOutcome::Failed;
        }
        std::error_code error;
        if (options_.SkipExisting && fs::exists(item.Output, error)) return TOutcome::Skipped;
        try {
            if (convert_(item, messages)) return TOutcome::Converted;
        } catch (const EBatchStopped&) {
            return TOutcome::Abandoned;
        }
        return TOutcome::Failed;
    }

    void Report(TOutcome outcome, std::string messages) {
        // A folder that takes no more files ends the batch with one message rather than one
        // failure per picture.
        if (outcome == TOutcome::Failed && !outputFolder_.empty()) {
            if (std::optional<std::string> reason = FolderWriteError(outputFolder_))
                messages = FolderFailed.exchange(true) ? "" : FolderMessage(outputFolder_, *reason);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        switch (outcome) {
            case TOutcome::Converted:
                ++converted_;
                break;
            case TOutcome::Failed:
                ++failed_;
                break;
            case TOutcome::Skipped:
                ++skipped_;
                break;
            case TOutcome::Abandoned:
                return;
        }
        if (showProgress_ && !messages.empty()) io_.Err << "\r\033[K";
        io_.Err << messages;
        if (showProgress_) ShowProgress();
        io_.Err.flush();
    }

    double Elapsed() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

    // "[12/40] 3.1 pictures/s, 0:09 left", redrawn in place.
    void ShowProgress() {
        const std::size_t done = converted_ + failed_ + skipped_;
        io_.Err << "\r\033[K[" << done << "/" << items_.size() << "]";
        const double seconds = Elapsed();
        if (done > 0 && seconds > 0) {
            const double rate = static_cast<double>(done) / seconds;
            char text[64];
            std::snprintf(text, sizeof text, " %.1f pictures/s, %s left", rate,
                          MinutesAndSeconds(static_cast<double>(items_.size() - done) / rate).c_str());
            io_.Err << text;
        }
    }

    const std::vector<TBatchItem>& items_;
    const std::string& outputFolder_;
    const TBatchOptions& options_;
    const TConvertPicture& convert_;
    const TCliStreams& io_;
    const bool showProgress_;
    const std::chrono::steady_clock::time_point start_;
    std::vector<bool> duplicate_;
    std::atomic<std::size_t> next_{0};
    std::mutex mutex_;
    std::size_t converted_ = 0, failed_ = 0, skipped_ = 0;
};

}  // namespace

bool TBatchOptions::Parse(const std::string& arg, const std::function<const std::string&()>& value) {
    if (arg == "-j" || arg == "--jobs") {
        const std::string& text = value();
        int jobs = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
        if (error != std::errc() || end != text.data() + text.size() || jobs < 1 || jobs > MaxJobs)
            throw EUsage(arg + " " + text + ": give a whole number of pictures from 1 to " + std::to_string(MaxJobs) +
                         ".");
        Jobs = jobs;
    } else if (arg == "--skip-existing")
        SkipExisting = true;
    else if (arg == "--quiet")
        Quiet = true;
    else if (arg == "--files-from") {
        FilesFrom = value();
        if (FilesFrom.empty()) throw EUsage("--files-from needs a file name, or - for standard input.");
    } else if (arg == "-0")
        NulSeparated = true;
    else
        return false;
    return true;
}

std::vector<std::string> ReadFileList(std::istream& list, bool nulSeparated) {
    std::vector<std::string> names;
    std::string name;
    while (std::getline(list, name, nulSeparated ? '\0' : '\n'))
        if (!name.empty()) names.push_back(std::move(name));
    return names;
}

int RunBatch(const std::vector<TBatchItem>& items, const std::string& outputFolder, const TBatchOptions& options,
             const TConvertPicture& convert, const TCliStreams& io) {
    if (!outputFolder.empty()) {
        std::error_code error;
        fs::create_directories(outputFolder, error);
        if (!fs::is_directory(outputFolder)) {
            io.Err << outputFolder << ": " << (error ? error.message() : "not a folder") << "\n";
            return CliFailure;
        }
        if (std::optional<std::string> reason = FolderWriteError(outputFolder)) {
            io.Err << FolderMessage(outputFolder, *reason);
            return CliFailure;
        }
    }
    TStopSignals signals;
    return TBatch(items, outputFolder, options, convert, io).Run();
}

void AbandonWhenStopping() {
    if (Stopping()) throw EBatchStopped();
}
