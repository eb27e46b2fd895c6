#pragma once
// A PNG file's dots, read back with libpng as any viewer reads it.

#include <filesystem>

#include "sim/paper/bitmap.h"

namespace papertest {

// Dark pixels set; an empty bitmap when the file cannot be read or is no PNG.
sim::paper::Bitmap ReadPng(const std::filesystem::path& path);

}  // namespace papertest
