#pragma once
// What the drawing's tests share: the drawing (made once, with the installed fonts), a symbol
// request, a test picture and a folder's file names.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "sim/paper/drawing.h"

namespace sim::paper {

Drawing& TheDrawing();
SymbolRequest Request(SymbolKind kind, std::string_view data, int module = 2, int height = 80);
// A picture of slanted stripes, its last column black.
Bitmap Pattern(int width, int height);
// The names in `folder`, sorted (UTF-8).
std::vector<std::string> Names(const std::filesystem::path& folder);

}  // namespace sim::paper
