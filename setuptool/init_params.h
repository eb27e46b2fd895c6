#pragma once
// "init_params.txt": one line with the interface language flag (0 Chinese, other English).

#include <filesystem>

namespace setuptool {

inline constexpr const char* kInitParamsFileName = "init_params.txt";

// Reads the flag from `dir`/init_params.txt like a formatted integer extraction (leading blanks,
// optional sign, digits). Returns `current` when no integer can be read. A missing file is
// written with 0 and 0 is returned.
int ReadInitParams(const std::filesystem::path& dir, int current);
// Creates/truncates the file and writes the decimal value and "\n". Silently does nothing when
// the file cannot be written. Returns true when it was written.
bool WriteInitParams(const std::filesystem::path& dir, int flag);

}  // namespace setuptool
