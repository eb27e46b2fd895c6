#pragma once
// A picture of dots as a 1-bit PNG file, written whole or not at all.

#include <string>

#include "sim/paper/bitmap.h"

namespace sim::paper {

// Encodes `picture` (a two-colour palette: white, black; rows go to zlib as they are, no copy)
// into a hidden temporary file beside `path` and renames it into place, so a reader of `path`
// sees the old file or the whole new one. False with `error` set (the cause, e.g. "No space left
// on device") when it cannot be written; the temporary file is then removed.
bool WritePngFile(const Bitmap& picture, const std::string& path, std::string* error);

}  // namespace sim::paper
