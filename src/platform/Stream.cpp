#include "Stream.h"

#include "Exception.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

std::int64_t TStream::Size() {
    std::int64_t here = Position();
    std::int64_t end = Seek(0, TSeekOrigin::End);
    Seek(here, TSeekOrigin::Beginning);
    return end;
}

std::int64_t TStream::Remaining() {
    std::int64_t left = Size() - Position();
    return left > 0 ? left : 0;
}

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::int64_t>(count, 1 << 16)));
    std::int64_t left = count;
    while (left > 0) {
        std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(chunk.size())));
        source.ReadBuffer(chunk.data(), n);
        WriteBuffer(chunk.data(), n);
        left -= static_cast<std::int64_t>(n);
    }
    return count;
}

// ---- TFileStream ----

namespace {
constexpr std::size_t FileBufferSize = 1 << 16;
}

TFileStream::TFileStream(const std::string& fileName, TFileMode mode)
    : fileName_(fileName), readOnly_(mode == TFileMode::OpenRead) {
    int flags = mode == TFileMode::OpenRead ? O_RDONLY
                : mode == TFileMode::Create ? O_RDWR | O_CREAT | O_TRUNC
                                            : O_RDWR;
    fd_ = open(fileName.c_str(), flags | O_CLOEXEC, 0666);
    if (fd_ < 0) {
        std::string reason = std::strerror(errno);
        if (mode == TFileMode::Create)
            throw EFCreateError(FormatText("Cannot create file \"%s\". %s", fileName.c_str(), reason.c_str()));
        throw EFOpenError(FormatText("Cannot open file \"%s\". %s", fileName.c_str(), reason.c_str()));
    }
    // A folder opens for reading too; its size is meaningless.
    struct stat st;
    if (fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd_);
        fd_ = -1;
        throw EFOpenError(FormatText("Cannot open file \"%s\". %s", fileName.c_str(), std::strerror(EISDIR)));
    }
    if (readOnly_) size_ = S_ISREG(st.st_mode) ? static_cast<std::int64_t>(st.st_size) : 0;
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) close(fd_);
}

std::size_t TFileStream::ReadFromFile(void* buffer, std::size_t count, std::int64_t offset) {
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = pread(fd_, static_cast<std::uint8_t*>(buffer) + done, count - done,
                          static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        // Bytes already in the buffer first.
        if (position_ >= bufferStart_ && position_ < bufferStart_ + static_cast<std::int64_t>(bufferLength_)) {
            std::size_t at = static_cast<std::size_t>(position_ - bufferStart_);
            std::size_t n = std::min(count - done, bufferLength_ - at);
            std::memcpy(out + done, buffer_.data() + at, n);
            done += n;
            position_ += static_cast<std::int64_t>(n);
            continue;
        }
        // Large reads go straight to the caller; small ones refill the buffer.
        if (count - done >= FileBufferSize) {
            std::size_t n = ReadFromFile(out + done, count - done, position_);
            done += n;
            position_ += static_cast<std::int64_t>(n);
            break;
        }
        buffer_.resize(FileBufferSize);
        bufferStart_ = position_;
        bufferLength_ = ReadFromFile(buffer_.data(), FileBufferSize, position_);
        if (bufferLength_ == 0) break;
    }
    return done;
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        ssize_t n = pwrite(fd_, in + done, count - done, static_cast<off_t>(position_));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            writeFailed_ = true;
            break;
        }
        done += static_cast<std::size_t>(n);
        position_ += n;
    }
    bufferLength_ = 0;  // the buffered bytes may be stale now
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = origin == TSeekOrigin::Beginning ? 0 : origin == TSeekOrigin::Current ? position_ : Size();
    if (offset < 0 ? base < std::numeric_limits<std::int64_t>::min() - offset
                   : base > std::numeric_limits<std::int64_t>::max() - offset)
        throw EStreamError("Stream seek error");
    std::int64_t target = base + offset;
    if (target < 0) throw EStreamError("Stream seek error");
    position_ = target;
    return target;
}

std::int64_t TFileStream::Size() {
    if (readOnly_) return size_;
    struct stat st;
    if (fstat(fd_, &st) != 0) return 0;
    return static_cast<std::int64_t>(st.st_size);
}

void TFileStream::Flush() {
    if (writeFailed_) throw EWriteError();
}

// ---- TMemoryStream ----

TMemoryStream::TMemoryStream(const void* bytes, std::size_t count)
    : data_(static_cast<const std::uint8_t*>(bytes), static_cast<const std::uint8_t*>(bytes) + count) {}

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (position_ >= data_.size()) return 0;
    std::size_t n = std::min(count, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    if (position_ + count > data_.size()) data_.resize(position_ + count);
    std::memcpy(data_.data() + position_, buffer, count);
    position_ += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = origin == TSeekOrigin::Beginning ? 0
                        : origin == TSeekOrigin::Current ? static_cast<std::int64_t>(position_)
                                                         : static_cast<std::int64_t>(data_.size());
    std::int64_t target = base + offset;
    if (target < 0) throw EStreamError("Stream seek error");
    position_ = static_cast<std::size_t>(target);
    return target;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    data_ = ReadWholeFile(fileName);
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    std::int64_t size = source.Size();
    data_.resize(static_cast<std::size_t>(size));
    source.ReadBuffer(data_.data(), data_.size());
    position_ = 0;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& fileName) {
    TFileStream file(fileName, TFileMode::OpenRead);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file.Size()));
    file.ReadBuffer(bytes.data(), bytes.size());
    return bytes;
}
