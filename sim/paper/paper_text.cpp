// The paper's text: characters gathered on a line, tabs, wrapping, and the line printed.
#include "sim/paper/paper_printer.h"

namespace sim::paper {
namespace {

const char* FaceName(Face face) {
    switch (face) {
        case Face::A:
            return "A";
        case Face::B:
            return "B";
        case Face::Chinese:
            return "Chinese";
    }
    return "?";
}

}  // namespace

// --- text ---

void Paper::Printer::Text(std::span<const uint8_t> bytes, const TextCoding& coding, uint64_t at) {
    characters_.clear();
    reader_.Read(bytes, coding, characters_, at);
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
    if ((x_ > 0 && x_ + advance > AreaWidth()) || line_.size() >= kMaxLinePieces) {
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
    piece.code = c.code;
    piece.face = face;
    piece.look = {static_cast<uint8_t>(sx),
                  static_cast<uint8_t>(sy),
                  static_cast<uint8_t>(piece.underline),
                  s.bold || s.doubleStrike,
                  s.reverse,
                  lineUpsideDown_,
                  s.turned};
    piece.bytes = {c.from, c.to};
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
        std::vector<Box> cells;  // each piece's cell as placed, for the record
        cells.reserve(line_.size());
        for (const Piece& p : line_) {
            const int cellX = left + shift + p.x, cellY = top + height - p.height;
            const auto [cx, cy] = place(cellX, cellY, p.advance, p.height);
            cells.push_back({cx, cy, p.advance, p.height});
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
        RecordLine(cells);
    }
    line_.clear();
    lineImages_.clear();
    x_ = 0;
    lineStarted_ = false;
    Advance(std::max(feed, height));
    glyphs_.Trim();
}

// The line's items in the order they came: text runs (characters side by side in one face and
// look) and images; then its text, the runs left to right in the line's own order (an upside-down
// line reads as it was sent), a gap between runs as spaces, trailing spaces left out.
void Paper::Printer::RecordLine(const std::vector<Box>& cells) {
    struct Run {
        Item item;
        Face face = Face::A;
        int start = 0, end = 0;  // along the line
    };
    std::vector<Run> runs;
    for (std::size_t i = 0; i < line_.size(); ++i) {
        const Piece& p = line_[i];
        if (p.image >= 0) {
            Item image = Made(ItemType::Image, "bit image");
            image.box = cells[i];
            image.bytes = p.bytes;
            runs.push_back({std::move(image), Face::A, p.x, p.x});
            continue;
        }
        Run* last = runs.empty() ? nullptr : &runs.back();
        if (last == nullptr || last->item.type != ItemType::Text || last->end != p.x ||
            last->face != p.face || !(last->item.look == p.look)) {
            Item run = Made(ItemType::Text, FaceName(p.face));
            run.look = p.look;
            run.box = cells[i];
            run.bytes = p.bytes;
            runs.push_back({std::move(run), p.face, p.x, p.x});
            last = &runs.back();
        }
        if (last->item.text.size() < ReceiptRecord::kMaxText) AppendUtf8(last->item.text, p.code);
        last->item.box = Union(*last->item.box, cells[i]);
        last->item.bytes.to = p.bytes.to;
        last->end = p.x + p.advance;
    }
    std::vector<const Run*> order;
    for (const Run& r : runs) {
        if (r.item.type == ItemType::Text) order.push_back(&r);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const Run* a, const Run* b) { return a->start < b->start; });
    std::string text;
    int end = 0;
    for (const Run* r : order) {
        if (text.size() >= ReceiptRecord::kMaxText) break;
        if (!text.empty() && r->start > end) {
            const int spaces = std::max(1, (r->start - end + kSpaceDots / 2) / kSpaceDots);
            text.append(static_cast<std::size_t>(spaces), ' ');
        }
        text += r->item.text;
        end = std::max(end, r->end);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    ReceiptRecord& record = Record();
    for (Run& r : runs) record.Add(std::move(r.item));
    if (!text.empty()) record.AddLine(std::move(text));
}

}  // namespace sim::paper
