// The paper's images: raster images (GS v 0), bit images on the line (ESC *), downloaded ones
// (GS *), stored graphics (GS ( L / GS 8 L), and frames for images in the printer's own memory.
#include "sim/paper/paper_printer.h"

namespace sim::paper {

namespace {

// Each dot twice, for double-width images.
constexpr std::array<uint16_t, 256> kDoubled = [] {
    std::array<uint16_t, 256> table{};
    for (int b = 0; b < 256; ++b) {
        uint16_t out = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (b & (0x80 >> bit)) out |= static_cast<uint16_t>(0xC000 >> (2 * bit));
        }
        table[static_cast<std::size_t>(b)] = out;
    }
    return table;
}();

// Ors `count` (at most 24) dots, the first in the highest of those bits, into row y from x on;
// none at or past `right`.
void OrDots(Bitmap& canvas, int y, int x, uint32_t bits, int count, int right) {
    right = std::min(right, canvas.Width());
    if (x < 0 || x >= right || y < 0 || y >= canvas.Height() || bits == 0) return;
    if (x + count > right) {
        const int cut = x + count - right;
        bits &= ~((1u << cut) - 1);
    }
    const std::span<uint8_t> row = canvas.Row(y);
    const int shift = x % 8;
    const uint32_t window = (bits << (32 - count)) >> shift;  // the first dot at bit 31 - shift
    const std::size_t first = static_cast<std::size_t>(x / 8);
    for (std::size_t k = 0; k < 4 && first + k < row.size(); ++k) {
        row[first + k] |= static_cast<uint8_t>(window >> (24 - 8 * k));
    }
}

}  // namespace

// GS v 0: rows drawn as they arrive, each at the print position.
void Paper::Printer::BeginRaster(std::span<const uint8_t> c) {
    FlushLine();
    const int m = Digit(c[3]);
    raster_ = Raster{};
    raster_.rowBytes = Le16(c, 4);
    raster_.rows = Le16(c, 6);
    raster_.scaleX = (m & 1) + 1;
    raster_.scaleY = (m >> 1 & 1) + 1;
    const long width = long{raster_.rowBytes} * 8 * raster_.scaleX;
    raster_.left = AlignedX(static_cast<int>(std::min<long>(width, AreaWidth())));
    raster_.right = AreaLeft() + AreaWidth();
    raster_.bytes = block_.bytes;
}

void Paper::Printer::RasterBytes(std::span<const uint8_t> bytes) {
    Raster& r = raster_;
    if (r.rowBytes == 0) return;
    for (std::size_t i = 0; i < bytes.size();) {
        if (r.column == 0) {
            r.top = Reserve(r.scaleY);  // may end the picture, and with it the image's record
            if (r.firstTop < 0) r.firstTop = r.top;
            r.bottom = r.top + r.scaleY;
        }
        // The bytes of this row in the chunk; those past the print area are only counted.
        const int visible =
            std::clamp((r.right - r.left + 8 * r.scaleX - 1) / (8 * r.scaleX), 0, r.rowBytes);
        const std::size_t take = std::min<std::size_t>(
            bytes.size() - i, static_cast<std::size_t>(r.rowBytes - r.column));
        Bitmap& canvas = Canvas();
        for (std::size_t k = 0; k < take; ++k) {
            const int column = r.column + static_cast<int>(k);
            const uint8_t b = bytes[i + k];
            if (column >= visible || b == 0) continue;
            const int x = r.left + column * 8 * r.scaleX;
            for (int dy = 0; dy < r.scaleY; ++dy) {
                if (r.scaleX == 1) {
                    OrDots(canvas, r.top + dy, x, b, 8, r.right);
                } else {
                    OrDots(canvas, r.top + dy, x, kDoubled[b], 16, r.right);
                }
            }
        }
        i += take;
        r.column += static_cast<int>(take);
        if (r.column == r.rowBytes) {
            r.column = 0;
            ++r.row;
            if (pageMode_) {
                windowUsed_ = true;
            } else {
                printed_ = true;
            }
            Advance(r.scaleY);
        }
    }
}

// ESC *: a band 24 dots high on the line, as wide as its columns (cut off at the print area).
void Paper::Printer::BeginBitImage(std::span<const uint8_t> c) {
    const int m = c[2];
    const bool tall = m == 32 || m == 33;
    bitImage_ = BitImage{};
    bitImage_.scaleX = (m & 1) ? 1 : 2;  // single density: each column twice as wide
    bitImage_.scaleY = tall ? 1 : 3;     // 8-dot modes: each dot three rows high
    bitImage_.columnBytes = tall ? 3 : 1;
    if (line_.size() >= kMaxLinePieces) PrintLine(layout_.lineSpacing);
    StartLine();
    const int width = Le16(c, 3) * bitImage_.scaleX;
    const int visible = std::clamp(AreaWidth() - x_, 0, width);
    lineImages_.emplace_back(visible, 24);
    bitImage_.image = static_cast<int>(lineImages_.size()) - 1;
    Piece piece;
    piece.x = x_;
    piece.advance = visible;
    piece.height = 24;
    piece.image = bitImage_.image;
    piece.bytes = block_.bytes;  // its data's end is set when the block ends
    line_.push_back(piece);
    x_ += visible;
}

