// Byte streams with a position: files and memory blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class TSeekOrigin { Beginning, Current, End };

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many were read (fewer at the end).
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    // Returns the new position; seeking before the start raises EStreamError.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::Beginning); }
    virtual std::int64_t Size();
    // Bytes from the position to the end (0 when past it).
    std::int64_t Remaining();

    // Exactly count bytes or EReadError ("Stream read error").
    void ReadBuffer(void* buffer, std::size_t count);
    // Exactly count bytes or EWriteError.
    void WriteBuffer(const void* buffer, std::size_t count);

    template <typename T> T ReadValue() {
        T value;
        ReadBuffer(&value, sizeof value);
        return value;
    }
    // Copies count bytes (all that is left when count is 0) from source; returns the count.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

enum class TFileMode { OpenRead, Create, OpenReadWrite };

// A file on disk. OpenRead shares the file for reading with others. Reads go through a buffer and
// the position and (for OpenRead) the size are kept here, so that readers walking a file in small
// steps (GIF sub-blocks, TIFF tags) cost no system call per step.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, TFileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override;
    const std::string& FileName() const { return fileName_; }
    // Writes are not buffered; this raises EWriteError when a write has failed.
    void Flush();

private:
    std::size_t ReadFromFile(void* buffer, std::size_t count, std::int64_t offset);

    std::string fileName_;
    int fd_ = -1;
    bool readOnly_ = false;
    bool writeFailed_ = false;
    std::int64_t size_ = 0;  // kept for OpenRead only
    std::int64_t position_ = 0;
    std::vector<std::uint8_t> buffer_;
    std::int64_t bufferStart_ = 0;  // file offset of buffer_[0]
    std::size_t bufferLength_ = 0;
};

// A growable block of memory; also a read-only view over bytes the caller keeps alive.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> bytes) : data_(std::move(bytes)) {}
    TMemoryStream(const void* bytes, std::size_t count);

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(data_.size()); }

    const std::vector<std::uint8_t>& Data() const { return data_; }
    std::vector<std::uint8_t>& Data() { return data_; }
    void LoadFromFile(const std::string& fileName);
    void LoadFromStream(TStream& source);
    void Clear() {
        data_.clear();
        position_ = 0;
    }

private:
    std::vector<std::uint8_t> data_;
    std::size_t position_ = 0;
};

// Puts a stream back where it stood when the keeper was made, however the scope is left: content
// tests look at a file's first bytes and must leave the position as it was, also when a read fails.
class TStreamPositionKeeper {
public:
    explicit TStreamPositionKeeper(TStream& stream) : stream_(stream), position_(stream.Position()) {}
    ~TStreamPositionKeeper() {
        try {
            stream_.SetPosition(position_);
        } catch (...) {
            // A stream that cannot seek back to where it already was has nothing left to restore.
        }
    }
    TStreamPositionKeeper(const TStreamPositionKeeper&) = delete;
    TStreamPositionKeeper& operator=(const TStreamPositionKeeper&) = delete;
    std::int64_t Position() const { return position_; }

private:
    TStream& stream_;
    std::int64_t position_;
};

// Reads a whole file into memory; raises EFOpenError naming the file.
std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName);
