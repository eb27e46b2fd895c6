// The paper's text: characters gathered on a line, tabs, wrapping, and the line printed.
#include "sim/paper/paper_printer.h"

namespace sim::paper {

// --- text ---

void Paper::Printer::Text(std::span<const uint8_t> bytes, const TextCoding& coding) {
    characters_.clear();
    reader_.Read(bytes, coding, characters_);
    for (const Character& c : characters_) Put(c);
}

void Paper::Printer::LineFeeds(uint64_t count) {
    if (count == 0) return;
    PrintLine(layout_.lineSpacing);
    // The rest only move the paper: in steps that stay far from overflowing.
    for (uint64_t left = count - 1; left > 0;) {
        const uint64_t n = std::min<uint64_t>(left, 65536);
        Advance(static_cast<int>(n) * layout_.lineSpacing);
        left -= n;
    }
}

void Paper::Printer::StartLine() {
    if (lineStarted_) return;
    lineStarted_ = true;
    lineUpsideDown_ = style_.upsideDown;
}

void Paper::Printer::Put(const Character& c) {
    switch (c.code) {
        case '\n':
            return PrintLine(layout_.lineSpacing);
        case '\r':
            return;  // no automatic line feed
        case '\t':
            return Tab();
        default:
            break;
    }
    StartLine();
    const TextStyle& s = style_;
    const Face face = c.wide ? Face::Chinese : s.font;
    const int sx = c.wide ? s.chineseWidth : s.width;
    const int sy = c.wide ? s.chineseHeight : s.height;
    const CellSize cell = CellOf(face);
    const int left = (c.wide ? s.chineseLeft : 0) * sx;
    const int right = (c.wide ? s.chineseRight : s.spacing) * sx;
    const int advance = left + (s.turned ? cell.height * sy : cell.width * sx) + right;
    if (x_ > 0 && x_ + advance > AreaWidth()) {
        PrintLine(layout_.lineSpacing);  // wrap at the end of the print area
        StartLine();
    }
    // After the wrap: printing a line may drop the glyph variants.
    const GlyphStyle glyphStyle{face, sx, sy, s.bold || s.doubleStrike, s.turned, lineUpsideDown_};
    const Bitmap& glyph = glyphs_.Get(c.code, glyphStyle);
    Piece piece;
    piece.x = x_;
    piece.advance = advance;
    piece.height = glyph.Height();
    piece.glyphX = left;
    piece.glyph = &glyph;
    piece.reverse = s.reverse;
    // Reverse printing hides the underline; turned characters have none.
    piece.underline = s.reverse || s.turned ? 0 : c.wide ? s.chineseUnderline : s.underline;
    line_.push_back(piece);
    x_ += advance;
}

void Paper::Printer::Tab() {
    StartLine();
    for (const int stop : layout_.tabs) {
        if (stop <= x_) continue;
        x_ = std::min(stop, AreaWidth());  // past the area: the next character wraps
        return;
    }
}

void Paper::Printer::FlushLine() {
    if (!line_.empty()) PrintLine(layout_.lineSpacing);
    lineStarted_ = false;
    x_ = 0;
}

// Prints the gathered line (aligned, each element on the line's bottom; an upside-down line turned
// as a whole within the print area) and feeds `feed` dots, or the line's height when more.
void Paper::Printer::PrintLine(int feed) {
    int height = 0, extent = 0;
    for (const Piece& p : line_) {
        height = std::max(height, p.height);
        extent = std::max(extent, p.x + p.advance);
    }
    if (!line_.empty()) {
        const int left = AreaLeft(), width = AreaWidth();
        const int shift = AlignedX(extent) - left;
        const int top = Reserve(height);
        Bitmap& canvas = Canvas();
        const bool turn = lineUpsideDown_;
        // A rectangle's top-left corner, turned with the line when it is upside down.
        const auto place = [&](int x, int y, int w, int h) {
            return turn ? std::pair{2 * left + width - x - w, 2 * top + height - y - h}
                        : std::pair{x, y};
        };
        for (const Piece& p : line_) {
            const int cellX = left + shift + p.x, cellY = top + height - p.height;
            Bitmap turned;
            const Bitmap* picture = p.glyph;
            if (p.image >= 0) {
                picture = &lineImages_[static_cast<std::size_t>(p.image)];
                if (turn) {
                    turned = TurnUpsideDown(*picture);
                    picture = &turned;
                }
            }
            const auto [gx, gy] =
                place(cellX + p.glyphX, cellY, picture->Width(), picture->Height());
            if (p.reverse) {
                const auto [rx, ry] = place(cellX, cellY, p.advance, p.height);
                canvas.Fill(rx, ry, p.advance, p.height);
                canvas.Erase(*picture, gx, gy);
                continue;
            }
            canvas.Draw(*picture, gx, gy);
            if (p.underline > 0) {
                const auto [ux, uy] =
                    place(cellX, cellY + p.height - p.underline, p.advance, p.underline);
                canvas.Fill(ux, uy, p.advance, p.underline);
            }
        }
        if (pageMode_) {
            windowUsed_ = true;
        } else {
            printed_ = true;
        }
    }
    line_.clear();
    lineImages_.clear();
    x_ = 0;
    lineStarted_ = false;
    Advance(std::max(feed, height));
    glyphs_.Trim();
}

}  // namespace sim::paper
