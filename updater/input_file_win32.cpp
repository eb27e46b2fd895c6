// Image files on Windows: opened read-only without sharing, so an image another program holds
// open (or is writing) is refused, and nobody can change it while it is sent.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "updater/download_stream.h"

namespace updater {
namespace {

HANDLE Native(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// The errno value the callers' texts know for an open failure.
int OpenErrno(DWORD error, const std::filesystem::path& path) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
        case ERROR_INVALID_DRIVE:
            return ENOENT;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EWOULDBLOCK;
        case ERROR_ACCESS_DENIED: {
            // A folder cannot be opened as a file: it reports "access denied".
            const DWORD attributes = GetFileAttributesW(path.c_str());
            const bool folder = attributes != INVALID_FILE_ATTRIBUTES &&
                                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            return folder ? EISDIR : EACCES;
        }
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        default:
            return EIO;
    }
}

}  // namespace

InputFile InputFile::Open(const std::filesystem::path& path) {
    InputFile file;
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        file.error_ = OpenErrno(GetLastError(), path);
        return file;
    }
    LARGE_INTEGER size{};
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size)) {
        file.error_ = EINVAL;  // a device or pipe, no image
        CloseHandle(handle);
        return file;
    }
    file.handle_ = reinterpret_cast<std::intptr_t>(handle);
    file.size_ = static_cast<uint64_t>(size.QuadPart);
    return file;
}

long InputFile::Read(uint8_t* buffer, std::size_t length) {
    if (!IsOpen()) {
        errno = EBADF;
        return -1;
    }
    DWORD got = 0;
    const auto want = static_cast<DWORD>(std::min<std::size_t>(length, LONG_MAX));
    if (!ReadFile(Native(handle_), buffer, want, &got, nullptr)) {
        errno = EIO;
        return -1;
    }
    return static_cast<long>(got);
}

void InputFile::Close() {
    if (IsOpen()) CloseHandle(Native(handle_));
    handle_ = -1;
}

}  // namespace updater
