// The drawing behind the paper, the same libraries on Linux and Windows: symbols' module widths
// and heights, refused data, the printer faces' glyphs and their font files, PNG files read back,
// folders named in any script, several printers drawing at once. (Reading symbols and text back
// with zbar and an OCR: paper_drawing_posix_test.cpp.)

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "sim/paper/drawing.h"
#include "sim/paper/files.h"
#include "sim/paper/glyphs_freetype.h"
#include "tests/fakes/temp_folder.h"
#include "tests/sim/drawing_rig.h"
#include "tests/sim/png_reading.h"

namespace sim::paper {

Drawing& TheDrawing() {
    static std::unique_ptr<Drawing> drawing = [] {
        std::string error;
        auto made = MakeDrawing(&error);
        EXPECT_NE(made, nullptr) << error;
        return made;
    }();
    return *drawing;
}

SymbolRequest Request(SymbolKind kind, std::string_view data, int module, int height) {
    SymbolRequest request;
    request.kind = kind;
    request.data = std::vector<uint8_t>(data.begin(), data.end());
    request.module = module;
    request.height = height;
    return request;
}

namespace fs = std::filesystem;

Bitmap Pattern(int width, int height) {
    Bitmap picture(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((x * 7 + y * 13) % 11 < 3 || x == width - 1) picture.SetDot(x, y);
        }
    }
    return picture;
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(Utf8FromPath(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

namespace {

using papertest::ReadPng;

// Linear barcodes: bars only, the full height in every column, each bar and space a whole
// number of modules, the narrowest exactly one module, black at both ends (no quiet zone).
TEST(SymbolGeometry, LinearBarsAreWholeModulesAndExactlyTall) {
    const std::pair<SymbolKind, std::string> kinds[] = {
        {SymbolKind::Ean13, "400638133393"},
        {SymbolKind::UpcE, "0123456"},
        {SymbolKind::Code39, "ABC"},
        {SymbolKind::Itf, "1234"},
        {SymbolKind::Codabar, "A1B"},
        {SymbolKind::Code93, "X"},
        {SymbolKind::Code128, "{C\x0c"},
        {SymbolKind::Gs1_128, "(01)04012345678901"},
        {SymbolKind::DataBarOmni, "0401234567890"},
        {SymbolKind::DataBarTruncated, "0401234567890"},
        {SymbolKind::DataBarLimited, "0401234567890"},
        {SymbolKind::DataBarExpanded, "(01)04012345678901"},
        {SymbolKind::Code128Auto, "a"},
    };
    for (const auto& [kind, data] : kinds) {
        for (int module = 1; module <= 6; ++module) {
            for (int height : {1, 40, 162}) {
                const Symbol symbol = TheDrawing().DrawSymbol(Request(kind, data, module, height));
                ASSERT_EQ(symbol.error, "") << data;
                const Bitmap& bars = symbol.picture;
                ASSERT_EQ(bars.Height(), height) << data << " module " << module;
                ASSERT_EQ(bars.Width() % module, 0) << data;
                EXPECT_TRUE(bars.Dot(0, 0) && bars.Dot(bars.Width() - 1, 0)) << data;
                int narrowest = bars.Width(), run = 0;
                for (int x = 0; x < bars.Width(); ++x) {
                    for (int y = 1; y < height; ++y) {
                        ASSERT_EQ(bars.Dot(x, y), bars.Dot(x, 0)) << data << " column " << x;
                    }
                    ++run;
                    if (x + 1 == bars.Width() || bars.Dot(x + 1, 0) != bars.Dot(x, 0)) {
                        EXPECT_EQ(run % module, 0) << data << " module " << module << " at " << x;
                        narrowest = std::min(narrowest, run);
                        run = 0;
                    }
                }
                EXPECT_EQ(narrowest, module) << data;
            }
        }
    }
}

// 2D symbols: square modules of the asked size; a QR code's finder pattern in its corner; PDF417
// rows of the asked height. Every other kind draws something.
TEST(SymbolGeometry, TwoDimensionalModules) {
    for (int module = 1; module <= 16; module += 3) {
        SymbolRequest qr = Request(SymbolKind::Qr, "module size", module);
        qr.errorLevel = 3;
        const Symbol symbol = TheDrawing().DrawSymbol(qr);
        ASSERT_EQ(symbol.error, "");
        const Bitmap& q = symbol.picture;
        ASSERT_EQ(q.Width(), q.Height());
        ASSERT_EQ(q.Width() % module, 0);
        EXPECT_EQ((q.Width() / module - 21) % 4, 0) << "QR sides are 21 + 4k modules";
        for (int x = 0; x < 7 * module; ++x) EXPECT_TRUE(q.Dot(x, 0)) << x;
        EXPECT_FALSE(q.Dot(7 * module, 0));
        for (int x = module; x < 6 * module; ++x) EXPECT_FALSE(q.Dot(x, module)) << x;
    }
    SymbolRequest pdf = Request(SymbolKind::Pdf417, "PDF417 rows", 2);
    pdf.columns = 3;
    pdf.rows = 10;
    pdf.rowHeight = 4;
    const Symbol p = TheDrawing().DrawSymbol(pdf);
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.picture.Height(), 10 * 4 * 2);
    EXPECT_EQ(p.picture.Width(), (17 * (3 + 4) + 1) * 2) << "start, left, 3 data, right, stop";

    struct Other {
        SymbolKind kind;
        std::string data;
        int model = 2, variant = 0, size = 0;
    };
    const Other others[] = {
        {SymbolKind::Qr, "micro", 3},
        {SymbolKind::Pdf417, "truncated", 1},
        {SymbolKind::MaxiCode, "MaxiCode mode 4"},
        {SymbolKind::MaxiCode,
         "152382802\x1d"
         "840\x1d"
         "1\x1dparcel",
         2, 2},
        {SymbolKind::DataMatrix, "square", 2, 0, 16},
        {SymbolKind::DataMatrix, "rect", 2, 1},
        {SymbolKind::Aztec, "full range", 2, 0, 3},
        {SymbolKind::Aztec, "compact", 2, 1, 2},
        {SymbolKind::DataBar2D, "0401234567890"},
        {SymbolKind::DataBar2D, "0401234567890", 2, 1},
        {SymbolKind::DataBar2D, "(01)04012345678901(10)ABC", 2, 2},
        {SymbolKind::Composite, std::string("331234567890\0(99)1234-abcd", 26), 2, 0},
        {SymbolKind::Composite, std::string("(01)04012345678901\0(21)A12", 26), 2, 11},
    };
    for (const Other& o : others) {
        SymbolRequest request = Request(o.kind, o.data, 3);
        request.model = o.model;
        request.variant = o.variant;
        request.size = o.size;
        const Symbol symbol = TheDrawing().DrawSymbol(request);
        EXPECT_EQ(symbol.error, "") << o.data;
        EXPECT_FALSE(symbol.picture.Empty()) << o.data;
        EXPECT_EQ(symbol.text, "") << o.data << ": 2D symbols have no text";
    }
}

// Data the printer or the library refuses: a reason, no picture, no crash; and any bytes for any
// kind end in a picture or a reason.
TEST(SymbolErrors, RefusedDataGivesAReason) {
    const std::pair<SymbolKind, std::string> refused[] = {
        {SymbolKind::Ean13, "4006381333932"},  // check digit
        {SymbolKind::Ean13, "40063813339"},
        {SymbolKind::Ean8, "1234567A"},
        {SymbolKind::UpcA, "012345678906"},
        {SymbolKind::Code39, "lower"},
        {SymbolKind::Itf, "123"},
        {SymbolKind::Codabar, "1234"},
        {SymbolKind::Code128, "ABC"},
        {SymbolKind::Code128, "{C\x64"},
        {SymbolKind::Code128, "{Ba{"},
        {SymbolKind::Code128, "{Ba{2b"},
        {SymbolKind::DataBarOmni, "04012345678905"},
        {SymbolKind::Qr, std::string(3000, '\xff')},
        {SymbolKind::Qr, std::string(100000, '1')},
        {SymbolKind::Qr, ""},
        {SymbolKind::Composite, "no separator"},
        {SymbolKind::MaxiCode, "mode 2 without fields"},
    };
    for (const auto& [kind, data] : refused) {
        SymbolRequest request = Request(kind, data);
        if (kind == SymbolKind::MaxiCode) request.variant = 2;
        const Symbol symbol = TheDrawing().DrawSymbol(request);
        EXPECT_NE(symbol.error, "") << data.substr(0, 20);
        EXPECT_TRUE(symbol.picture.Empty()) << data.substr(0, 20);
    }
    const Symbol wide = TheDrawing().DrawSymbol(
        Request(SymbolKind::Code128Auto, std::string(100, 'x'), 1000, 1000000));
    EXPECT_NE(wide.error, "") << "module and height are capped, the width refused";
    EXPECT_LE(wide.picture.Width(), 4096);

    uint32_t seed = 12345;
    for (int kind = 0; kind <= static_cast<int>(SymbolKind::DataMatrix); ++kind) {
        for (int round = 0; round < 20; ++round) {
            std::string data(static_cast<std::size_t>(1 + round * 7), '\0');
            for (char& c : data) {
                seed = seed * 1103515245 + 12345;
                c = static_cast<char>(round % 2 ? '0' + (seed >> 16) % 10 : (seed >> 16) & 0xFF);
            }
            SymbolRequest request = Request(static_cast<SymbolKind>(kind), data);
            request.variant = round % 7;
            request.size = round % 5;
            request.model = round % 4;
            request.errorLevel = round % 10;
            const Symbol symbol = TheDrawing().DrawSymbol(request);
            EXPECT_NE(symbol.error.empty(), symbol.picture.Empty()) << kind << " " << round;
        }
    }
}

// Every face's glyphs are exactly its cell; letters of a face share one baseline; a character
// no font has is the same empty box, a frame with nothing inside; references stay put.
TEST(Glyphs, CellSizedOnOneBaselineAndMissingIsABox) {
    Drawing& drawing = TheDrawing();
    auto lowest = [](const Bitmap& glyph) {
        for (int y = glyph.Height() - 1; y >= 0; --y) {
            for (int x = 0; x < glyph.Width(); ++x) {
                if (glyph.Dot(x, y)) return y;
            }
        }
        return -1;
    };
    for (Face face : {Face::A, Face::B, Face::Chinese}) {
        const CellSize cell = CellOf(face);
        for (char32_t c :
             {U'A', U'g', U'0', U' ', U'\u00e9', U'\u20ac', U'\u4e2d', U'\u2603', U'\U0010FFFD'}) {
            const Bitmap& glyph = drawing.Glyph(c, face);
            EXPECT_EQ(glyph.Width(), cell.width) << static_cast<uint32_t>(c);
            EXPECT_EQ(glyph.Height(), cell.height) << static_cast<uint32_t>(c);
        }
        EXPECT_TRUE(drawing.Glyph(U' ', face).Bits().size() > 0);
        EXPECT_EQ(lowest(drawing.Glyph(U' ', face)), -1);
        const int baseline = lowest(drawing.Glyph(U'H', face));
        for (char32_t c : {U'E', U'x', U'1', U'Z', U'm'}) {
            EXPECT_EQ(lowest(drawing.Glyph(c, face)), baseline) << static_cast<char>(c);
        }
        if (face != Face::Chinese) {
            EXPECT_GT(lowest(drawing.Glyph(U'g', face)), baseline);
        }

        const Bitmap& missing = drawing.Glyph(U'\U0010FFFD', face);
        EXPECT_EQ(missing, drawing.Glyph(U'\U000E0FFF', face));
        int top = -1, bottom = -1, left = cell.width, right = -1;
        for (int y = 0; y < cell.height; ++y) {
            for (int x = 0; x < cell.width; ++x) {
                if (!missing.Dot(x, y)) continue;
                if (top < 0) top = y;
                bottom = y;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        ASSERT_GE(top, 0) << "never nothing";
        for (int y = top; y <= bottom; ++y) {
            for (int x = left; x <= right; ++x) {
                const bool edge = y == top || y == bottom || x == left || x == right;
                EXPECT_EQ(missing.Dot(x, y), edge) << x << "," << y;
            }
        }
    }
    const Bitmap* first = &drawing.Glyph(U'Q', Face::A);
    for (char32_t c = 0x4e00; c < 0x4e00 + 300; ++c) drawing.Glyph(c, Face::Chinese);
    EXPECT_EQ(&drawing.Glyph(U'Q', Face::A), first);
    const Bitmap* chinese = &drawing.Glyph(U'\u4e00', Face::Chinese);
    for (char32_t c = 0x3400; c < 0x3400 + 300; ++c) drawing.Glyph(c, Face::A);
    EXPECT_EQ(&drawing.Glyph(U'\u4e00', Face::Chinese), chinese);
}

// Without a printer font there is no drawing, and the reason names the package; DejaVu Sans
// Mono, for what Terminus lacks, is optional.
TEST(Glyphs, MissingFontFilesNameTheirPackage) {
    std::string error;
    PrinterFonts::Files files = PrinterFonts::Installed();
    files.dejaVuMono = "/nonexistent/DejaVuSansMono-Bold.ttf";
    auto fonts = PrinterFonts::Open(files, &error);
    ASSERT_NE(fonts, nullptr) << error;
    EXPECT_EQ(fonts->Glyph(U'A', Face::A).Width(), 12);
    files.terminus = "/nonexistent/terminus-bold.otb";
    EXPECT_EQ(PrinterFonts::Open(files, &error), nullptr);
    EXPECT_NE(error.find("fonts-terminus-otb"), std::string::npos) << error;
    files = PrinterFonts::Installed();
    files.microHei = "/nonexistent/wqy-microhei.ttc";
    EXPECT_EQ(PrinterFonts::Open(files, &error), nullptr);
    EXPECT_NE(error.find("fonts-wqy-microhei"), std::string::npos) << error;
    files = PrinterFonts::Installed();
    files.terminus = files.dejaVuMono;  // a font without the bitmap sizes
    EXPECT_EQ(PrinterFonts::Open(files, &error), nullptr);
    EXPECT_NE(error.find("24 and 16 dot"), std::string::npos) << error;
}

TEST(PngFiles, ReadBackWithTheSameDotsAndNothingElseLeft) {
    const fs::path folder = fakes::NewTempFolder("paper-png-");
    ASSERT_FALSE(folder.empty());
    for (auto [width, height] : {std::pair{576, 1200}, std::pair{1, 1}, std::pair{13, 7}}) {
        const Bitmap picture = Pattern(width, height);
        std::string error;
        ASSERT_TRUE(TheDrawing().SavePng(picture, Utf8FromPath(folder / "receipt.png"), &error))
            << error;
        EXPECT_EQ(ReadPng(folder / "receipt.png"), picture) << width;  // replaced in place
    }
    EXPECT_EQ(Names(folder), std::vector<std::string>{"receipt.png"});
    std::string error;
    EXPECT_FALSE(TheDrawing().SavePng(Bitmap(), Utf8FromPath(folder / "empty.png"), &error));
    EXPECT_NE(error, "");
    fs::remove_all(folder);
}

TEST(PngFiles, UnwritablePlacesFailWithTheCause) {
    const fs::path folder = fakes::NewTempFolder("paper-png-");
    ASSERT_FALSE(folder.empty());
    std::ofstream(folder / "file") << "not a folder";
    const Bitmap picture = Pattern(64, 64);
    std::string error;
    EXPECT_FALSE(TheDrawing().SavePng(picture, Utf8FromPath(folder / "missing" / "r.png"), &error));
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << error;
    // Linux says "Not a directory"; Windows finds no such folder.
    EXPECT_FALSE(TheDrawing().SavePng(picture, Utf8FromPath(folder / "file" / "r.png"), &error));
    EXPECT_TRUE(error.find("Not a directory") != std::string::npos ||
                error.find("No such file or directory") != std::string::npos)
        << error;
    fs::create_directory(folder / "taken.png");
    EXPECT_FALSE(TheDrawing().SavePng(picture, Utf8FromPath(folder / "taken.png"), &error));
    EXPECT_NE(error, "");

    EXPECT_EQ(Names(folder), (std::vector<std::string>{"file", "taken.png"}));
    fs::remove_all(folder);
}

// Font files that are there but no font, or empty: the reason names the file and where the font
// comes from.
TEST(Glyphs, UnreadableFontFilesSayWhy) {
    const fs::path folder = fakes::NewTempFolder("paper-fonts-");
    ASSERT_FALSE(folder.empty());
    std::ofstream(folder / "terminus-bold.otb") << "not a font";
    std::ofstream(folder / "empty.ttc").close();
    PrinterFonts::Files files = PrinterFonts::Installed();
    files.terminus = Utf8FromPath(folder / "terminus-bold.otb");
    std::string error;
    EXPECT_EQ(PrinterFonts::Open(files, &error), nullptr);
    EXPECT_NE(error.find("not a font"), std::string::npos) << error;
    EXPECT_NE(error.find("terminus-bold.otb"), std::string::npos) << error;
    EXPECT_NE(error.find("fonts-terminus-otb"), std::string::npos) << error;
    files = PrinterFonts::Installed();
    files.microHei = Utf8FromPath(folder / "empty.ttc");
    EXPECT_EQ(PrinterFonts::Open(files, &error), nullptr);
    EXPECT_NE(error.find("empty"), std::string::npos) << error;
    EXPECT_NE(error.find("fonts-wqy-microhei"), std::string::npos) << error;
    for (FontFile file : {FontFile::Terminus, FontFile::DejaVuMono, FontFile::MicroHei})
        EXPECT_TRUE(fs::is_regular_file(PathFromUtf8(InstalledFont(file))))
            << InstalledFont(file) << ": the tests run with the printer fonts installed";

    // A folder of fonts given (--fonts) is looked in first, by the files' names; what it lacks
    // comes from where the system keeps it.
    const std::string given = Utf8FromPath(folder);
    EXPECT_EQ(MakeDrawing(&error, given), nullptr);
    EXPECT_NE(error.find(Utf8FromPath(folder / "terminus-bold.otb")), std::string::npos) << error;
    EXPECT_EQ(PrinterFonts::Installed(given).microHei, InstalledFont(FontFile::MicroHei));
    fs::remove(folder / "terminus-bold.otb");
    EXPECT_NE(MakeDrawing(&error, given), nullptr) << error;
    fs::remove_all(folder);
}

// Folders named in Chinese, with accents and spaces (a user's Documents folder, an installation
// folder): pictures are saved and read back there, and font files read from there draw the same
// glyphs. (Windows takes such names only through its wide-character calls.)
TEST(PngFiles, FoldersNamedInAnyScript) {
    const fs::path base = fakes::NewTempFolder("paper-names-");
    ASSERT_FALSE(base.empty());
    const fs::path folder = base / PathFromUtf8("收据 Reçus");
    fs::create_directories(folder);
    const Bitmap picture = Pattern(40, 30);
    std::string error;
    ASSERT_TRUE(TheDrawing().SavePng(picture, Utf8FromPath(folder / "receipt-0001.png"), &error))
        << error;
    EXPECT_EQ(ReadPng(folder / "receipt-0001.png"), picture);
    EXPECT_EQ(Names(folder), std::vector<std::string>{"receipt-0001.png"});

    const fs::path fonts = base / PathFromUtf8("字体");
    fs::create_directories(fonts);
    PrinterFonts::Files files = PrinterFonts::Installed();
    for (std::string* file : {&files.terminus, &files.dejaVuMono, &files.microHei}) {
        const fs::path copy = fonts / PathFromUtf8(*file).filename();
        fs::copy_file(PathFromUtf8(*file), copy);
        *file = Utf8FromPath(copy);
    }
    {
        // Gone before the files go (Windows keeps a mapped file).
        const std::unique_ptr<PrinterFonts> copied = PrinterFonts::Open(files, &error);
        ASSERT_NE(copied, nullptr) << error;
        for (const auto& [character, face] : {std::pair{U'\u4e2d', Face::Chinese},
                                              std::pair{U'A', Face::A}, std::pair{U'g', Face::B}})
            EXPECT_EQ(copied->Glyph(character, face), TheDrawing().Glyph(character, face));
    }
    fs::remove_all(base);
}

// Printers print at once: glyphs, symbols and files from several threads (also under TSan).
TEST(DrawingThreads, PrintersDrawAndSaveAtOnce) {
    const fs::path folder = fakes::NewTempFolder("paper-threads-");
    ASSERT_FALSE(folder.empty());
    std::vector<std::thread> printers;
    std::atomic<int> failures{0};
    for (int p = 0; p < 3; ++p) {
        printers.emplace_back([&, p] {
            for (int round = 0; round < 20; ++round) {
                Bitmap page(576, 120);
                for (int i = 0; i < 40; ++i) {
                    const char32_t c = static_cast<char32_t>(0x4e00 + p * 1000 + round * 40 + i);
                    page.Draw(TheDrawing().Glyph(c, Face::Chinese), (i % 24) * 24, 0);
                    page.Draw(TheDrawing().Glyph(U'!' + static_cast<char32_t>(i), Face::A), i * 12,
                              30);
                }
                const Symbol qr = TheDrawing().DrawSymbol(Request(SymbolKind::Qr, "printer"));
                page.Draw(qr.picture, 0, 60);
                const std::string name = "p" + std::to_string(p) + ".png";
                if (!qr.error.empty() ||
                    !TheDrawing().SavePng(page, Utf8FromPath(folder / name), nullptr)) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& printer : printers) printer.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(Names(folder), (std::vector<std::string>{"p0.png", "p1.png", "p2.png"}));
    fs::remove_all(folder);
}

}  // namespace
}  // namespace sim::paper
