#include "editor/FolderBrowser.h"

#include "core/PixelBuffer.h"
#include "formats/LoadPipeline.h"
#include "platform/Exception.h"
#include "platform/PictureFormats.h"
#include "platform/Warnings.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// -1, 0 or 1 as a lies before, with or after b, digit runs by value and letters folded.
int NaturalCompare(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // Leading zeros say nothing of the value; then the longer run is the larger.
            while (i < a.size() && a[i] == '0') ++i;
            while (j < b.size() && b[j] == '0') ++j;
            const std::size_t startA = i;
            const std::size_t startB = j;
            while (i < a.size() && IsDigit(a[i])) ++i;
            while (j < b.size() && IsDigit(b[j])) ++j;
            const std::size_t lengthA = i - startA;
            const std::size_t lengthB = j - startB;
            if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
            const int digits = a.compare(startA, lengthA, b, startB, lengthB);
            if (digits != 0) return digits < 0 ? -1 : 1;
            continue;
        }
        const auto ca = static_cast<unsigned char>(Lower(a[i]));
        const auto cb = static_cast<unsigned char>(Lower(b[j]));
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

std::string NameOf(const std::string& fileName) { return fs::path(fileName).filename().string(); }

bool NameLess(const std::string& a, const std::string& b) { return NaturalLess(NameOf(a), NameOf(b)); }

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    const int order = NaturalCompare(a, b);
    return order != 0 ? order < 0 : a < b;
}

bool IsReadablePictureName(const std::string& fileName) {
    const std::string extension = ExtensionOf(fileName);
    return !extension.empty() && TPictureFormatTable::Instance().Find(extension) != nullptr;
}

std::vector<std::string> FolderPictures(const std::string& folder) {
    std::vector<std::string> pictures;
    std::error_code error;
    fs::directory_iterator entries(folder.empty() ? fs::path(".") : fs::path(folder), error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code statusError;
        if (!entries->is_regular_file(statusError)) continue;
        const fs::path& path = entries->path();
        if (IsReadablePictureName(path.filename().string())) pictures.push_back(path.string());
    }
    std::sort(pictures.begin(), pictures.end(), NameLess);
    return pictures;
}

std::string NeighbourPicture(const std::string& fileName, int step) {
    if (step == 0 || fileName.empty()) return {};
    const std::vector<std::string> pictures = FolderPictures(fs::path(fileName).parent_path().string());
    // The first picture after the file's place, or the last one before it.
    const auto place = std::lower_bound(pictures.begin(), pictures.end(), fileName, NameLess);
    const bool present = place != pictures.end() && NameOf(*place) == NameOf(fileName);
    const std::ptrdiff_t at = place - pictures.begin();
    const std::ptrdiff_t target = step > 0 ? at + (present ? step : step - 1) : at + step;
    if (target < 0 || target >= static_cast<std::ptrdiff_t>(pictures.size())) return {};
    return pictures[static_cast<std::size_t>(target)];
}

std::unique_ptr<TPixelBuffer> ReadPictureFile(const std::string& fileName, const TLoadOptions& options,
                                              TPictureMetadata* metadata) {
    try {
        TLoadedPicture loaded = LoadPictureFile(fileName, options);
        std::unique_ptr<TPixelBuffer> picture = TakeUprightBuffer(*loaded.Bitmap, loaded.Metadata, options);
        if (metadata) *metadata = std::move(loaded.Metadata);
        return picture;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        throw Exception(FormatText("Cannot open \"%s\":\n%s", fileName.c_str(), error.what()));
    }
}

// ---- Reading ahead ----

namespace {

// The file's write time and size, or nothing when it cannot be looked at.
bool Stamp(const std::string& fileName, fs::file_time_type& writeTime, std::uintmax_t& size) {
    std::error_code error;
    writeTime = fs::last_write_time(fileName, error);
    if (error) return false;
    size = fs::file_size(fileName, error);
    return !error;
}

}  // namespace

TPicturePrefetcher::TPicturePrefetcher() : worker_([this] { Run(); }) {}

TPicturePrefetcher::~TPicturePrefetcher() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        pending_.reset();
    }
    changed_.notify_all();
    worker_.join();
}

void TPicturePrefetcher::Request(const std::string& fileName, const TLoadOptions& options) {
    {
        const std::lock_guard lock(mutex_);
        if (done_ && done_->FileName == fileName) return;
        done_.reset();
        if (reading_ == fileName) {
            pending_.reset();
            return;
        }
        pending_ = fileName;
        pendingOptions_ = options;
    }
    changed_.notify_all();
}

std::optional<TReadPicture> TPicturePrefetcher::Take(const std::string& fileName) {
    std::unique_lock lock(mutex_);
    // Asked for but waiting behind another file: the caller is quicker reading it itself.
    if (pending_ == fileName && !reading_.empty()) pending_.reset();
    changed_.wait(lock, [this, &fileName] { return reading_ != fileName && pending_ != fileName; });
    if (!done_ || done_->FileName != fileName) return std::nullopt;
    TReadPicture read = std::move(*done_);
    done_.reset();
    lock.unlock();
    fs::file_time_type writeTime;
    std::uintmax_t size = 0;
    if (!Stamp(fileName, writeTime, size) || writeTime != read.WriteTime || size != read.Size) return std::nullopt;
    return read;
}

void TPicturePrefetcher::Clear() {
    const std::lock_guard lock(mutex_);
    pending_.reset();
    done_.reset();
}

void TPicturePrefetcher::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || pending_; });
        if (stopping_) return;
        reading_ = std::exchange(pending_, std::nullopt).value();
        TReadPicture read;
        read.FileName = reading_;
        const TLoadOptions options = pendingOptions_;
        lock.unlock();

        // A file that cannot be looked at is not read: Take then refuses it, and the window
        // reports the failure of its own reading.
        if (Stamp(read.FileName, read.WriteTime, read.Size)) {
            // Kept with the picture, for the window to show when it shows the picture.
            const TWarningHandler previous =
                SetThreadWarningHandler([&read](const std::string& message) { read.Warnings.push_back(message); });
            try {
                read.Picture = ReadPictureFile(read.FileName, options, &read.Metadata);
            } catch (...) {
                read.Error = std::current_exception();
            }
            SetThreadWarningHandler(previous);
        }

        lock.lock();
        // Kept unless another file was asked for meanwhile.
        if (!pending_) done_ = std::move(read);
        reading_.clear();
        changed_.notify_all();
    }
}
