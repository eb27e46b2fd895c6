#include "tests/sim/paper_reading.h"

namespace papertest {

std::vector<Decoded> ReadSymbols(const sim::paper::Bitmap& picture, int quiet) {
    const int width = picture.Width() + 2 * quiet, height = picture.Height() + 2 * quiet;
    std::vector<unsigned char> grey(static_cast<std::size_t>(width) * height, 255);
    for (int y = 0; y < picture.Height(); ++y) {
        for (int x = 0; x < picture.Width(); ++x) {
            if (picture.Dot(x, y))
                grey[static_cast<std::size_t>(y + quiet) * width + x + quiet] = 0;
        }
    }
    zbar::zbar_image_scanner_t* scanner = zbar::zbar_image_scanner_create();
    zbar::zbar_image_scanner_set_config(scanner, zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 1);
    zbar::zbar_image_t* image = zbar::zbar_image_create();
    zbar::zbar_image_set_format(image, zbar_fourcc('Y', '8', '0', '0'));
    zbar::zbar_image_set_size(image, width, height);
    zbar::zbar_image_set_data(image, grey.data(), grey.size(), nullptr);
    std::vector<Decoded> found;
    zbar::zbar_scan_image(scanner, image);
    for (const zbar::zbar_symbol_t* symbol = zbar::zbar_image_first_symbol(image);
         symbol != nullptr; symbol = zbar::zbar_symbol_next(symbol)) {
        found.push_back({std::string(zbar::zbar_symbol_get_data(symbol),
                                     zbar::zbar_symbol_get_data_length(symbol)),
                         zbar::zbar_symbol_get_type(symbol)});
    }
    zbar::zbar_image_destroy(image);
    zbar::zbar_image_scanner_destroy(scanner);
    return found;
}

}  // namespace papertest
