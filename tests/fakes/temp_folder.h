#pragma once
// A fresh folder of the test's own under the system's temporary folder.

#include <filesystem>
#include <string>

namespace fakes {

// Creates "<temp>/<prefix><unique>" and returns it; empty when it could not be made.
std::filesystem::path NewTempFolder(const std::string& prefix);

}  // namespace fakes
