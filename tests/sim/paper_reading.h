#pragma once
// Reading the paper back as a reader would: the symbols a barcode reader (zbar) finds in a picture,
// and a PNG file's dots (png_reading.h).

#include <zbar.h>

#include <string>
#include <vector>

#include "sim/paper/bitmap.h"
#include "tests/sim/png_reading.h"

namespace papertest {

struct Decoded {
    std::string data;
    zbar::zbar_symbol_type_t type = zbar::ZBAR_NONE;
};

// Every symbol zbar finds, the picture framed in `quiet` white dots as paper around it is.
std::vector<Decoded> ReadSymbols(const sim::paper::Bitmap& picture, int quiet);

}  // namespace papertest
