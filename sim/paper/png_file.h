#pragma once
// A picture of dots as a 1-bit PNG file, written whole or not at all.

#include <cstdint>
#include <string>
#include <vector>

#include "sim/paper/bitmap.h"

namespace sim::paper {

// The PNG file's bytes in `bytes` (its capacity kept, so a buffer reused for the next picture
// allocates nothing): a two-colour palette, white and black, the rows as they are. False with
// `error` set for an empty picture or when the encoder fails.
bool EncodePng(const Bitmap& picture, std::vector<uint8_t>* bytes, std::string* error);

// Encodes `picture` (EncodePng) into a hidden temporary file beside `path` and renames it into
// place, so a reader of `path` sees the old file or the whole new one. False with `error` set (the
// cause, e.g. "No space left on device") when it cannot be written; the temporary file is then
// removed.
bool WritePngFile(const Bitmap& picture, const std::string& path, std::string* error);

}  // namespace sim::paper
