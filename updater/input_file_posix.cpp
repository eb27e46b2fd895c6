// Image files on POSIX: opened read-only and locked with flock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "updater/download_stream.h"

namespace updater {

InputFile InputFile::Open(const std::filesystem::path& path) {
    InputFile file;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        file.error_ = errno;
        return file;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        file.error_ = S_ISDIR(info.st_mode) ? EISDIR : (errno != 0 ? errno : EINVAL);
        ::close(fd);
        return file;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        file.error_ = errno;
        ::close(fd);
        return file;
    }
    file.handle_ = fd;
    file.size_ = static_cast<uint64_t>(info.st_size);
    return file;
}

long InputFile::Read(uint8_t* buffer, std::size_t length) {
    if (handle_ < 0) {
        errno = EBADF;
        return -1;
    }
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(handle_), buffer, length);
        if (n >= 0) return static_cast<long>(n);
        if (errno != EINTR) return -1;
    }
}

void InputFile::Close() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));  // also drops the lock
    handle_ = -1;
}

}  // namespace updater
