#include "tests/fakes/temp_folder.h"

#include <random>
#include <system_error>

namespace fakes {

std::filesystem::path NewTempFolder(const std::string& prefix) {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) return {};
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path folder = base / (prefix + std::to_string(random()));
        if (std::filesystem::create_directory(folder, error)) return folder;
    }
    return {};
}

}  // namespace fakes
