#include "sim/paper/files.h"

#include <atomic>
#include <cerrno>
#include <system_error>

namespace sim::paper {

std::string FontIn(const std::string& folder, FontFile file) {
    if (!folder.empty()) {
        const std::filesystem::path path = PathFromUtf8(folder) / FontFileName(file);
        std::error_code ignored;
        if (std::filesystem::is_regular_file(path, ignored)) return Utf8FromPath(path);
    }
    return InstalledFont(file);
}

bool WriteWholeFile(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                    std::string* error) {
    std::string ignored;
    if (error == nullptr) error = &ignored;
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path folder = target.parent_path();
    std::filesystem::path temporary;
    std::string cause;
    std::FILE* file = nullptr;
    for (int attempt = 0; attempt < 16 && file == nullptr; ++attempt) {
        temporary = folder / PathFromUtf8("." + Utf8FromPath(target.filename()) + ".tmp" +
                                          std::to_string(counter.fetch_add(1)));
        errno = 0;
        file = CreateNewFile(temporary, &cause);
        if (file == nullptr && errno != EEXIST) break;
    }
    if (file == nullptr) {
        *error = "cannot create a file in " + (folder.empty() ? "." : Utf8FromPath(folder)) + ": " +
                 cause;
        return false;
    }
    errno = 0;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int writeCause = errno;
    const bool closed = std::fclose(file) == 0;  // a full disk may show only here
    if (!closed && writeCause == 0) writeCause = errno;
    std::error_code unremoved;
    if (!written || !closed) {
        std::filesystem::remove(temporary, unremoved);
        *error = "cannot write " + Utf8FromPath(target) + ": " + ErrorText(writeCause);
        return false;
    }
    if (!RenameOver(temporary, target, &cause)) {
        std::filesystem::remove(temporary, unremoved);
        *error = "cannot rename the new file to " + Utf8FromPath(target) + ": " + cause;
        return false;
    }
    return true;
}

}  // namespace sim::paper
