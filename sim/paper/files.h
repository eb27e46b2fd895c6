#pragma once
// What the drawing needs of the system, per platform (drawing_posix.cpp, drawing_win32.cpp): where
// the printer's font files are, a font file mapped into memory, a new file created exclusively and
// a file renamed over another. The drawing's paths are UTF-8 text on every platform.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace sim::paper {

// A path from UTF-8 text and back (std::filesystem reads narrow text in the system's code page on
// Windows, so a folder named in Chinese would otherwise become another folder).
inline std::filesystem::path PathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The printer faces' font files, and where this system keeps them (UTF-8): the first place that
// has the file, else the place it belongs in (for the message that says it is missing). Linux:
// Debian's packages' paths. Windows: the `fonts` folder beside the program, then the system's and
// the user's fonts folders.
enum class FontFile { Terminus, DejaVuMono, MicroHei };
std::string InstalledFont(FontFile file);
// Each font file's name, the same on every system.
constexpr const char* FontFileName(FontFile file) {
    constexpr const char* kNames[] = {"terminus-bold.otb", "DejaVuSansMono-Bold.ttf",
                                      "wqy-microhei.ttc"};
    return kNames[static_cast<int>(file)];
}
// The file in `folder` (UTF-8; the --fonts option) when it is there, else InstalledFont(file).
std::string FontIn(const std::string& folder, FontFile file);
// The Debian package each comes from.
constexpr const char* FontPackage(FontFile file) {
    constexpr const char* kPackages[] = {"fonts-terminus-otb", "fonts-dejavu-core",
                                         "fonts-wqy-microhei"};
    return kPackages[static_cast<int>(file)];
}
// How a user gets a missing font file here; names the Debian package it comes from.
std::string FontAdvice(FontFile file);

// A file mapped read-only into memory: FreeType reads the font files there, and only the pages it
// touches are loaded. Nullptr with `error` set ("cannot read PATH: cause").
class MappedFile {
  public:
    static std::unique_ptr<MappedFile> Open(const std::filesystem::path& path, std::string* error);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    const unsigned char* Data() const { return data_; }
    std::size_t Size() const { return size_; }

  private:
    MappedFile() = default;
    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

// Creates `path` for writing in binary, failing when it already exists. Nullptr with `cause` set
// (the system's text, e.g. "No such file or directory").
std::FILE* CreateNewFile(const std::filesystem::path& path, std::string* cause);
// Opens `path` for reading in binary. Nullptr with `cause` set.
std::FILE* OpenToRead(const std::filesystem::path& path, std::string* cause);
// Renames `from` to `to`, replacing `to` in one step. False with `cause` set.
bool RenameOver(const std::filesystem::path& from, const std::filesystem::path& to,
                std::string* cause);
// The system's text for an errno value.
std::string ErrorText(int error_number);

// Writes `bytes` to `target` through a hidden temporary file beside it (created exclusively, on
// the same file system) renamed into place, so a reader sees the old file or the whole new one.
// False with `error` set when it cannot be written; the temporary file is then removed.
bool WriteWholeFile(const std::filesystem::path& target, std::span<const uint8_t> bytes,
                    std::string* error);

}  // namespace sim::paper
