// The Linux drawing read back: symbols by a barcode reader (zbar), text by an OCR (tesseract), and
// a full disk (a file size limit) while a picture is written.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zbar.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/paper/drawing.h"
#include "tests/fakes/temp_folder.h"
#include "tests/sim/drawing_rig.h"
#include "tests/sim/paper_reading.h"

namespace sim::paper {
namespace {

namespace fs = std::filesystem;

struct Decoded {
    std::string data;
    zbar::zbar_symbol_type_t type = zbar::ZBAR_NONE;
    int count = 0;
};

Decoded Read(const Bitmap& picture, int quiet) {
    const std::vector<papertest::Decoded> found = papertest::ReadSymbols(picture, quiet);
    Decoded decoded;
    decoded.count = static_cast<int>(found.size());
    if (!found.empty()) {
        decoded.data = found.front().data;
        decoded.type = found.front().type;
    }
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

// A full disk, as a file size limit: the write fails with the cause, the half file goes.
TEST(PngFiles, AFullDiskLeavesNoHalfFile) {
    const fs::path folder = fakes::NewTempFolder("paper-png-");
    ASSERT_FALSE(folder.empty());
    const Bitmap picture = Pattern(64, 64);
    std::string error;
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100;
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved_ok = TheDrawing().SavePng(picture, (folder / "full.png").string(), &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved_ok);
    EXPECT_NE(error.find("File too large"), std::string::npos) << error;
    EXPECT_EQ(Names(folder), std::vector<std::string>{});
    fs::remove_all(folder);
}

// An OCR reads a line of each Latin face back (three times enlarged, as a photo of a receipt).
TEST(Glyphs, OcrReadsTheFaces) {
    if (std::system("command -v tesseract > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "tesseract is not installed";
    }
    const fs::path folder = fakes::NewTempFolder("paper-ocr-");
    ASSERT_FALSE(folder.empty());
    const std::string line = "TOTAL 12.50 EUR Coffee x2 #0042";
    constexpr int kScale = 3, kMargin = 12;
    const int rows[] = {0, CellOf(Face::A).height + 8};
    Bitmap picture(static_cast<int>(line.size()) * CellOf(Face::A).width * kScale + 2 * kMargin,
                   (rows[1] + CellOf(Face::B).height) * kScale + 2 * kMargin);
    for (Face face : {Face::A, Face::B}) {
        const CellSize cell = CellOf(face);
        const int top = kMargin + rows[face == Face::A ? 0 : 1] * kScale;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const Bitmap& glyph = TheDrawing().Glyph(static_cast<char32_t>(line[i]), face);
            for (int y = 0; y < cell.height; ++y) {
                for (int x = 0; x < cell.width; ++x) {
                    if (!glyph.Dot(x, y)) continue;
                    picture.Fill(kMargin + (static_cast<int>(i) * cell.width + x) * kScale,
                                 top + y * kScale, kScale, kScale);
                }
            }
        }
    }
    const fs::path png = folder / "lines.png";
    ASSERT_TRUE(TheDrawing().SavePng(picture, png.string(), nullptr));
    const std::string command = "tesseract '" + png.string() + "' '" + (folder / "lines").string() +
                                "' --psm 6 > /dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(folder / "lines.txt");
    std::vector<std::string> read;
    for (std::string text; std::getline(in, text);) {
        if (!text.empty()) read.push_back(text);
    }
    EXPECT_EQ(read, (std::vector<std::string>{line, line})) << "font A, then font B";
    fs::remove_all(folder);
}

}  // namespace
}  // namespace sim::paper
