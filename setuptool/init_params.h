#pragma once
// "init_params.txt": one line with the interface language flag (0 Chinese, other English).

#include <filesystem>

namespace setuptool {

inline constexpr const char* kInitParamsFileName = "init_params.txt";

// Reads the flag from `dir`/init_params.txt like a formatted integer extraction (leading blanks
// and line ends skipped, optional sign, digits; the rest ignored). Returns `current` when no
// integer can be read (also for a number beyond the int range); the file is then left as it is.
// A file that cannot be opened is written with 0 and 0 is returned. Only the first 64 KiB of
// the file are looked at.
int ReadInitParams(const std::filesystem::path& dir, int current);
// Creates/truncates the file and writes the decimal value and a line end in text mode (LF; on
// Windows CR LF). Silently does nothing when the file cannot be written. Returns true when it was
// written.
bool WriteInitParams(const std::filesystem::path& dir, int flag);

// The language button's rule: 0 becomes 1, every other value 0.
inline int ToggleLanguage(int flag) {
    return flag == 0 ? 1 : 0;
}

}  // namespace setuptool
