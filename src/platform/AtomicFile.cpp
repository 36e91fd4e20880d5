#include "AtomicFile.h"

#include "Exception.h"
#include "Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The temporary file: a stdio stream over the descriptor mkstemp gave.
class TTemporaryFileStream : public TStream {
public:
    explicit TTemporaryFileStream(std::FILE* file) : file_(file) {}
    std::size_t Read(void* buffer, std::size_t count) override { return std::fread(buffer, 1, count, file_); }
    std::size_t Write(const void* buffer, std::size_t count) override { return std::fwrite(buffer, 1, count, file_); }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        int whence = origin == TSeekOrigin::Beginning ? SEEK_SET : origin == TSeekOrigin::Current ? SEEK_CUR : SEEK_END;
        if (!(origin == TSeekOrigin::Current && offset == 0) && fseeko(file_, static_cast<off_t>(offset), whence) != 0)
            throw EStreamError("Stream seek error");
        return static_cast<std::int64_t>(ftello(file_));
    }

private:
    std::FILE* file_;
};

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A symbolic link keeps pointing at the file: the rename replaces the file it names.
std::string ResolveTarget(const std::string& fileName) {
    struct stat st;
    if (lstat(fileName.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(fileName.c_str(), resolved)) return resolved;
    }
    return fileName;
}

[[noreturn]] void RaiseCreateError(const std::string& fileName, int error) {
    throw EFCreateError(FormatText("Cannot create file \"%s\". %s", fileName.c_str(), std::strerror(error)));
}

}  // namespace

void WriteFileAtomically(const std::string& fileName, const std::function<void(TStream&)>& write) {
    const std::string target = ResolveTarget(fileName);
    const std::size_t cut = target.find_last_of('/');
    const std::string prefix = cut == std::string::npos ? "" : target.substr(0, cut + 1);
    std::string pattern = prefix + "." + target.substr(prefix.size()) + ".XXXXXX";
    int fd = mkstemp(pattern.data());
    if (fd < 0) RaiseCreateError(fileName, errno);

    // The new file gets the permissions of the one it replaces, or the usual ones for a new file.
    struct stat st;
    mode_t mode;
    if (stat(target.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);

    std::FILE* file = fdopen(fd, "w+b");
    if (!file) {
        int error = errno;
        close(fd);
        unlink(pattern.c_str());
        RaiseCreateError(fileName, error);
    }
    // Pictures are written a row at a time; a large buffer keeps that to few system calls.
    std::vector<char> buffer(1 << 18);
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    try {
        TTemporaryFileStream stream(file);
        write(stream);
        if (std::fflush(file) != 0 || fsync(fileno(file)) != 0) throw EWriteError();
    } catch (...) {
        std::fclose(file);
        unlink(pattern.c_str());
        throw;
    }
    if (std::fclose(file) != 0) {
        unlink(pattern.c_str());
        throw EWriteError();
    }
    if (std::rename(pattern.c_str(), target.c_str()) != 0) {
        int error = errno;
        unlink(pattern.c_str());
        RaiseCreateError(fileName, error);
    }
    // Make the rename itself durable.
    int dir = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}
