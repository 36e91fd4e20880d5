// Stepping through the pictures of a folder: the order a file manager shows them in, which
// files count as pictures, and the next picture read ahead on a worker thread while the
// present one is looked at. Nothing here uses Qt.
#pragma once

#include "formats/LoadPipeline.h"
#include "platform/PictureMetadata.h"

#include <condition_variable>
#include <exception>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class TPixelBuffer;

// Whether name a comes before name b in natural order: runs of digits compare by their
// value ("img2" before "img10"), letters without regard to their case. Names equal by that
// rule are ordered by their bytes, so the order is total.
bool NaturalLess(const std::string& a, const std::string& b);

// Whether the file name's extension is one of the picture formats we read.
bool IsReadablePictureName(const std::string& fileName);

// The regular files of a folder with a readable extension, as full names, in natural order
// of their names. A folder that cannot be listed has none.
std::vector<std::string> FolderPictures(const std::string& folder);

// The picture `step` places after (positive) or before (negative) the given file among the
// pictures of its folder, or "" past either end. The file itself need not be there any
// more: its name's place in the order counts.
std::string NeighbourPicture(const std::string& fileName, int step);

// The editor's reading of a picture file into a 24-bit buffer, upright and in sRGB as the
// options ask, with the file's metadata. Failures other than memory raise "Cannot open
// "NAME":" followed by the reader's message.
std::unique_ptr<TPixelBuffer> ReadPictureFile(const std::string& fileName, const TLoadOptions& options = {},
                                              TPictureMetadata* metadata = nullptr);

// A picture read by the prefetcher, or the failure it met; warnings raised while reading
// are kept for the window to show with the picture.
struct TReadPicture {
    std::string FileName;
    std::unique_ptr<TPixelBuffer> Picture;
    TPictureMetadata Metadata;
    std::exception_ptr Error;
    std::vector<std::string> Warnings;
    // The file as it was when reading began: a file changed since is read again.
    std::filesystem::file_time_type WriteTime;
    std::uintmax_t Size = 0;
};

// Reads one file ahead on a worker thread of its own. The readers and the pixel buffer work
// on separate pictures from several threads; the worker touches nothing else.
class TPicturePrefetcher {
public:
    TPicturePrefetcher();
    // Waits for a read under way to end.
    ~TPicturePrefetcher();
    TPicturePrefetcher(const TPicturePrefetcher&) = delete;
    TPicturePrefetcher& operator=(const TPicturePrefetcher&) = delete;

    // Reads the file next (with the options given), after the one under way; a picture read
    // before and not taken is dropped unless it is this file.
    void Request(const std::string& fileName, const TLoadOptions& options = {});
    // The file's picture (or failure) when it was asked for, waiting for a read under way;
    // nothing when it was not asked for, still waits behind the read of another file, or
    // changed since it was read (the caller then reads it itself).
    std::optional<TReadPicture> Take(const std::string& fileName);
    // Drops every request and picture not yet taken.
    void Clear();

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<std::string> pending_;
    TLoadOptions pendingOptions_;
    std::string reading_;
    std::optional<TReadPicture> done_;
    bool stopping_ = false;
    std::thread worker_;
};
