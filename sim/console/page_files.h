#pragma once
// The console's page: the files of sim/console/page/, built into the program (page_files.cpp is
// made from them by embed_page.cmake), so the page needs no other file, no network and no build
// step of its own.

#include <span>
#include <string_view>

namespace sim::console {

struct PageFile {
    std::string_view path;  // "/index.html", "/console.js", ...
    std::string_view body;
};

std::span<const PageFile> PageFiles();

}  // namespace sim::console