void Paper::Printer::BitImageBytes(std::span<const uint8_t> bytes) {
    BitImage& b = bitImage_;
    if (b.image < 0) return;
    Bitmap& image = lineImages_[static_cast<std::size_t>(b.image)];
    for (const uint8_t byte : bytes) {
        const uint64_t column = b.at / static_cast<uint64_t>(b.columnBytes);
        const int part = static_cast<int>(b.at % static_cast<uint64_t>(b.columnBytes));
        ++b.at;
        const int64_t x = static_cast<int64_t>(column) * b.scaleX;
        if (byte == 0 || x >= image.Width()) continue;
        for (int bit = 0; bit < 8; ++bit) {
            if (byte & (0x80 >> bit))
                image.Fill(static_cast<int>(x), (part * 8 + bit) * b.scaleY, b.scaleX, b.scaleY);
        }
    }
}

// GS *: x × 8 by y × 8 dots, by columns; kept for GS /.
void Paper::Printer::BeginDownload(std::span<const uint8_t> c) {
    download_ = Stored{};
    download_.picture = Bitmap(std::min(c[2] * 8, width_), c[3] * 8);
    download_.columns = true;
    download_.across = c[3];
    download_.present = c[2] > 0 && c[3] > 0;
    filling_ = &download_;
}

void Paper::Printer::DownloadBytes(std::span<const uint8_t> bytes) {
    GraphicsBytes(bytes);
}

// GS ( L / GS 8 L 112 (by rows) and 113 (by columns): kept for function 50.
void Paper::Printer::BeginGraphics(std::span<const uint8_t> p) {
    graphics_ = Stored{};
    if (p[2] != 48 && p[2] != 0) {  // multi-tone graphics: not drawn
        running_ = block_.bytes;
        Noted("multi-tone graphics", "not drawn", "multi-tone graphics not drawn");
        return;
    }
    const int width = Le16(p, 6), height = Le16(p, 8);
    graphics_.columns = p[1] == 113;
    graphics_.scaleX = p[3] == 2 ? 2 : 1;
    graphics_.scaleY = p[4] == 2 ? 2 : 1;
    graphics_.across = graphics_.columns ? (height + 7) / 8 : (width + 7) / 8;
    graphics_.picture = Bitmap(std::min(width, width_), std::min(height, kMaxStoredRows));
    graphics_.present = width > 0 && height > 0;
    filling_ = &graphics_;
}

void Paper::Printer::GraphicsBytes(std::span<const uint8_t> bytes) {
    Stored* s = filling_;
    if (s == nullptr || s->across == 0) return;
    Bitmap& picture = s->picture;
    for (const uint8_t byte : bytes) {
        const uint64_t line = s->at / static_cast<uint64_t>(s->across);
        const int part = static_cast<int>(s->at % static_cast<uint64_t>(s->across));
        ++s->at;
        if (byte == 0) continue;
        if (s->columns) {  // column `line`, dots part × 8 down
            if (line >= static_cast<uint64_t>(picture.Width())) continue;
            for (int bit = 0; bit < 8; ++bit) {
                if (byte & (0x80 >> bit)) picture.SetDot(static_cast<int>(line), part * 8 + bit);
            }
        } else if (line < static_cast<uint64_t>(picture.Height())) {
            OrDots(picture, static_cast<int>(line), part * 8, byte, 8, picture.Width());
        }
    }
}

void Paper::Printer::FinishGraphics(std::span<const uint8_t> p) {
    if (p.size() < 2) return;
    const uint8_t fn = p[1];
    if (fn == 112 || fn == 113) {
        graphics_.stored = running_;
        return;
    }
    if (fn == 2 || fn == 50) {
        if (!graphics_.present) return;
        Item image = Made(ItemType::Image, "graphics");
        image.stored = graphics_.stored;
        PrintPicture(graphics_.picture, graphics_.scaleX, graphics_.scaleY, std::move(image));
        return;
    }
    if ((fn == 69 || fn == 85) && p.size() >= 6) {
        const std::string key{static_cast<char>(p[2]), static_cast<char>(p[3])};
        const char* kind = fn == 69 ? "NV graphics" : "download graphics";
        Frame(kind, std::string(kind) + " \"" + key + "\"", p[4] == 2 ? 2 : 1, p[5] == 2 ? 2 : 1);
    }
}

// An image held in the printer's memory: a grey frame of a fixed size with its name.
void Paper::Printer::Frame(const char* kind, const std::string& label, int scaleX, int scaleY) {
    FlushLine();
    Bitmap frame(kFrameWidth, kFrameHeight);
    for (int y = 0; y < kFrameHeight; y += 2) {
        for (int x = (y / 2) % 2; x < kFrameWidth; x += 2) frame.SetDot(x, y);
    }
    frame.Fill(0, 0, kFrameWidth, kRule);
    frame.Fill(0, kFrameHeight - kRule, kFrameWidth, kRule);
    frame.Fill(0, 0, kRule, kFrameHeight);
    frame.Fill(kFrameWidth - kRule, 0, kRule, kFrameHeight);
    const CellSize cell = CellOf(Face::A);
    const int textWidth = std::min(TextWidth(label, Face::A), kFrameWidth - 4 * kRule);
    const int x = (kFrameWidth - textWidth) / 2, y = (kFrameHeight - cell.height) / 2;
    frame.Clear(x - kRule, y - kRule, textWidth + 2 * kRule, cell.height + 2 * kRule);
    Bitmap text(textWidth, cell.height);
    Write(text, 0, 0, label, Face::A);
    frame.Draw(text, x, y);
    Item image = Made(ItemType::Image, kind);
    image.text = label;
    PrintPicture(frame, scaleX, scaleY, std::move(image));
}

}  // namespace sim::paper
