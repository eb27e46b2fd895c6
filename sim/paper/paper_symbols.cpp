// The paper's barcodes and 2D symbols, drawn once and kept for a reprint, their text, and the
// framed note for what cannot be drawn.
#include "sim/paper/paper_printer.h"

namespace sim::paper {

namespace {

bool SameRequest(const SymbolRequest& a, const SymbolRequest& b) {
    return a.kind == b.kind && a.data == b.data && a.module == b.module && a.height == b.height &&
           a.errorLevel == b.errorLevel && a.model == b.model && a.columns == b.columns &&
           a.rows == b.rows && a.rowHeight == b.rowHeight && a.variant == b.variant &&
           a.size == b.size;
}

}  // namespace

void Paper::Printer::FinishSymbolCommand(std::span<const uint8_t> p) {
    if (p.size() < 3) return;
    if (p[1] == 81) return PrintSymbol(p[0]);
    if (p[1] != 80) return symbols_.Set(p);
    if (!SymbolStore::Known(p[0])) return;
    // The data's store command, for the record; a composite symbol's two parts come apart.
    std::optional<ByteRange>& stored = symbolStored_[p[0] - 48];
    stored = running_;
    if (p[0] == 52 && p.size() > 3 && (p[3] == 48 || p[3] == 49)) {
        compositeParts_[p[3] - 48] = running_;
        for (const std::optional<ByteRange>& part : compositeParts_) {
            if (part)
                stored =
                    ByteRange{std::min(stored->from, part->from), std::max(stored->to, part->to)};
        }
    }
}

// --- symbols and notes ---

const Symbol& Paper::Printer::Draw(const SymbolRequest& request) {
    if (!lastRequest_ || !SameRequest(*lastRequest_, request)) {
        lastSymbol_ = drawing_.DrawSymbol(request);
        lastRequest_ = request;
    }
    return lastSymbol_;
}

void Paper::Printer::PrintBarcode(uint8_t system, std::vector<uint8_t> data) {
    const std::optional<SymbolKind> kind = BarcodeKind(system);
    if (!kind) return;
    FlushLine();
    SymbolRequest request;
    request.kind = *kind;
    request.data = std::move(data);
    request.module = barcode_.module;
    request.height = barcode_.height;
    Item item = Made(ItemType::Barcode, escpos::BarcodeName(system));
    item.data = request.data;
    const Symbol& symbol = Draw(request);
    const std::string name = std::string("barcode ") + escpos::BarcodeName(system);
    if (!symbol.error.empty() || symbol.picture.Empty())
        return Refused(name, symbol.error.empty() ? "nothing to draw" : symbol.error);
    const Bitmap& bars = symbol.picture;
    if (bars.Width() > AreaWidth()) {
        return Refused(name, std::to_string(bars.Width()) + " dots wide, the print area " +
                                 std::to_string(AreaWidth()));
    }
    const bool above = (barcode_.hri & 1) && !symbol.text.empty();
    const bool below = (barcode_.hri & 2) && !symbol.text.empty();
    const int textHeight = CellOf(barcode_.hriFont).height + kHriGap;
    const int height = bars.Height() + (above ? textHeight : 0) + (below ? textHeight : 0);
    const int width = std::max(bars.Width(), TextWidth(symbol.text, barcode_.hriFont));
    // The bars and their text in one block, the text centred on the bars.
    Bitmap block(std::min(width, AreaWidth()), height);
    const int barsX = (block.Width() - bars.Width()) / 2;
    const int textX = barsX + (bars.Width() - TextWidth(symbol.text, barcode_.hriFont)) / 2;
    int y = 0;
    if (above) {
        Write(block, textX, 0, symbol.text, barcode_.hriFont);
        y += textHeight;
    }
    block.Draw(bars, barsX, y);
    if (below) Write(block, textX, y + bars.Height() + kHriGap, symbol.text, barcode_.hriFont);
    // Its text is a line of its own, above and below as printed.
    item.text = symbol.text;
    item.textPosition = static_cast<uint8_t>((above ? 1 : 0) | (below ? 2 : 0));
    std::vector<std::string> lines;
    if (above) lines.push_back(symbol.text);
    if (below) lines.push_back(symbol.text);
    PlaceBlock(block, AlignedX(bars.Width()) - barsX, std::move(item), std::move(lines));
}

void Paper::Printer::PrintSymbol(uint8_t cn) {
    FlushLine();
    std::string why;
    std::optional<SymbolRequest> request = symbols_.Request(cn, &why);
    const std::string name = escpos::SymbolName(cn);
    if (!request) return Refused(name, why);
    if (request->kind == SymbolKind::Composite || request->kind == SymbolKind::DataBar2D)
        request->height = barcode_.height;
    const Symbol& symbol = Draw(*request);
    if (!symbol.error.empty() || symbol.picture.Empty())
        return Refused(name, symbol.error.empty() ? "nothing to draw" : symbol.error);
    if (symbol.picture.Width() > AreaWidth()) {
        return Refused(name, std::to_string(symbol.picture.Width()) +
                                 " dots wide, the print area " + std::to_string(AreaWidth()));
    }
    Item item = Made(ItemType::Symbol, name);
    item.data = request->data;
    item.stored = symbolStored_[cn - 48];
    PlaceBlock(symbol.picture, AlignedX(symbol.picture.Width()), std::move(item));
}

int Paper::Printer::TextWidth(const std::string& text, Face face) {
    std::vector<Character> characters;
    CharacterReader reader;
    reader.Read(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                TextCoding{false, 0, true}, characters);
    reader.Break(characters);
    int width = 0;
    for (const Character& c : characters)
        width += c.wide ? CellOf(Face::Chinese).width : CellOf(face).width;
    return width;
}

int Paper::Printer::Write(Bitmap& on, int x, int y, const std::string& text, Face face) {
    std::vector<Character> characters;
    CharacterReader reader;
    reader.Read(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()),
                TextCoding{false, 0, true}, characters);
    reader.Break(characters);
    const int start = x;
    for (const Character& c : characters) {
        const Bitmap& glyph = drawing_.Glyph(c.code, c.wide ? Face::Chinese : face);
        on.Draw(glyph, x, y + CellOf(face).height - glyph.Height());
        x += glyph.Width();
    }
    return x - start;
}

