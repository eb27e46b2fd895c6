// The paper's geometry through a fake drawing (fixed glyph and symbol shapes): where text, images
// and symbols land, what the print modes do to them, and which pieces of paper become pictures.
#include "sim/paper/paper.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "sim/paper/glyphs.h"
#include "tests/sim/paper_print.h"

namespace simtest {
namespace {

using sim::paper::Bitmap;
using sim::paper::Receipt;
using sim::paper::ReceiptEnd;

// The black dots' bounding box within rows [top, bottom).
struct Box {
    int left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;  // right and bottom inclusive
    int Width() const { return right - left + 1; }
    int Height() const { return bottom - top + 1; }
};
Box Bounds(const Bitmap& b, int top = 0, int bottom = 1 << 30) {
    Box box;
    for (int y = std::max(top, 0); y < std::min(bottom, b.Height()); ++y) {
        for (int x = 0; x < b.Width(); ++x) {
            if (!b.Dot(x, y)) continue;
            box.left = std::min(box.left, x);
            box.right = std::max(box.right, x);
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}

// Columns [from, to) of `b`.
Bitmap Crop(const Bitmap& b, int from, int to) {
    Bitmap out(to - from, b.Height());
    out.Draw(b, -from, 0);
    return out;
}

// The byte-wise blits against the dot-by-dot meaning, at every shift and clipped on each side.
TEST(Paper, BitmapBlitsMatchDotByDot) {
    std::mt19937 random(3);
    for (int trial = 0; trial < 300; ++trial) {
        Bitmap picture(1 + static_cast<int>(random() % 40), 1 + static_cast<int>(random() % 9));
        for (int y = 0; y < picture.Height(); ++y) {
            for (int x = 0; x < picture.Width(); ++x) picture.SetDot(x, y, random() % 2);
        }
        Bitmap target(1 + static_cast<int>(random() % 50), 12);
        for (int y = 0; y < target.Height(); ++y) {
            for (int x = 0; x < target.Width(); ++x) target.SetDot(x, y, random() % 3 == 0);
        }
        const int at = static_cast<int>(random() % 80) - 40,
                  down = static_cast<int>(random() % 8) - 4;
        Bitmap drawn = target, erased = target;
        drawn.Draw(picture, at, down);
        erased.Erase(picture, at, down);
        Bitmap filled = target, cleared = target;
        filled.Fill(at, down, picture.Width(), picture.Height());
        cleared.Clear(at, down, picture.Width(), picture.Height());
        for (int y = 0; y < target.Height(); ++y) {
            for (int x = 0; x < target.Width(); ++x) {
                const bool was = target.Dot(x, y), on = picture.Dot(x - at, y - down);
                const bool inside =
                    x >= at && x < at + picture.Width() && y >= down && y < down + picture.Height();
                ASSERT_EQ(drawn.Dot(x, y), was || on) << trial;
                ASSERT_EQ(erased.Dot(x, y), was && !on) << trial;
                ASSERT_EQ(filled.Dot(x, y), was || inside) << trial;
                ASSERT_EQ(cleared.Dot(x, y), was && !inside) << trial;
            }
        }
        // A rectangle of no size changes nothing.
        Bitmap unchanged = target;
        unchanged.Fill(at, down, -static_cast<int>(random() % 5), picture.Height());
        unchanged.Clear(at, down, picture.Width(), 0);
        ASSERT_EQ(unchanged, target) << trial;
        // Nothing past a row's last dot: the padding bits stay white.
        const int pad = target.Stride() * 8 - target.Width();
        for (int y = 0; pad > 0 && y < target.Height(); ++y)
            ASSERT_EQ(drawn.Row(y).back() & ((1 << pad) - 1), 0) << trial;
    }
}

TEST(Paper, LinesSitWhereAlignmentMarginAndWidthSay) {
    const struct {
        const char* name;
        int paper;
        Bytes setup;
        int areaLeft, areaRight;  // the print area, right edge exclusive
        int align;
    } cases[] = {
        {"left", 576, {}, 0, 576, 0},
        {"centre", 576, {0x1B, 'a', 1}, 0, 576, 1},
        {"right", 576, {0x1B, 'a', '2'}, 0, 576, 2},
        {"right, 58 mm", 384, {0x1B, 'a', 2}, 0, 384, 2},
        {"right, margin", 576, Cat({{0x1B, 'a', 2, 0x1D, 'L'}, Le(40)}), 40, 576, 2},
        {"right, area width", 576, Cat({{0x1B, 'a', 2, 0x1D, 'W'}, Le(300)}), 0, 300, 2},
        {"centre, margin and width", 576,
         Cat({{0x1B, 'a', 1, 0x1D, 'L'}, Le(100), {0x1D, 'W'}, Le(201)}), 100, 301, 1},
        {"left, margin and width", 576, Cat({{0x1D, 'L'}, Le(100), {0x1D, 'W'}, Le(200)}), 100, 300,
         0},
        {"right, width past the paper", 384,
         Cat({{0x1B, 'a', 2, 0x1D, 'L'}, Le(84), {0x1D, 'W'}, Le(1000)}), 84, 384, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Printed p;
        Print(p, Cat({c.setup, Str("Total 12.00\n")}), c.paper);
        ASSERT_EQ(p.receipts.size(), 1u);
        const Bitmap& b = p.First();
        EXPECT_EQ(b.Width(), c.paper);
        EXPECT_EQ(b.Height(), 30);
        const Box box = Bounds(b);
        EXPECT_EQ(box.Width(), 11 * 12);
        EXPECT_EQ(box.Height(), 24);
        // Left: from the area's left edge; right: to its right edge; centre: the same room both
        // sides (within a dot).
        const int before = box.left - c.areaLeft, after = c.areaRight - box.right - 1;
        EXPECT_EQ(c.align == 0 ? before : c.align == 2 ? after : std::abs(before - after) / 2, 0);
    }
}

TEST(Paper, CharacterSizesScaleTheCell) {
    const struct {
        const char* name;
        Bytes mode;
        int width, height;
    } cases[] = {
        {"normal", {}, 12, 24},
        {"GS ! 0x11", {0x1D, '!', 0x11}, 24, 48},
        {"ESC ! double both", {0x1B, '!', 0x30}, 24, 48},
        {"GS ! 8 × 8", {0x1D, '!', 0x77}, 96, 192},
        {"GS ! 3 wide 1 high", {0x1D, '!', 0x20}, 36, 24},
        {"font B", {0x1B, 'M', 1}, 9, 17},
        {"ESC ! font B double height", {0x1B, '!', 0x11}, 9, 34},
        {"GS ! out of range ignored", {0x1D, '!', 0x88}, 12, 24},
        {"90° rotation", {0x1B, 'V', 1}, 24, 12},
        {"bold", {0x1B, 'E', 1}, 12, 24},  // the extra column falls inside the cell
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Printed p;
        Print(p, Cat({c.mode, Str("A\n")}));
        const Box box = Bounds(p.First());
        EXPECT_EQ(box.left, 0);
        EXPECT_EQ(box.Width(), c.width);
        EXPECT_EQ(box.Height(), c.height);
        EXPECT_EQ(p.First().Height(), std::max(30, c.height));
    }
}

TEST(Paper, PositionsTabsAndWrapPutColumnsWhereTheySay) {
    const struct {
        const char* name;
        Bytes bytes;
        std::vector<int> lefts;  // each character's left edge on the first line
        int lines;
    } cases[] = {
        {"ESC $", Cat({Str("A"), {0x1B, '$'}, Le(300), Str("B\n")}), {0, 300}, 1},
        {"ESC $ with a margin",
         Cat({{0x1D, 'L'}, Le(50), Str("A"), {0x1B, '$'}, Le(300), Str("B\n")}),
         {50, 350},
         1},
        {"ESC $ past the area ignored",
         Cat({Str("A"), {0x1B, '$'}, Le(900), Str("B\n")}),
         {0, 12},
         1},
        {"ESC \\ back", Cat({Str("AB"), {0x1B, '\\'}, Le(0xFFF4), Str("C\n")}), {0, 12}, 1},
        {"default tabs", Str("A\tB\tC\n"), {0, 96, 192}, 1},
        {"ESC D", Cat({{0x1B, 'D', 4, 10, 0}, Str("\tA\tB\tC\n")}), {48, 120, 132}, 1},
        {"ESC D with spacing", Cat({{0x1B, ' ', 2, 0x1B, 'D', 4, 0}, Str("\tA\n")}), {56}, 1},
        {"character spacing", Cat({{0x1B, ' ', 3}, Str("ABC\n")}), {0, 15, 30}, 1},
        {"wrap at the area's end", Str(std::string(49, 'W') + "\n"), {0, 12}, 2},
        {"wrap in a narrow area", Cat({{0x1D, 'W'}, Le(30), Str("ABC\n")}), {0, 12}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Printed p;
        Print(p, c.bytes);
        const Bitmap& b = p.First();
        EXPECT_EQ(b.Height(), 30 * c.lines);
        // A glyph's left edge: a column black in all 24 rows of the first line.
        std::vector<int> lefts;
        for (int x = 0; x < b.Width(); ++x) {
            bool full = true;
            for (int y = 0; y < 24 && full; ++y) full = b.Dot(x, y);
            if (full && (lefts.empty() || x >= lefts.back() + 12)) lefts.push_back(x);
        }
        if (lefts.size() > c.lefts.size()) lefts.resize(c.lefts.size());
        EXPECT_EQ(lefts, c.lefts);
    }
}

TEST(Paper, LineSpacingAgainstTheTallestOnTheLine) {
    const struct {
        const char* name;
        Bytes bytes;
        int next;  // where the following line starts
    } cases[] = {
        {"default", Str("A\nB\n"), 60},
        {"ESC 3 10: the characters are taller", Cat({{0x1B, '3', 10}, Str("A\nB\n")}), 48},
        {"ESC 3 60", Cat({{0x1B, '3', 60}, Str("A\nB\n")}), 120},
        {"ESC 2 after ESC 3", Cat({{0x1B, '3', 60, 0x1B, '2'}, Str("A\n")}), 30},
        {"a double-height character", Cat({Str("a"), {0x1D, '!', 1}, Str("B\n"), {0x1D, '!', 0}}),
         48},
        {"empty lines", Str("\n\n\n"), 90},
        {"ESC d 3", Cat({Str("A"), {0x1B, 'd', 3}}), 90},
        {"ESC J 5 under a line", Cat({Str("A"), {0x1B, 'J', 5}}), 24},
        {"ESC J 100", Cat({Str("A"), {0x1B, 'J', 100}}), 100},
        {"font B", Cat({{0x1B, 'M', 1, 0x1B, '3', 0}, Str("A\nB\n"), {0x1B, 'M', 0}}), 34},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Printed p;
        Print(p, Cat({c.bytes, {0x1B, '$'}, Le(500), Str("Z\n")}));
        ASSERT_EQ(p.receipts.size(), 1u);
        const Bitmap& b = p.First();
        const Box z = Bounds(Crop(b, 500, b.Width()));
        EXPECT_EQ(z.top, c.next);
        EXPECT_EQ(z.Height(), 24);
        EXPECT_GE(b.Height(), c.next + 24);
    }
}

// A GS v 0 image's dots are exactly where it put them, in each magnification and alignment.
TEST(Paper, RasterImageDotsWhereTheImagePutThem) {
    std::mt19937 random(7);
    const int rowBytes = 5, rows = 19;
    Bytes image(rowBytes * rows);
    for (uint8_t& b : image) b = static_cast<uint8_t>(random());
    const struct {
        const char* name;
        int paper;
        Bytes setup;
        uint8_t mode;
        int left, scaleX, scaleY;
    } cases[] = {
        {"normal", 576, {}, 0, 0, 1, 1},
        {"double width", 576, {}, 1, 0, 2, 1},
        {"double height", 576, {}, '2', 0, 1, 2},
        {"quadruple, centred", 576, {0x1B, 'a', 1}, 3, (576 - 80) / 2, 2, 2},
        {"right, 58 mm", 384, {0x1B, 'a', 2}, 0, 384 - 40, 1, 1},
        {"margin 13: not on a byte", 576, Cat({{0x1D, 'L'}, Le(13)}), 0, 13, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::size_t piece : {0, 1, 7}) {
            Printed p;
            Print(p,
                  Cat({c.setup,
                       Str("T\n"),
                       {0x1D, 'v', '0', c.mode},
                       Le(rowBytes),
                       Le(rows),
                       image,
                       Str("T\n")}),
                  c.paper, piece);
            const Bitmap& b = p.First();
            ASSERT_EQ(b.Height(), 30 + rows * c.scaleY + 30);
            int wrong = 0;
            for (int y = 0; y < rows * c.scaleY; ++y) {
                for (int x = 0; x < c.paper; ++x) {
                    const int ix = (x - c.left) / c.scaleX, iy = y / c.scaleY;
                    const bool inside = x >= c.left && ix < rowBytes * 8;
                    const bool want =
                        inside && ((image[iy * rowBytes + ix / 8] >> (7 - ix % 8)) & 1);
                    wrong += b.Dot(x, 30 + y) != want;
                }
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}

// Each print mode as a property of the normal glyph: turned, inverted, underlined.
TEST(Paper, PrintModesTransformTheLine) {
    Printed normal;
    Print(normal, Str("AB C\n"));
    const Bitmap& n = normal.First();
    {
        SCOPED_TRACE("upside down: the line turned within the print area");
        Printed p;
        Print(p, Cat({{0x1B, '{', 1}, Str("AB C\n")}));
        int wrong = 0;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 576; ++x) wrong += p.First().Dot(x, y) != n.Dot(575 - x, 23 - y);
        }
        EXPECT_EQ(wrong, 0);
    }
    {
        SCOPED_TRACE("reverse: the cells inverted");
        Printed p;
        Print(p, Cat({{0x1D, 'B', 1}, Str("AB C\n")}));
        int wrong = 0;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 576; ++x)
                wrong += p.First().Dot(x, y) != (x < 48 ? !n.Dot(x, y) : false);
        }
        EXPECT_EQ(wrong, 0);
    }
    for (const int thickness : {1, 2}) {
        SCOPED_TRACE("underline, also under the space");
        Printed p;
        Print(p, Cat({{0x1B, '-', static_cast<uint8_t>(thickness)}, Str("AB C\n")}));
        int wrong = 0;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 576; ++x) {
                const bool line = y >= 24 - thickness && x < 48;
                wrong += p.First().Dot(x, y) != (n.Dot(x, y) || line);
            }
        }
        EXPECT_EQ(wrong, 0);
    }
    {
        SCOPED_TRACE("90° rotation: each glyph turned clockwise");
        Printed p;
        Print(p, Cat({{0x1B, 'V', 1}, Str("A\n")}));
        FakeDrawing d;
        const Bitmap turned = sim::paper::TurnClockwise(d.Glyph(U'A', sim::paper::Face::A));
        Bitmap got(24, 12);
        got.Draw(p.First(), 0, 0);
        EXPECT_EQ(got, turned);
        EXPECT_EQ(Bounds(p.First()).Height(), 12);
    }
    {
        SCOPED_TRACE("Chinese: GBK pairs in 24 × 24 cells, with FS - underline");
        Printed p;
        Print(p, Cat({{0x1C, '-', 2}, Str("a\xD6\xD0\xCE\xC4\n")}));
        EXPECT_EQ(p.drawing.faces[sim::paper::Face::Chinese], 2);
        EXPECT_EQ(Bounds(p.First()).Width(), 12 + 48);
        EXPECT_TRUE(p.First().Dot(12, 22) && p.First().Dot(59, 23) && !p.First().Dot(5, 22));
    }
    {
        SCOPED_TRACE("UTF-8 after FS ( C: wide characters in Chinese cells");
        Printed p;
        Print(p, Cat({{0x1C, '(', 'C', 2, 0, 48, 2}, Str("\xC3\xBC\xE4\xB8\xAD\n")}));
        EXPECT_EQ(p.drawing.faces[sim::paper::Face::Chinese], 1);
        EXPECT_EQ(Bounds(p.First()).Width(), 12 + 24);
    }
}

TEST(Paper, InitialiseResetsEverything) {
    const Bytes everything =
        Cat({{0x1D, '!', 0x33, 0x1B, 'a', 2, 0x1B, '3', 100, 0x1B, '{', 1, 0x1D, 'B',  1,
              0x1B, '-', 2,    0x1B, ' ', 9, 0x1B, 'V', 1,   0x1B, 'D', 1, 0,    0x1D, 'L'},
             Le(20),
             {0x1D, 'W'},
             Le(100),
             Str("p")});
    Printed plain, reset;
    Print(plain, Str("A\tB\n"));
    Print(reset, Cat({everything, {0x1B, '@'}, Str("A\tB\n")}));
    ASSERT_EQ(reset.receipts.size(), 1u);
    EXPECT_EQ(reset.First(), plain.First());  // the pending text is dropped too
}

// Which pieces of paper become pictures: a cut ends one when the paper moved since the last cut
// (a blank strip too); the end of the stream only when something was printed.
TEST(Paper, CutsAndTheStreamsEndMakeThePictures) {
    const Bytes full{0x1D, 'V', 0}, partial{0x1D, 'V', 1};
    const struct {
        const char* name;
        Bytes bytes;
        std::vector<ReceiptEnd> ends;
        std::vector<int> heights;  // without the cut line
    } cases[] = {
        {"nothing", {0x1B, '@'}, {}, {}},
        {"cut, no paper moved", Cat({full, partial}), {}, {}},
        {"text, no cut", Str("A\n"), {ReceiptEnd::StreamEnd}, {30}},
        {"text without its LF", Str("A"), {ReceiptEnd::StreamEnd}, {30}},
        {"feeds only, no cut", Str("\n\n"), {}, {}},
        {"two cuts",
         Cat({Str("A\n"), full, Str("B\nC\n"), partial}),
         {ReceiptEnd::FullCut, ReceiptEnd::PartialCut},
         {30, 60}},
        {"blank strip between cuts: no picture",
         Cat({Str("A\n"), full, Str("\n\n"), full, Str("\n\n"), Str("B\n"), full}),
         {ReceiptEnd::FullCut, ReceiptEnd::FullCut},
         {30, 90}},
        {"cut with its feed",
         Cat({Str("A\n"), {0x1D, 'V', 66, 20}}),
         {ReceiptEnd::PartialCut},
         {50}},
        {"ESC i", Cat({Str("A\n"), {0x1B, 'i'}}), {ReceiptEnd::PartialCut}, {30}},
        {"text after the last cut",
         Cat({Str("A\n"), full, Str("B\n")}),
         {ReceiptEnd::FullCut, ReceiptEnd::StreamEnd},
         {30, 30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Printed p;
        Print(p, c.bytes);
        std::vector<ReceiptEnd> ends;
        std::vector<int> heights;
        for (const Receipt& r : p.receipts) {
            ends.push_back(r.end);
            const bool cut = r.end == ReceiptEnd::FullCut || r.end == ReceiptEnd::PartialCut;
            heights.push_back(r.picture.Height() - (cut ? sim::paper::Paper::kCutLineRows : 0));
            EXPECT_EQ(r.picture.Width(), 576);
        }
        EXPECT_EQ(ends, c.ends);
        EXPECT_EQ(heights, c.heights);
    }
    // Full and partial cut lines differ.
    Printed p;
    Print(p, Cat({Str("A\n"), full, Str("A\n"), partial}));
    ASSERT_EQ(p.receipts.size(), 2u);
    const auto cutLine = [](const Bitmap& b) {
        return b.Row(b.Height() - sim::paper::Paper::kCutLineRows / 2 - 1);
    };
    const auto a = cutLine(p.receipts[0].picture), b = cutLine(p.receipts[1].picture);
    EXPECT_FALSE(std::equal(a.begin(), a.end(), b.begin()));
}

TEST(Paper, NoPictureLongerThanFourMetres) {
    Printed p;
    Bytes lines;
    for (int i = 0; i < 2200; ++i) lines.insert(lines.end(), {'A', '\n'});  // 66 000 dots
    Print(p, Cat({lines, {0x1D, 'V', 0}}));
    ASSERT_EQ(p.receipts.size(), 3u);
    EXPECT_EQ(p.receipts[0].end, ReceiptEnd::LengthLimit);
    EXPECT_EQ(p.receipts[1].end, ReceiptEnd::LengthLimit);
    EXPECT_EQ(p.receipts[2].end, ReceiptEnd::FullCut);
    int total = 0;
    for (const Receipt& r : p.receipts) {
        EXPECT_LE(r.picture.Height(),
                  sim::paper::Paper::kLengthLimit + sim::paper::Paper::kCutLineRows);
        total += r.picture.Height();
    }
    EXPECT_EQ(total, 66000 + sim::paper::Paper::kCutLineRows);
    EXPECT_EQ(p.notes.size(), 2u);
}

// Enlarged variants of thousands of characters: the kept ones are dropped now and then, never
// one still waiting on the line being wrapped.
TEST(Paper, ManyDistinctCharactersWrapAtDoubleSize) {
    Bytes text{0x1D, '!', 0x11};
    for (int i = 0; i < 2400; ++i) {
        text.push_back(static_cast<uint8_t>(0xB0 + i / 94));
        text.push_back(static_cast<uint8_t>(0xA1 + i % 94));
    }
    Printed p;
    Print(p, text);
    ASSERT_EQ(p.receipts.size(), 1u);
    EXPECT_EQ(p.First().Height(), 2400 / 12 * 48);  // 12 double-size Chinese characters a line
    EXPECT_EQ(Bounds(p.First(), 0, 48).Width(), 576);
}

// Length fields announce what they like: only what arrives is drawn, within the paper.
TEST(Paper, AnnouncedSizesAreNotBelieved) {
    const Bytes ff(1000, 0xFF);
    const struct {
        const char* name;
        Bytes bytes;
        int maxHeight;
    } cases[] = {
        {"GS v 0 65535 × 65535", Cat({{0x1D, 'v', '0', 3, 0xFF, 0xFF, 0xFF, 0xFF}, ff}), 2},
        {"GS 8 L store of 4 GB",
         Cat({{0x1D, '8', 'L', 0xFF, 0xFF, 0xFF, 0xFF, 48, 112, 48, 1, 1, 49, 0xFF, 0xFF, 0xFF,
               0xFF},
              ff,
              {0x1D, '(', 'L', 2, 0, 48, 50}}),
         0},
        {"ESC * 65535 columns", Cat({{0x1B, '*', 33, 0xFF, 0xFF}, ff}), 30},
        {"GS ( k QR data of 64 KB", Cat({{0x1D, '(', 'k', 0xFF, 0xFF, 49, 80, 48}, ff}), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Printed p;
        Print(p, c.bytes);
        for (const Receipt& r : p.receipts) {
            EXPECT_EQ(r.picture.Width(), 576);
            EXPECT_LE(r.picture.Height(), c.maxHeight);
        }
    }
}

TEST(Paper, BarcodesWithTheirSettingsAndText) {
    Printed p;
    Print(p, Cat({{0x1D, 'h', 50, 0x1D, 'w', 2, 0x1D, 'H', '2', 0x1B, 'a', 1, 0x1D, 'k', 67, 12},
                  Str("400638133393"),
                  {0x1D, 'k', 2},
                  Str("4006381333931"),
                  {0}}));
    ASSERT_EQ(p.drawing.requests.size(), 2u);
    EXPECT_EQ(p.drawing.requests[0].kind, sim::paper::SymbolKind::Ean13);
    EXPECT_EQ(p.drawing.requests[0].module, 2);
    EXPECT_EQ(p.drawing.requests[0].height, 50);
    EXPECT_EQ(std::string(p.drawing.requests[1].data.begin(), p.drawing.requests[1].data.end()),
              "4006381333931");
    const Bitmap& b = p.First();
    const int block = 50 + 2 + 24;  // bars, gap, text
    EXPECT_EQ(b.Height(), 2 * block);
    const Box bars = Bounds(b, 0, 50);
    EXPECT_EQ(bars.Width(), 2 * (10 + 24) - 2);       // the fake's bars, the last module white
    EXPECT_NEAR(bars.left, 576 - bars.right - 2, 2);  // centred
    const Box text = Bounds(b, 52, block);
    EXPECT_EQ(text.Width(), 12 * 12);
    EXPECT_NEAR(text.left - bars.left, bars.right - text.right, 2);
}

TEST(Paper, SymbolsStoredWithTheirSettingsAndRefusalsFramed) {
    const auto k = [](std::initializer_list<uint8_t> p) {
        Bytes out{0x1D, '(', 'k', static_cast<uint8_t>(p.size()), 0};
        out.insert(out.end(), p);
        return out;
    };
    {
        Printed p;
        Print(p, Cat({k({49, 65, 51, 0}), k({49, 67, 8}), k({49, 69, 51}),
                      k({49, 80, 48, 'h', 'i'}), k({49, 81, 48}), k({48, 67, 4}),
                      k({48, 69, 48, 53}), k({48, 80, 48, 'p'}), k({48, 81, 48})}));
        ASSERT_EQ(p.drawing.requests.size(), 2u);
        const auto& qr = p.drawing.requests[0];
        EXPECT_EQ(qr.kind, sim::paper::SymbolKind::Qr);
        EXPECT_EQ(qr.module, 8);
        EXPECT_EQ(qr.errorLevel, 3);
        EXPECT_EQ(qr.model, 3);
        const auto& pdf = p.drawing.requests[1];
        EXPECT_EQ(pdf.kind, sim::paper::SymbolKind::Pdf417);
        EXPECT_EQ(pdf.module, 4);
        EXPECT_EQ(pdf.errorLevel, 5);
        EXPECT_EQ(p.First().Height(), (10 + 1) * 8 + 10 * 4);
        EXPECT_TRUE(p.notes.empty());
    }
    const struct {
        const char* name;
        Bytes bytes;
        std::string note;
    } refused[] = {
        {"bad data", Cat({k({49, 80, 48, 'X'}), k({49, 81, 48})}),
         "QR code not drawn: the data has no symbol"},
        {"nothing stored", k({54, 81, 48}), "DataMatrix not drawn: no data stored"},
        {"too wide",
         Cat({k({49, 67, 16}),
              {0x1D, '(', 'k', 83, 0, 49, 80, 48},
              Bytes(80, 'a'),
              k({49, 81, 48})}),
         "QR code not drawn: 800 dots wide, the print area 576"},
        {"barcode", Cat({{0x1D, 'k', 73, 2}, Str("XX")}),
         "barcode CODE128 not drawn: the data has no symbol"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        Printed p;
        Print(p, c.bytes);
        EXPECT_EQ(p.notes, std::vector<std::string>{c.note});
        ASSERT_EQ(p.receipts.size(), 1u);
        // A box across the print area: its frame's top row and sides are black.
        const Bitmap& b = p.First();
        EXPECT_EQ(Bounds(b, 0, 2).Width(), 576);
        EXPECT_TRUE(b.Dot(0, b.Height() / 2) && b.Dot(575, b.Height() / 2));
        EXPECT_GT(Bounds(Crop(b, 8, 568), 4, b.Height() - 4).Width(), 100);  // its text
    }
}

TEST(Paper, StoredAndLineImages) {
    {
        SCOPED_TRACE("ESC *: 8-dot single density is 2 dots wide and 3 high a dot, on the line");
        Printed p;
        Print(p, Cat({Str("A"), {0x1B, '*', 0, 2, 0, 0x80, 0x01}, Str("B\n")}));
        const Bitmap& b = p.First();
        EXPECT_EQ(Bounds(Crop(b, 12, 16)).left, 0);
        EXPECT_EQ(Bounds(Crop(b, 12, 14)).Height(), 3);
        EXPECT_EQ(Bounds(Crop(b, 14, 16)).top, 21);
        EXPECT_TRUE(b.Dot(16, 0) && b.Dot(16, 23));  // B right after the image
    }
    {
        SCOPED_TRACE("GS ( L store by rows, printed double size");
        Printed p;
        Print(p, Cat({{0x1D, '(', 'L', 12, 0, 48, 112, 48, 2, 2, 49, 9, 0, 1, 0, 0x80, 0x80},
                      {0x1D, '(', 'L', 2, 0, 48, 50}}));
        const Box box = Bounds(p.First());
        EXPECT_EQ(p.First().Height(), 2);
        EXPECT_EQ(box.left, 0);
        EXPECT_EQ(box.Width(), 18);  // dots 0 and 8, each two wide
    }
    {
        SCOPED_TRACE("GS * and GS /");
        Printed p;
        Bytes column(8, 0);
        column[0] = 0xFF;  // first column: its top 8 dots
        Print(p, Cat({{0x1D, '*', 1, 1}, column, {0x1D, '/', 0}}));
        EXPECT_EQ(p.First().Height(), 8);
        const Box box = Bounds(p.First());
        EXPECT_EQ(box.Width(), 1);
        EXPECT_EQ(box.Height(), 8);
    }
    {
        SCOPED_TRACE("FS p: a frame of a fixed size");
        Printed p;
        Print(p, {0x1C, 'p', 1, 3});
        EXPECT_EQ(Bounds(p.First()).Width(), 512);
        EXPECT_EQ(p.First().Height(), 192);
    }
}

TEST(Paper, PageModeDrawsInItsArea) {
    Printed p;
    Print(p, Cat({{0x1B, 'L', 0x1B, 'W'},
                  Le(100),
                  Le(50),
                  Le(200),
                  Le(100),
                  Str("AB\n"),
                  {0x1D, '$'},
                  Le(60),
                  Str("C"),
                  {0x0C},
                  Str("D\n")}));
    ASSERT_EQ(p.receipts.size(), 1u);
    const Bitmap& b = p.First();
    EXPECT_EQ(Bounds(b, 0, 74).left, 100);
    EXPECT_EQ(Bounds(b, 0, 74).top, 50);
    EXPECT_EQ(Bounds(b, 100, 134).top, 110);  // C at 60 down the area
    EXPECT_EQ(Bounds(b, 134, 1000).left, 0);  // standard mode again under the page
    EXPECT_TRUE(p.notes.empty());

    // Each print direction: the glyph turned with it, in its corner of the area.
    FakeDrawing d;
    const Bitmap& glyph = d.Glyph(U'A', sim::paper::Face::A);
    const struct {
        int direction;
        Bitmap turned;
        int x, y;  // where the turned glyph lands
    } directions[] = {
        {0, glyph, 100, 50},
        {1, sim::paper::TurnUpsideDown(sim::paper::TurnClockwise(glyph)), 100, 150 - 12},
        {2, sim::paper::TurnUpsideDown(glyph), 300 - 12, 150 - 24},
        {3, sim::paper::TurnClockwise(glyph), 300 - 24, 50},
    };
    for (const auto& c : directions) {
        SCOPED_TRACE(c.direction);
        Printed q;
        Print(q, Cat({{0x1B, 'L', 0x1B, 'T', static_cast<uint8_t>(c.direction), 0x1B, 'W'},
                      Le(100),
                      Le(50),
                      Le(200),
                      Le(100),
                      Str("A"),
                      {0x1B, 0x0C}}));
        ASSERT_EQ(q.receipts.size(), 1u);
        Bitmap got(c.turned.Width(), c.turned.Height());
        got.Draw(q.First(), -c.x, -c.y);
        EXPECT_EQ(got, c.turned);
        EXPECT_EQ(Bounds(q.First()).Width(), c.turned.Width());
    }
}

// Through the platform's drawing (skipped in a build without one): real glyphs stay in their
// cells, a QR code keeps its module size, what zint refuses is a framed note.
TEST(Paper, WithThePlatformsDrawing) {
    const std::unique_ptr<sim::paper::Drawing> drawing = sim::paper::MakeDrawing();
    if (!drawing) GTEST_SKIP() << "no drawing in this build";
    std::vector<Receipt> receipts;
    std::vector<std::string> notes;
    const auto print = [&](const Bytes& bytes) {
        receipts.clear();
        notes.clear();
        sim::paper::Paper paper(
            *drawing, {576}, [&](Receipt&& r) { receipts.push_back(std::move(r)); },
            [&](const std::string& n) { notes.push_back(n); });
        sim::StreamDecoder decoder(nullptr);
        decoder.SetPaper(&paper);
        decoder.Feed(bytes);
        decoder.Finish();
        paper.End();
    };
    print(Cat({{0x1B, 'a', 2},
               Str("TOTAL 12.00\n"),
               {0x1B, 'a', 1, 0x1D, '!', 0x11},
               Str("\xD6\xD0\xCE\xC4\n")}));
    ASSERT_EQ(receipts.size(), 1u);
    const Box right = Bounds(receipts[0].picture, 0, 24);
    EXPECT_GT(right.left, 576 - 11 * 12 - 1);  // inside the line's cells, to the right edge
    EXPECT_GT(right.right, 576 - 12);
    const Box title = Bounds(receipts[0].picture, 30, 30 + 48);
    EXPECT_GE(title.left, (576 - 96) / 2);
    EXPECT_LE(title.right, (576 + 96) / 2);
    EXPECT_GT(title.Height(), 24);  // twice the size

    const std::string url = "https://example.com/r?id=7";
    Bytes qr{0x1D, '(', 'k', 3, 0, 49, 67, 5, 0x1D, '(', 'k', static_cast<uint8_t>(url.size() + 3),
             0,    49,  80,  48};
    qr.insert(qr.end(), url.begin(), url.end());
    print(Cat({qr, {0x1D, '(', 'k', 3, 0, 49, 81, 48}}));
    ASSERT_EQ(receipts.size(), 1u);
    const Box box = Bounds(receipts[0].picture);
    EXPECT_EQ(box.Width(), box.Height());
    EXPECT_EQ(box.Width() % 5, 0);
    EXPECT_EQ(box.left, 0);
    EXPECT_TRUE(notes.empty());

    print(Cat({{0x1D, 'k', 2}, Str("12345"), {0}}));  // EAN-13 takes 12 or 13 digits
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].rfind("barcode EAN-13 not drawn: ", 0), 0u) << notes[0];
    ASSERT_EQ(receipts.size(), 1u);
    EXPECT_EQ(Bounds(receipts[0].picture, 0, 2).Width(), 576);
}

}  // namespace
}  // namespace simtest
