#pragma once
// Streams that cover what the paper draws, one receipt each (each ends with a cut): text in both
// fonts and in Chinese, sizes and styles, code pages and UTF-8, every barcode and 2D symbol kind,
// images, page mode. Each names the symbols a barcode reader (zbar) finds in its picture. The
// same streams print on Linux and on Windows, and their pictures must be equal dot for dot.

#include <cstdint>
#include <string>
#include <vector>

namespace papertest {

struct PaperStream {
    std::string name;
    std::vector<uint8_t> bytes;
    std::vector<std::string> symbols;  // what zbar reads in its picture, sorted
};

std::vector<PaperStream> PaperStreams();

}  // namespace papertest
