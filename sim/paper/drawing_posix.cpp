// The drawing's system parts on Linux: Debian's font paths, mmap, open(O_EXCL), rename.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sim/paper/files.h"

namespace sim::paper {

std::string InstalledFont(FontFile file) {
    constexpr const char* kFolders[] = {"/usr/share/fonts/opentype/terminus/",
                                        "/usr/share/fonts/truetype/dejavu/",
                                        "/usr/share/fonts/truetype/wqy/"};
    return std::string(kFolders[static_cast<int>(file)]) + FontFileName(file);
}

std::string FontAdvice(FontFile file) {
    return std::string("package ") + FontPackage(file);
}

std::string ErrorText(int error_number) {
    return error_number != 0 ? std::strerror(error_number) : "unknown error";
}

std::unique_ptr<MappedFile> MappedFile::Open(const std::filesystem::path& path,
                                             std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
        *error = "cannot read " + path.string() + ": " + ErrorText(errno);
        if (fd >= 0) close(fd);
        return nullptr;
    }
    if (info.st_size <= 0) {
        close(fd);
        *error = "cannot read " + path.string() + ": the file is empty";
        return nullptr;
    }
    void* data =
        mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_SHARED, fd, 0);
    const int cause = errno;
    close(fd);  // the mapping keeps the file
    if (data == MAP_FAILED) {
        *error = "cannot read " + path.string() + ": " + ErrorText(cause);
        return nullptr;
    }
    std::unique_ptr<MappedFile> file(new MappedFile());
    file->data_ = static_cast<const unsigned char*>(data);
    file->size_ = static_cast<std::size_t>(info.st_size);
    return file;
}

MappedFile::~MappedFile() {
    if (data_ != nullptr) munmap(const_cast<unsigned char*>(data_), size_);
}

std::FILE* OpenToRead(const std::filesystem::path& path, std::string* cause) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) *cause = ErrorText(errno);
    return file;
}

std::FILE* CreateNewFile(const std::filesystem::path& path, std::string* cause) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *cause = ErrorText(errno);
        return nullptr;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        *cause = ErrorText(errno);
        close(fd);
        unlink(path.c_str());
    }
    return file;
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to,
                std::string* cause) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    *cause = ErrorText(errno);
    return false;
}

}  // namespace sim::paper
