#include "tests/sim/png_reading.h"

#include <png.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace papertest {

sim::paper::Bitmap ReadPng(const std::filesystem::path& path) {
    // Read whole, then decoded from memory: the file's name may be one libpng cannot open.
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file((std::istreambuf_iterator<char>(in)),
                                 std::istreambuf_iterator<char>());
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (file.empty() || !png_image_begin_read_from_memory(&image, file.data(), file.size()))
        return {};
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> grey(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr)) return {};
    sim::paper::Bitmap picture(static_cast<int>(image.width), static_cast<int>(image.height));
    for (int y = 0; y < picture.Height(); ++y) {
        for (int x = 0; x < picture.Width(); ++x) {
            if (grey[static_cast<std::size_t>(y) * image.width + x] < 128) picture.SetDot(x, y);
        }
    }
    return picture;
}

}  // namespace papertest