// What cannot be printed as asked shows as its reason in a framed box across the print area.
void Paper::Printer::Refused(const std::string& what, const std::string& why) {
    const std::string text = what + " not drawn: " + why;
    Note(text);
    FlushLine();
    const int width = AreaWidth();
    const CellSize cell = CellOf(Face::A);
    const int perLine = std::max(1, (width - 2 * kNoteMargin) / cell.width);
    // Lines of at most perLine characters, split between characters.
    std::vector<std::string> lines(1);
    int count = 0;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = 1;
        const auto b = static_cast<uint8_t>(text[i]);
        if (b >= 0xC0) n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
        n = std::min(n, text.size() - i);
        if (count == perLine) {
            lines.emplace_back();
            count = 0;
        }
        lines.back() += text.substr(i, n);
        ++count;
        i += n;
    }
    Bitmap box(width, static_cast<int>(lines.size()) * cell.height + 2 * kNoteMargin);
    box.Fill(0, 0, width, kRule);
    box.Fill(0, box.Height() - kRule, width, kRule);
    box.Fill(0, 0, kRule, box.Height());
    box.Fill(width - kRule, 0, kRule, box.Height());
    for (std::size_t i = 0; i < lines.size(); ++i)
        Write(box, kNoteMargin, kNoteMargin + static_cast<int>(i) * cell.height, lines[i], Face::A);
    Item note = Made(ItemType::Note, what);
    note.text = why;
    PlaceBlock(box, AreaLeft(), std::move(note));
}

}  // namespace sim::paper
