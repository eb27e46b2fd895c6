// The Linux drawing behind the paper: symbols read back by a barcode reader (zbar), their module
// widths and heights measured, refused data, the printer faces' glyphs, PNG files read back.

#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <zbar.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/paper/drawing.h"
#include "tests/fakes/temp_folder.h"

namespace sim::paper {
namespace {

namespace fs = std::filesystem;

Drawing& TheDrawing() {
    static std::unique_ptr<Drawing> drawing = [] {
        std::string error;
        auto made = MakeDrawing(&error);
        EXPECT_NE(made, nullptr) << error;
        return made;
    }();
    return *drawing;
}

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

SymbolRequest Request(SymbolKind kind, std::string_view data, int module = 2, int height = 80) {
    SymbolRequest request;
    request.kind = kind;
    request.data = Bytes(data);
    request.module = module;
    request.height = height;
    return request;
}

struct Decoded {
    std::string data;
    zbar::zbar_symbol_type_t type = zbar::ZBAR_NONE;
    int count = 0;
};

// Reads the picture with zbar after framing it in a white quiet zone, as paper around it is.
Decoded Read(const Bitmap& picture, int quiet) {
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
    Decoded decoded;
    decoded.count = zbar::zbar_scan_image(scanner, image);
    if (const zbar::zbar_symbol_t* symbol = zbar::zbar_image_first_symbol(image)) {
        decoded.data.assign(zbar::zbar_symbol_get_data(symbol),
                            zbar::zbar_symbol_get_data_length(symbol));
        decoded.type = zbar::zbar_symbol_get_type(symbol);
    }
    zbar::zbar_image_destroy(image);
    zbar::zbar_image_scanner_destroy(scanner);
    return decoded;
}

struct ReadCase {
    const char* name;
    SymbolKind kind;
    std::string data;
    std::string decoded;
    zbar::zbar_symbol_type_t type;
    std::string text;  // the human-readable text under the bars
};

class SymbolReadBack : public testing::TestWithParam<ReadCase> {};

TEST_P(SymbolReadBack, DecodesToItsData) {
    const ReadCase& c = GetParam();
    for (int module : {2, 3}) {
        const Symbol symbol = TheDrawing().DrawSymbol(Request(c.kind, c.data, module));
        ASSERT_EQ(symbol.error, "") << c.name;
        ASSERT_FALSE(symbol.picture.Empty());
        const Decoded decoded = Read(symbol.picture, 12 * module);
        EXPECT_EQ(decoded.count, 1) << c.name << " module " << module;
        EXPECT_EQ(decoded.data, c.decoded) << c.name << " module " << module;
        EXPECT_EQ(decoded.type, c.type) << c.name << " module " << module;
        EXPECT_EQ(symbol.text, c.text) << c.name;
    }
}

const std::string kGs1 =
    "0104012345678901"
    "10ABC\x1d"
    "21XYZ";

INSTANTIATE_TEST_SUITE_P(
    Kinds, SymbolReadBack,
    testing::Values(
        ReadCase{"ean13", SymbolKind::Ean13, "400638133393", "4006381333931", zbar::ZBAR_EAN13,
                 "4006381333931"},
        ReadCase{"ean13_check", SymbolKind::Ean13, "4006381333931", "4006381333931",
                 zbar::ZBAR_EAN13, "4006381333931"},
        ReadCase{"ean8", SymbolKind::Ean8, "1234567", "12345670", zbar::ZBAR_EAN8, "12345670"},
        ReadCase{"upca", SymbolKind::UpcA, "01234567890", "012345678905", zbar::ZBAR_UPCA,
                 "012345678905"},
        ReadCase{"upce", SymbolKind::UpcE, "0123456", "01234565", zbar::ZBAR_UPCE, "01234565"},
        ReadCase{"code39", SymbolKind::Code39, "*CODE-39 $5*", "CODE-39 $5", zbar::ZBAR_CODE39,
                 "*CODE-39 $5*"},
        ReadCase{"code93", SymbolKind::Code93, "Code 93/x", "Code 93/x", zbar::ZBAR_CODE93,
                 "Code 93/x"},
        ReadCase{"itf", SymbolKind::Itf, "12345678", "12345678", zbar::ZBAR_I25, "12345678"},
        ReadCase{"codabar", SymbolKind::Codabar, "A40156B", "A40156B", zbar::ZBAR_CODABAR,
                 "A40156B"},
        ReadCase{"code128_sets", SymbolKind::Code128, std::string("{BNo.{C\x0c\x22\x38{AAB", 14),
                 "No.123456AB", zbar::ZBAR_CODE128, "No.123456AB"},
        ReadCase{"code128_escapes", SymbolKind::Code128,
                 "{Ba{{b{S\x09"
                 "c",
                 "a{b\tc", zbar::ZBAR_CODE128, "a{b c"},

        ReadCase{"code128_gs1", SymbolKind::Code128,
                 std::string("{A{1010401234567890110ABC{121XYZ"), kGs1, zbar::ZBAR_CODE128,
                 "(01)04012345678901(10)ABC(21)XYZ"},
        ReadCase{"code128_auto", SymbolKind::Code128Auto, "Receipt 0042", "Receipt 0042",
                 zbar::ZBAR_CODE128, "Receipt 0042"},
        ReadCase{"gs1_128", SymbolKind::Gs1_128, "(01)04012345678901(10)ABC(21)XYZ", kGs1,
                 zbar::ZBAR_CODE128, "(01)04012345678901(10)ABC(21)XYZ"},
        ReadCase{"databar", SymbolKind::DataBarOmni, "0401234567890", "0104012345678901",
                 zbar::ZBAR_DATABAR, "(01)04012345678901"},
        // zbar misreads what follows an FNC1 in DataBar Expanded: one element string here.
        ReadCase{"databar_expanded", SymbolKind::DataBarExpanded, "(01)04012345678901(10)A1B",
                 "010401234567890110A1B", zbar::ZBAR_DATABAR_EXP, "(01)04012345678901(10)A1B"},
        ReadCase{"databar_expanded_raw", SymbolKind::DataBarExpanded, "{1010401234567890110A1B",
                 "010401234567890110A1B", zbar::ZBAR_DATABAR_EXP, "(01)04012345678901(10)A1B"},
        ReadCase{"qr", SymbolKind::Qr, "https://example.com/r/0042?x=1",
                 "https://example.com/r/0042?x=1", zbar::ZBAR_QRCODE, ""}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace sim::paper
