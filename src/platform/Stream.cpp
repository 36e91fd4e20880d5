#include "Stream.h"

#include "Exception.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/stat.h>

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

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : fileName_(fileName) {
    const char* how = mode == TFileMode::OpenRead ? "rb" : mode == TFileMode::Create ? "wb" : "r+b";
    file_ = std::fopen(fileName.c_str(), how);
    if (!file_) {
        std::string reason = std::strerror(errno);
        if (mode == TFileMode::Create)
            throw EFCreateError(FormatText("Cannot create file \"%s\". %s", fileName.c_str(), reason.c_str()));
        throw EFOpenError(FormatText("Cannot open file \"%s\". %s", fileName.c_str(), reason.c_str()));
    }
    // stdio opens folders for reading too; their size is meaningless.
    struct stat st;
    if (fstat(fileno(file_), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(file_);
        file_ = nullptr;
        throw EFOpenError(FormatText("Cannot open file \"%s\". %s", fileName.c_str(), std::strerror(EISDIR)));
    }
}

TFileStream::~TFileStream() {
    if (file_) std::fclose(file_);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    return std::fread(buffer, 1, count, file_);
}

std::size_t TFileStream::Write(const void* buffer, std::size_t count) {
    return std::fwrite(buffer, 1, count, file_);
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    int whence = origin == TSeekOrigin::Beginning ? SEEK_SET : origin == TSeekOrigin::Current ? SEEK_CUR : SEEK_END;
    if (!(origin == TSeekOrigin::Current && offset == 0)) {
        if (fseeko(file_, static_cast<off_t>(offset), whence) != 0) throw EStreamError("Stream seek error");
    }
    return static_cast<std::int64_t>(ftello(file_));
}

std::int64_t TFileStream::Size() {
    off_t here = ftello(file_);
    fseeko(file_, 0, SEEK_END);
    off_t end = ftello(file_);
    fseeko(file_, here, SEEK_SET);
    return static_cast<std::int64_t>(end);
}

void TFileStream::Flush() {
    if (std::fflush(file_) != 0) throw EWriteError();
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
