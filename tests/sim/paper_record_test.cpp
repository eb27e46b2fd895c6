// The paper's record of what it drew, through the fake drawing: each text run's box and bytes as
// the print modes and page mode place it, the lines' text, barcodes, symbols, images and notes
// with their bytes, and the record's bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/paper/receipt_record.h"
#include "tests/sim/paper_print.h"

namespace simtest {
namespace {

using sim::paper::Box;
using sim::paper::ByteRange;
using sim::paper::Item;
using sim::paper::ItemType;
using sim::paper::ReceiptRecord;

struct TextRun {
    std::string text;
    Box box;
    ByteRange bytes;
    bool operator==(const TextRun&) const = default;
};
void PrintTo(const TextRun& r, std::ostream* out) {
    *out << '"' << r.text << "\" at " << r.box.x << "," << r.box.y << " " << r.box.width << "x"
         << r.box.height << " bytes " << r.bytes.from << "-" << r.bytes.to;
}

std::vector<TextRun> Runs(const ReceiptRecord& record) {
    std::vector<TextRun> runs;
    for (const Item& item : record.items) {
        if (item.type == ItemType::Text) runs.push_back({item.text, item.box.value(), item.bytes});
    }
    return runs;
}

// A page area at (100, 50), 200 × 100, printed in direction `d`, holding "A".
Bytes PageWithA(uint8_t d) {
    return Cat({{0x1B, 'L', 0x1B, 'T', d, 0x1B, 'W'},
                Le(100),
                Le(50),
                Le(200),
                Le(100),
                Str("A"),
                {0x1B, 0x0C}});
}

TEST(PaperRecord, TextRunsWhereThePrinterPutThem) {
    const struct {
        const char* name;
        Bytes bytes;
        std::vector<TextRun> runs;
        std::vector<std::string> lines;
    } cases[] = {
        {"right aligned",
         Cat({{0x1B, 'a', 2}, Str("Total 12.00\n")}),
         {{"Total 12.00", {444, 0, 132, 24}, {3, 14}}},
         {"Total 12.00"}},
        {"double size, centred",
         Cat({{0x1B, 'a', 1, 0x1D, '!', 0x11}, Str("AB\n")}),
         {{"AB", {264, 0, 48, 48}, {6, 8}}},
         {"AB"}},
        {"upside down: turned within the print area",
         Cat({{0x1B, '{', 1}, Str("AB C\n")}),
         {{"AB C", {528, 0, 48, 24}, {3, 7}}},
         {"AB C"}},
        {"rotated 90°: each cell as wide as a character is high",
         Cat({{0x1B, 'V', 1}, Str("AB\n")}),
         {{"AB", {0, 0, 48, 12}, {3, 5}}},
         {"AB"}},
        {"a style change starts a run",
         Cat({Str("a"), {0x1B, 'E', 1}, Str("b"), {0x1B, 'E', 0}, Str("c\n")}),
         {{"a", {0, 0, 12, 24}, {0, 1}},
          {"b", {12, 0, 12, 24}, {4, 5}},
          {"c", {24, 0, 12, 24}, {8, 9}}},
         {"abc"}},
        {"a gap between runs: spaces, one a 12 dots",
         Cat({Str("A"), {0x1B, '$'}, Le(300), Str("B\n")}),
         {{"A", {0, 0, 12, 24}, {0, 1}}, {"B", {300, 0, 12, 24}, {5, 6}}},
         {"A" + std::string(24, ' ') + "B"}},
        {"a line printed back to front: by its place on the line",
         Cat({{0x1B, '$'}, Le(120), Str("late"), {0x1B, '$'}, Le(0), Str("early\n")}),
         {{"late", {120, 0, 48, 24}, {4, 8}}, {"early", {0, 0, 60, 24}, {12, 17}}},
         {"early     late"}},
        {"GBK in Chinese cells, then font A",
         Cat({Str("\xD6\xD0"), Str("ok  \n")}),
         {{"\xE4\xB8\xAD", {0, 0, 24, 24}, {0, 2}}, {"ok  ", {24, 0, 48, 24}, {2, 6}}},
         {"\xE4\xB8\xAD"
          "ok"}},
        {"wrapped at the area's end",
         Str(std::string(50, 'W') + "\n"),
         {{std::string(48, 'W'), {0, 0, 576, 24}, {0, 48}}, {"WW", {0, 30, 24, 24}, {48, 50}}},
         {std::string(48, 'W'), "WW"}},
        {"page mode, left to right",
         Cat({{0x1B, 'L', 0x1B, 'W'}, Le(100), Le(50), Le(200), Le(100), Str("AB\n"), {0x0C}}),
         {{"AB", {100, 50, 24, 24}, {12, 14}}},
         {"AB"}},
        {"page mode, bottom to top", PageWithA(1), {{"A", {100, 138, 24, 12}, {15, 16}}}, {"A"}},
        {"page mode, right to left", PageWithA(2), {{"A", {288, 126, 12, 24}, {15, 16}}}, {"A"}},
        {"page mode, top to bottom", PageWithA(3), {{"A", {276, 50, 24, 12}, {15, 16}}}, {"A"}},
        {"page mode, a page dropped by ESC S",
         Cat({{0x1B, 'L'}, Str("gone\n"), {0x1B, 'S'}, Str("kept\n")}),
         {{"kept", {0, 0, 48, 24}, {9, 13}}},
         {"kept"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The same records however the stream is cut.
        for (const std::size_t piece : {0, 1, 5}) {
            Printed p;
            Print(p, c.bytes, 576, piece);
            ASSERT_EQ(p.receipts.size(), 1u);
            EXPECT_EQ(Runs(p.receipts[0].record), c.runs) << piece;
            EXPECT_EQ(p.receipts[0].record.lines, c.lines) << piece;
        }
    }
    // The look of a run.
    Printed p;
    Print(p, Cat({{0x1B, '{', 1, 0x1D, 'B', 1, 0x1B, 'M', 1, 0x1B, '-', 2, 0x1D, '!', 0x12},
                  Str("x\n")}));
    const Item& x = p.receipts.at(0).record.items.at(0);
    EXPECT_EQ(x.name, "B");
    EXPECT_EQ(x.look, (sim::paper::TextLook{2, 3, 0, false, true, true, false}));  // reverse hides
                                                                                   // the underline
}

TEST(PaperRecord, BarcodesSymbolsImagesAndNotesWithTheirBytes) {
    const auto k = [](std::initializer_list<uint8_t> p) {
        Bytes out{0x1D, '(', 'k', static_cast<uint8_t>(p.size()), 0};
        out.insert(out.end(), p);
        return out;
    };
    const Bytes barcode =
        Cat({{0x1B, 'a', 1, 0x1D, 'h', 50, 0x1D, 'w', 2, 0x1D, 'H', '2', 0x1D, 'k', 67, 12},
             Str("400638133393")});                                                      // 0-28
    const Bytes qr = Cat({k({49, 67, 4}), k({49, 80, 48, 'h', 'i'}), k({49, 81, 48})});  // 28-54
    const Bytes refused = Cat({{0x1D, 'k', 73, 2}, Str("XX")});                          // 54-60
    const Bytes raster = Cat({{0x1D, 'v', '0', 0}, Le(2), Le(3), Bytes(6, 0xFF)});       // 60-74
    const Bytes multiTone = {0x1D, '(', 'L', 11, 0, 48, 112, 52, 1, 1, 49, 8, 0, 1, 0, 0xFF};
    const Bytes bitImage = Cat({Str("A"), {0x1B, '*', 0, 2, 0, 0x80, 0x01}, Str("B\n")});  // 90-
    Printed p;
    Print(p, Cat({barcode, qr, refused, raster, multiTone, bitImage}));
    ASSERT_EQ(p.receipts.size(), 1u);
    const ReceiptRecord& r = p.receipts[0].record;
    ASSERT_EQ(r.items.size(), 8u);

    const Item& bars = r.items[0];  // the fake's bars 68 wide under a 144 dots wide text, centred
    EXPECT_EQ(bars.type, ItemType::Barcode);
    EXPECT_EQ(bars.name, "EAN-13");
    EXPECT_EQ(std::string(bars.data.begin(), bars.data.end()), "400638133393");
    EXPECT_EQ(bars.text, "400638133393");
    EXPECT_EQ(bars.textPosition, 2);
    EXPECT_EQ(bars.box, (Box{216, 0, 144, 76}));
    EXPECT_EQ(bars.bytes, (ByteRange{12, 28}));

    const Item& symbol = r.items[1];  // 11 modules of 4 dots
    EXPECT_EQ(symbol.type, ItemType::Symbol);
    EXPECT_EQ(symbol.name, "QR code");
    EXPECT_EQ(std::string(symbol.data.begin(), symbol.data.end()), "hi");
    EXPECT_EQ(symbol.box, (Box{266, 76, 44, 44}));
    EXPECT_EQ(symbol.bytes, (ByteRange{46, 54}));
    EXPECT_EQ(symbol.stored, (ByteRange{36, 46}));

    const Item& note = r.items[2];  // a framed box across the print area, two lines of text
    EXPECT_EQ(note.type, ItemType::Note);
    EXPECT_EQ(note.name, "barcode CODE128");
    EXPECT_EQ(note.text, "the data has no symbol");
    EXPECT_EQ(note.box, (Box{0, 120, 576, 64}));
    EXPECT_EQ(note.bytes, (ByteRange{54, 60}));

    const Item& image = r.items[3];
    EXPECT_EQ(image.type, ItemType::Image);
    EXPECT_EQ(image.name, "raster");
    EXPECT_EQ(image.box, (Box{280, 184, 16, 3}));
    EXPECT_EQ(image.bytes, (ByteRange{60, 74}));

    const Item& multi = r.items[4];  // logged, nothing drawn
    EXPECT_EQ(multi.name, "multi-tone graphics");
    EXPECT_FALSE(multi.box.has_value());
    EXPECT_EQ(multi.bytes.from, 74u);

    EXPECT_EQ(r.items[5].text, "A");
    EXPECT_EQ(r.items[6].name, "bit image");
    EXPECT_EQ(r.items[6].box, (Box{286, 187, 4, 24}));  // a centred line of 12 + 4 + 12 dots
    EXPECT_EQ(r.items[6].bytes, (ByteRange{91, 98}));
    EXPECT_EQ(r.items[7].text, "B");
    EXPECT_EQ(r.lines, (std::vector<std::string>{"400638133393", "A B"}));
}

// A raster image across the length limit: on each picture the rows it has there.
TEST(PaperRecord, AnImageAcrossTheLengthLimitOnBothPictures) {
    const int rows = sim::paper::Paper::kLengthLimit + 32;
    Printed p;
    Print(p, Cat({{0x1D, 'v', '0', 0}, Le(1), Le(rows), Bytes(rows, 0x80)}));
    ASSERT_EQ(p.receipts.size(), 2u);
    const Item& first = p.receipts[0].record.items.at(0);
    const Item& second = p.receipts[1].record.items.at(0);
    EXPECT_EQ(first.box, (Box{0, 0, 8, sim::paper::Paper::kLengthLimit}));
    EXPECT_EQ(second.box, (Box{0, 0, 8, 32}));
    EXPECT_EQ(second.bytes, (ByteRange{0, 8u + rows}));
}

// However a stream overprints one line: its pieces are bounded, the items and lines kept are
// capped and the rest counted, each text cut.
TEST(PaperRecord, TheRecordIsBounded) {
    Bytes overprinted;
    for (int i = 0; i < 12000; ++i) overprinted.insert(overprinted.end(), {'A', 0x1B, '$', 0, 0});
    Printed p;
    Print(p, overprinted);
    ASSERT_EQ(p.receipts.size(), 1u);
    const ReceiptRecord& r = p.receipts[0].record;
    EXPECT_EQ(p.First().Height(), 12 * 30);  // a line holds 1024 characters at most
    EXPECT_EQ(r.items.size(), ReceiptRecord::kMaxItems);
    EXPECT_EQ(r.itemsLeftOut, 12000 - ReceiptRecord::kMaxItems);
    ASSERT_EQ(r.lines.size(), 12u);
    EXPECT_EQ(r.lines[0], std::string(ReceiptRecord::kMaxText, 'A'));
    EXPECT_EQ(r.lines[11], std::string(12000 - 11 * 1024, 'A'));
    EXPECT_EQ(sim::paper::CutText("ab\xE4\xB8\xAD", 4), "ab");  // never inside a character
}

}  // namespace
}  // namespace simtest
