// The drawing's system parts on Windows: the font files in the `fonts` folder beside the program
// (where the installer puts them), else in the system's or the user's fonts folder; file
// mappings, exclusive creation and renames through the wide-character calls, so any folder name
// works whatever the PC's code page.
#include <windows.h>
// After windows.h:
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/win32/system_text.h"
#include "sim/paper/files.h"

namespace sim::paper {
namespace {

namespace fs = std::filesystem;

fs::path FileName(FontFile file) {
    return PathFromUtf8(FontFileName(file));
}

fs::path ProgramFolder() {
    std::vector<wchar_t> name(MAX_PATH);
    for (int attempt = 0; attempt < 6; ++attempt) {
        const DWORD length =
            GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) return fs::path(std::wstring(name.data(), length)).parent_path();
        name.resize(name.size() * 4);
    }
    return {};
}

fs::path Environment(const wchar_t* variable) {
    wchar_t value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(variable, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? fs::path(value) : fs::path();
}

// The places the font files are looked for, in order.
std::vector<fs::path> FontFolders() {
    std::vector<fs::path> folders;
    const fs::path program = ProgramFolder();
    if (!program.empty()) folders.push_back(program / L"fonts");
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length > 0 && length < MAX_PATH) folders.push_back(fs::path(windows) / L"Fonts");
    // Fonts a user installed for themselves (Windows 10 1809 and later).
    const fs::path local = Environment(L"LOCALAPPDATA");
    if (!local.empty()) folders.push_back(local / L"Microsoft" / L"Windows" / L"Fonts");
    return folders;
}

}  // namespace

std::string InstalledFont(FontFile file) {
    const std::vector<fs::path> folders = FontFolders();
    for (const fs::path& folder : folders) {
        std::error_code ignored;
        if (fs::is_regular_file(folder / FileName(file), ignored))
            return Utf8FromPath(folder / FileName(file));
    }
    return folders.empty() ? Utf8FromPath(FileName(file))
                           : Utf8FromPath(folders[0] / FileName(file));
}

std::string FontAdvice(FontFile file) {
    return std::string(
               "the installer puts it into the fonts folder beside the program; from "
               "Debian's package ") +
           FontPackage(file);
}

std::string ErrorText(int error_number) {
    return error_number != 0 ? std::strerror(error_number) : "unknown error";
}

std::unique_ptr<MappedFile> MappedFile::Open(const std::filesystem::path& path,
                                             std::string* error) {
    const auto failed = [&](const std::string& cause) {
        *error = "cannot read " + Utf8FromPath(path) + ": " + cause;
        return nullptr;
    };
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return failed(platform::SystemErrorText(GetLastError()));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0) {
        CloseHandle(file);
        return failed("the file is empty");
    }
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const DWORD cause = GetLastError();
    CloseHandle(file);  // the mapping keeps the file
    if (mapping == nullptr) return failed(platform::SystemErrorText(cause));
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    const DWORD viewCause = GetLastError();
    CloseHandle(mapping);  // the view keeps the mapping
    if (view == nullptr) return failed(platform::SystemErrorText(viewCause));
    std::unique_ptr<MappedFile> mapped(new MappedFile());
    mapped->data_ = static_cast<const unsigned char*>(view);
    mapped->size_ = static_cast<std::size_t>(size.QuadPart);
    return mapped;
}

MappedFile::~MappedFile() {
    if (data_ != nullptr) UnmapViewOfFile(data_);
}

std::FILE* OpenToRead(const std::filesystem::path& path, std::string* cause) {
    errno = 0;
    std::FILE* file = _wfopen(path.c_str(), L"rb");
    if (file == nullptr) *cause = ErrorText(errno);
    return file;
}

std::FILE* CreateNewFile(const std::filesystem::path& path, std::string* cause) {
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                          _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        *cause = ErrorText(errno);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
        *cause = ErrorText(errno);
        _close(fd);
        _wremove(path.c_str());
    }
    return file;
}

bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to,
                std::string* cause) {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    *cause = platform::SystemErrorText(GetLastError());
    return false;
}

}  // namespace sim::paper
