#include "sim/paper/paper.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <vector>

#include "sim/escpos_commands.h"
#include "sim/paper/characters.h"
#include "sim/paper/glyphs.h"
#include "sim/paper/symbols.h"

namespace sim::paper {
namespace {

using escpos::kEsc;
using escpos::kFs;
using escpos::kGs;
constexpr uint8_t kFormFeed = 0x0C;

constexpr int kLineSpacing = 30;      // ESC 2, and after ESC @
constexpr int kTabColumns = 8;        // default tab stops: every 8 font A characters
constexpr std::size_t kMaxTabs = 32;  // ESC D positions kept
constexpr int kBarcodeHeight = 162;
constexpr int kBarcodeModule = 3;
constexpr int kHriGap = 2;            // dots between the bars and their text
constexpr int kPageLength = 1662;     // page mode's area down the paper until ESC W sets one
constexpr int kMaxPageLength = 4096;  // and at most
constexpr int kMaxStoredRows = 2400;  // rows kept of stored graphics and downloaded images
constexpr int kFrameWidth = 256;      // an image in the printer's own memory, which a virtual
constexpr int kFrameHeight = 96;      // printer does not hold: a grey frame with its name
constexpr int kNoteMargin = 8;        // inside a framed note
constexpr int kRule = 2;              // frame lines
constexpr std::size_t kPrefixMax = 16;

// A parameter sent either as n or as the digit '0' + n.
int Digit(uint8_t b) {
    return b >= '0' && b <= '9' ? b - '0' : b;
}
int Le16(std::span<const uint8_t> c, std::size_t at) {
    return c[at] | c[at + 1] << 8;
}

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

bool SameRequest(const SymbolRequest& a, const SymbolRequest& b) {
    return a.kind == b.kind && a.data == b.data && a.module == b.module && a.height == b.height &&
           a.errorLevel == b.errorLevel && a.model == b.model && a.columns == b.columns &&
           a.rows == b.rows && a.rowHeight == b.rowHeight && a.variant == b.variant &&
           a.size == b.size;
}

}  // namespace

const char* ReceiptEndName(ReceiptEnd end) {
    switch (end) {
        case ReceiptEnd::FullCut:
            return "full cut";
        case ReceiptEnd::PartialCut:
            return "partial cut";
        case ReceiptEnd::StreamEnd:
            return "stream end";
        case ReceiptEnd::LengthLimit:
            return "length limit";
    }
    return "?";
}

class Paper::Printer {
  public:
    Printer(Drawing& drawing, PaperOptions options, ReceiptSink receipts, NoteSink notes)
        : drawing_(drawing),
          width_(std::clamp(options.width, 8, 4096)),
          receipts_(std::move(receipts)),
          notes_(std::move(notes)),
          glyphs_(drawing),
          roll_(width_, 0) {
        Initialise();
    }

    void Text(std::span<const uint8_t> bytes, const TextCoding& coding);
    void LineFeeds(uint64_t count);
    void Command(std::span<const uint8_t> c, uint64_t data);
    void Data(std::span<const uint8_t> chunk);
    void End();

  private:
    // --- the state ESC @ resets ---
    struct TextStyle {
        Face font = Face::A;
        int width = 1, height = 1;                // GS !, ESC !
        int chineseWidth = 1, chineseHeight = 1;  // GS !, FS !, FS W
        bool bold = false, doubleStrike = false;
        int underline = 0, chineseUnderline = 0;  // dots
        bool reverse = false, upsideDown = false, turned = false;
        int spacing = 0, chineseLeft = 0, chineseRight = 0;
    };
    struct Layout {
        int align = 0;  // 0 left, 1 centre, 2 right
        int leftMargin = 0;
        int areaWidth = 0;
        int lineSpacing = kLineSpacing;
        std::vector<int> tabs;  // dots from the print area's left edge, ascending
    };
    struct BarcodeStyle {
        int height = kBarcodeHeight;
        int module = kBarcodeModule;
        int hri = 0;  // 1 above, 2 below, 3 both
        Face hriFont = Face::A;
    };
    struct PageArea {
        int x = 0, y = 0, width = 0, height = kPageLength;
        int direction = 0;  // ESC T: 0 left to right, 1 bottom to top, 2 right to left, 3 top down
    };

    // A character or an ESC * image on the line being gathered.
    struct Piece {
        int x = 0;        // the cell's left edge from the print area's left edge
        int advance = 0;  // the cell's width with its spacing
        int height = 0;
        int glyphX = 0;                 // the glyph's offset in the cell
        const Bitmap* glyph = nullptr;  // or
        int image = -1;                 // lineImages_ index
        bool reverse = false;
        int underline = 0;
    };

    // A command whose data follows.
    enum class BlockKind { None, Raster, BitImage, Download, Paren, Graphics, Barcode };
    struct Block {
        BlockKind kind = BlockKind::None;
        uint8_t family = 0;  // GS ( k: 'k', GS ( L and GS 8 L: 'L', others 0
        uint64_t total = 0;
        uint64_t received = 0;
        std::array<uint8_t, kPrefixMax> prefix{};  // the parameters at the data's start
        std::size_t prefixSize = 0;
        bool begun = false;
    };

    void Initialise();
    void Note(const std::string& text) {
        if (notes_) notes_(text);
    }

    // Text.
    void Put(const Character& c);
    void Tab();
    void StartLine();
    void PrintLine(int feed);
    void FlushLine();
    int AreaLeft() const;
    int AreaWidth() const;
    int AlignedX(int width) const;

    // Where blocks go: the roll in standard mode, the page area in page mode.
    Bitmap& Canvas() { return pageMode_ ? window_ : roll_; }
    // Rows for a block `height` tall at the print position; returns its top.
    int Reserve(int height);
    void Advance(int dots);
    void RollAdvance(int dots);
    int RollReserve(int height);
    void PlaceBlock(const Bitmap& picture, int x);
    void PrintPicture(const Bitmap& picture, int scaleX, int scaleY);

    // The roll's pictures.
    void EndPicture(ReceiptEnd end, int height);
    void Cut(bool partial, int feed);

    // Page mode.
    void EnterPage();
    void CommitWindow();
    void NewWindow();
    void PrintPage();

    // Commands and their data.
    void Run(std::span<const uint8_t> c);
    void RunEsc(std::span<const uint8_t> c);
    void RunGs(std::span<const uint8_t> c);
    void RunFs(std::span<const uint8_t> c);
    void StartBlock(std::span<const uint8_t> c, uint64_t data);
    std::size_t PrefixNeed() const;
    void BeginBody();
    void Body(std::span<const uint8_t> bytes);
    void FinishBlock();

    void BeginRaster(std::span<const uint8_t> c);
    void RasterBytes(std::span<const uint8_t> bytes);
    void BeginBitImage(std::span<const uint8_t> c);
    void BitImageBytes(std::span<const uint8_t> bytes);
    void BeginDownload(std::span<const uint8_t> c);
    void DownloadBytes(std::span<const uint8_t> bytes);
    void BeginGraphics(std::span<const uint8_t> p);
    void GraphicsBytes(std::span<const uint8_t> bytes);
    void FinishGraphics(std::span<const uint8_t> p);
    void FinishSymbolCommand(std::span<const uint8_t> p);

    void PrintBarcode(uint8_t system, std::vector<uint8_t> data);
    void PrintSymbol(uint8_t cn);
    const Symbol& Draw(const SymbolRequest& request);
    void Refused(const std::string& what, const std::string& why);
    void Frame(const std::string& label, int scaleX, int scaleY);
    // Draws `text` (UTF-8) in printer cells from (x, y); returns its width.
    int Write(Bitmap& on, int x, int y, const std::string& text, Face face);
    int TextWidth(const std::string& text, Face face);

    Drawing& drawing_;
    const int width_;
    ReceiptSink receipts_;
    NoteSink notes_;
    GlyphCache glyphs_;
    CharacterReader reader_;
    std::vector<Character> characters_;
    SymbolStore symbols_;

    TextStyle style_;
    Layout layout_;
    BarcodeStyle barcode_;

    std::vector<Piece> line_;
    std::vector<Bitmap> lineImages_;
    int x_ = 0;
    bool lineStarted_ = false;
    bool lineUpsideDown_ = false;

    Bitmap roll_;           // the receipt being printed; rows as far as something was drawn
    int y_ = 0;             // the print position down the roll
    bool printed_ = false;  // something was printed since the last cut

    bool pageMode_ = false;
    PageArea area_;
    Bitmap page_;         // the page, as wide as the paper
    Bitmap window_;       // the page area's content in its print direction, rows as drawn
    int windowRows_ = 0;  // rows the window may have
    int pageY_ = 0;       // the print position down the window
    bool windowUsed_ = false;
    int pageBottom_ = 0;  // rows of the page in use

    Block block_;
    struct Raster {
        int rowBytes = 0, rows = 0, scaleX = 1, scaleY = 1;
        int left = 0, right = 0;
        int column = 0, row = 0, top = 0;
    } raster_;
    struct BitImage {
        int image = -1, scaleX = 1, scaleY = 1, columnBytes = 1;
        uint64_t at = 0;
    } bitImage_;
    struct Stored {
        Bitmap picture;
        int scaleX = 1, scaleY = 1;
        bool columns = false;  // data by columns (GS *, GS ( L 113) rather than rows
        int across = 0;        // bytes a row, or a column
        uint64_t at = 0;
        bool present = false;
    };
    Stored graphics_;  // GS ( L 112 / 113
    Stored download_;  // GS *
    Stored* filling_ = nullptr;
    std::vector<uint8_t> barcodeData_;
    uint8_t barcodeSystem_ = 0;  // GS k m of the counted form

    std::optional<SymbolRequest> lastRequest_;  // the last symbol drawn, kept for a reprint
    Symbol lastSymbol_;
};

// --- state ---

void Paper::Printer::Initialise() {
    style_ = TextStyle{};
    layout_ = Layout{};
    layout_.areaWidth = width_;
    for (std::size_t i = 1; i <= kMaxTabs; ++i) {
        layout_.tabs.push_back(static_cast<int>(i) * kTabColumns * CellOf(Face::A).width);
    }
    barcode_ = BarcodeStyle{};
    symbols_.Reset();
    graphics_ = Stored{};
    download_ = Stored{};
    filling_ = nullptr;
    line_.clear();
    lineImages_.clear();
    x_ = 0;
    lineStarted_ = false;
    pageMode_ = false;
    area_ = PageArea{};
    area_.width = width_;
    window_ = Bitmap();
    page_ = Bitmap();
    pageY_ = 0;
    windowUsed_ = false;
    pageBottom_ = 0;
}

int Paper::Printer::AreaLeft() const {
    return pageMode_ ? 0 : std::min(layout_.leftMargin, width_ - 1);
}

int Paper::Printer::AreaWidth() const {
    if (pageMode_) return window_.Width();
    return std::max(1, std::min(layout_.areaWidth, width_ - AreaLeft()));
}

int Paper::Printer::AlignedX(int width) const {
    const int room = std::max(0, AreaWidth() - width);
    return AreaLeft() + (layout_.align == 1 ? room / 2 : layout_.align == 2 ? room : 0);
}

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

// --- the roll and the page area ---

int Paper::Printer::RollReserve(int height) {
    // A block that would pass the length limit starts the next picture (when it is not the first
    // thing on this one; a longer one is cut off at the limit).
    if (y_ > 0 && y_ + height > Paper::kLengthLimit) {
        if (printed_) {
            Note("receipt ended after 4 m of paper without a cut; the next picture goes on");
            EndPicture(ReceiptEnd::LengthLimit, y_);
        } else {
            roll_ = Bitmap(width_, 0);
        }
        y_ = 0;
        printed_ = false;
    }
    const int bottom = std::min(y_ + height, Paper::kLengthLimit);
    if (roll_.Height() < bottom) roll_.Resize(bottom);
    return y_;
}

void Paper::Printer::RollAdvance(int dots) {
    y_ += std::max(dots, 0);
    while (y_ > Paper::kLengthLimit) {
        if (printed_) {
            Note("receipt ended after 4 m of paper without a cut; the next picture goes on");
            EndPicture(ReceiptEnd::LengthLimit, Paper::kLengthLimit);
        } else {
            roll_ = Bitmap(width_, 0);
        }
        printed_ = false;
        y_ -= Paper::kLengthLimit;
    }
}

int Paper::Printer::Reserve(int height) {
    if (!pageMode_) return RollReserve(height);
    const int bottom = std::min(pageY_ + height, windowRows_);
    if (window_.Height() < bottom) window_.Resize(bottom);
    return pageY_;
}

void Paper::Printer::Advance(int dots) {
    if (!pageMode_) return RollAdvance(dots);
    pageY_ = std::min(pageY_ + std::max(dots, 0), windowRows_);
}

void Paper::Printer::PlaceBlock(const Bitmap& picture, int x) {
    const int top = Reserve(picture.Height());
    Canvas().Draw(picture, x, top);
    if (pageMode_) {
        windowUsed_ = true;
    } else {
        printed_ = true;
    }
    Advance(picture.Height());
}

// An image at the line's start: aligned in the print area, cut off at its right edge.
void Paper::Printer::PrintPicture(const Bitmap& picture, int scaleX, int scaleY) {
    if (picture.Empty()) return;
    FlushLine();
    const int visible = std::min(picture.Width() * scaleX, AreaWidth());
    const Bitmap shown = Enlarge(Crop(picture, (visible + scaleX - 1) / scaleX), scaleX, scaleY);
    PlaceBlock(Crop(shown, visible), AlignedX(picture.Width() * scaleX));
}

void Paper::Printer::EndPicture(ReceiptEnd end, int height) {
    Bitmap picture = std::move(roll_);
    roll_ = Bitmap(width_, 0);
    const bool cut = end == ReceiptEnd::FullCut || end == ReceiptEnd::PartialCut;
    picture.Resize(height + (cut ? Paper::kCutLineRows : 0));
    if (cut) {
        // A full cut: long dashes across. A partial cut: short dashes with the middle left whole.
        const int row = height + Paper::kCutLineRows / 2 - 1;
        const bool partial = end == ReceiptEnd::PartialCut;
        const int period = partial ? 8 : 24, dash = partial ? 4 : 16;
        for (int x = 0; x < width_; x += period) {
            if (partial && std::abs(x + dash / 2 - width_ / 2) < 32) continue;
            picture.Fill(x, row, dash, 2);
        }
    }
    if (receipts_) receipts_(Receipt{std::move(picture), end});
}

void Paper::Printer::Cut(bool partial, int feed) {
    if (pageMode_) return;  // ignored in page mode
    FlushLine();
    RollAdvance(feed);
    // A receipt when something was printed since the last cut. A strip of blank paper (the line
    // feeds tools send before their cut, after a job that ended without one) makes no picture.
    if (printed_) {
        EndPicture(partial ? ReceiptEnd::PartialCut : ReceiptEnd::FullCut,
                   std::max(y_, roll_.Height()));
    } else {
        roll_ = Bitmap(width_, 0);
    }
    y_ = 0;
    printed_ = false;
}

void Paper::Printer::EnterPage() {
    if (pageMode_) return;
    FlushLine();
    pageMode_ = true;
    page_ = Bitmap(width_, 0);
    pageBottom_ = 0;
    NewWindow();
}

// The window: the page area in its print direction (turned 90° for directions 1 and 3).
void Paper::Printer::NewWindow() {
    const bool across = area_.direction % 2 == 0;
    window_ = Bitmap(across ? area_.width : area_.height, 0);
    windowRows_ = across ? area_.height : area_.width;
    pageY_ = 0;
    x_ = 0;
    windowUsed_ = false;
}

// Puts the window onto the page at its area, turned to the print direction.
void Paper::Printer::CommitWindow() {
    if (!pageMode_) return;
    FlushLine();
    if (!windowUsed_) return;
    // The rows used, as far as the print position went; the rest of the window is blank.
    Bitmap content = std::move(window_);
    const int rows = std::min(std::max(pageY_, content.Height()), windowRows_);
    content.Resize(rows);
    int x = area_.x, y = area_.y;
    if (area_.direction == 1) {  // bottom to top: the window's top row at the area's left
        content = TurnUpsideDown(TurnClockwise(content));
    } else if (area_.direction == 2) {  // the window's top row at the area's bottom
        content = TurnUpsideDown(content);
        y += windowRows_ - rows;
    } else if (area_.direction == 3) {  // top to bottom: the window's top row at the area's right
        content = TurnClockwise(content);
        x += windowRows_ - rows;
    }
    const int bottom = std::min(y + content.Height(), Paper::kLengthLimit);
    if (page_.Height() < bottom) page_.Resize(bottom);
    page_.Draw(content, x, y);
    pageBottom_ = std::max(pageBottom_, bottom);
    NewWindow();
}

void Paper::Printer::PrintPage() {
    CommitWindow();
    if (pageBottom_ > 0) {
        page_.Resize(pageBottom_);
        const bool page = pageMode_;
        pageMode_ = false;
        const int top = RollReserve(page_.Height());
        roll_.Draw(page_, 0, top);
        printed_ = true;
        RollAdvance(page_.Height());
        pageMode_ = page;
    }
    page_ = Bitmap(width_, 0);
    pageBottom_ = 0;
}

// --- commands ---

void Paper::Printer::Command(std::span<const uint8_t> c, uint64_t data) {
    if (block_.kind != BlockKind::None) FinishBlock();  // the stream skipped the rest
    // Only whole commands as the command table measures them (the decoder sends no others).
    if (!(c.size() == 1 && c[0] == kFormFeed)) {
        const escpos::Extent extent = escpos::Measure(c);
        if (extent.kind != escpos::Extent::Kind::Known || extent.header > c.size() ||
            (data > 0 && (extent.header != c.size() || extent.data != data)))
            return;
    }
    characters_.clear();
    reader_.Break(characters_);  // a character cut off by the command: a substitute
    for (const Character& ch : characters_) Put(ch);
    if (data > 0) return StartBlock(c, data);
    Run(c);
}

void Paper::Printer::Run(std::span<const uint8_t> c) {
    if (c.size() == 1 && c[0] == kFormFeed) {
        if (pageMode_) {
            PrintPage();
            pageMode_ = false;
            window_ = Bitmap();
        }
        return;
    }
    if (c.size() < 2) return;
    if (c[0] == kEsc) return RunEsc(c);
    if (c[0] == kGs) return RunGs(c);
    if (c[0] == kFs) return RunFs(c);
}

void Paper::Printer::RunEsc(std::span<const uint8_t> c) {
    TextStyle& s = style_;
    const int n = c.size() > 2 ? c[2] : 0;
    switch (c[1]) {
        case '@':
            return Initialise();
        case '!':
            s.font = (n & 0x01) ? Face::B : Face::A;
            s.bold = (n & 0x08) != 0;
            s.height = (n & 0x10) ? 2 : 1;
            s.width = (n & 0x20) ? 2 : 1;
            s.underline = (n & 0x80) ? 1 : 0;
            return;
        case 'E':
            s.bold = (n & 1) != 0;
            return;
        case 'G':
            s.doubleStrike = (n & 1) != 0;
            return;
        case '-':
            if (Digit(static_cast<uint8_t>(n)) <= 2) s.underline = Digit(static_cast<uint8_t>(n));
            return;
        case 'M':
            if (Digit(static_cast<uint8_t>(n)) <= 1 || n == 97 || n == 98)
                s.font = (Digit(static_cast<uint8_t>(n)) == 1 || n == 98) ? Face::B : Face::A;
            return;
        case ' ':
            s.spacing = n;
            return;
        case 'V':
            s.turned = Digit(static_cast<uint8_t>(n)) == 1 || Digit(static_cast<uint8_t>(n)) == 2;
            return;
        case '{':
            s.upsideDown = (n & 1) != 0;
            return;
        case 'a':
            if (!lineStarted_ && Digit(static_cast<uint8_t>(n)) <= 2)
                layout_.align = Digit(static_cast<uint8_t>(n));
            return;
        case '2':
            layout_.lineSpacing = kLineSpacing;
            return;
        case '3':
            layout_.lineSpacing = n;
            return;
        case 'd':
            return PrintLine(n * layout_.lineSpacing);
        case 'J':
            return PrintLine(n);
        case '$': {
            const int at = Le16(c, 2);
            StartLine();
            if (at <= AreaWidth()) x_ = at;
            return;
        }
        case '\\': {
            const int to = x_ + static_cast<int16_t>(Le16(c, 2));
            StartLine();
            if (to >= 0 && to <= AreaWidth()) x_ = to;
            return;
        }
        case 'D': {
            // Positions in characters of the current font and size, with their spacing.
            const int unit = (CellOf(s.font).width + s.spacing) * s.width;
            layout_.tabs.clear();
            for (std::size_t i = 2; i < c.size() && c[i] != 0 && layout_.tabs.size() < kMaxTabs;
                 ++i) {
                const int stop = c[i] * unit;
                if (!layout_.tabs.empty() && stop <= layout_.tabs.back()) break;
                layout_.tabs.push_back(stop);
            }
            return;
        }
        case 'L':
            return EnterPage();
        case 'S':
            if (pageMode_) {  // back to standard mode: the page is dropped
                line_.clear();
                lineImages_.clear();
                x_ = 0;
                lineStarted_ = false;
                pageMode_ = false;
                window_ = Bitmap();
                page_ = Bitmap();
            }
            return;
        case kFormFeed:
            if (pageMode_) PrintPage();
            return;
        case 'T':
            if (Digit(static_cast<uint8_t>(n)) <= 3) {
                CommitWindow();
                area_.direction = Digit(static_cast<uint8_t>(n));
                if (pageMode_) NewWindow();
            }
            return;
        case 'W': {
            const int x = Le16(c, 2), y = Le16(c, 4), w = Le16(c, 6), h = Le16(c, 8);
            if (w == 0 || h == 0 || x >= width_) return;
            CommitWindow();
            area_.x = x;
            area_.y = std::min(y, Paper::kLengthLimit - 1);
            area_.width = std::min(w, width_ - x);
            area_.height = std::min({h, kMaxPageLength, Paper::kLengthLimit - area_.y});
            if (pageMode_) NewWindow();
            return;
        }
        case 'i':
        case 'm':
            return Cut(true, 0);
        default:
            return;
    }
}

void Paper::Printer::RunGs(std::span<const uint8_t> c) {
    const int n = c.size() > 2 ? c[2] : 0;
    switch (c[1]) {
        case '!': {
            const int w = n >> 4, h = n & 0x0F;
            if (w > 7 || h > 7) return;
            style_.width = style_.chineseWidth = w + 1;
            style_.height = style_.chineseHeight = h + 1;
            return;
        }
        case 'B':
            style_.reverse = (n & 1) != 0;
            return;
        case 'L':
            if (!lineStarted_) layout_.leftMargin = Le16(c, 2);
            return;
        case 'W':
            if (!lineStarted_ && Le16(c, 2) > 0) layout_.areaWidth = Le16(c, 2);
            return;
        case '$':
            if (pageMode_) {
                FlushLine();
                pageY_ = std::min(Le16(c, 2), windowRows_);
            }
            return;
        case '\\':
            if (pageMode_) {
                FlushLine();
                pageY_ = std::clamp(pageY_ + static_cast<int16_t>(Le16(c, 2)), 0, windowRows_);
            }
            return;
        case 'H':
            if (Digit(static_cast<uint8_t>(n)) <= 3) barcode_.hri = Digit(static_cast<uint8_t>(n));
            return;
        case 'f':
            if (Digit(static_cast<uint8_t>(n)) <= 1)
                barcode_.hriFont = Digit(static_cast<uint8_t>(n)) == 1 ? Face::B : Face::A;
            return;
        case 'h':
            if (n >= 1) barcode_.height = n;
            return;
        case 'w':
            if (n >= 1 && n <= 6) barcode_.module = n;
            return;
        case 'k': {  // the NUL-ended form: the data is in the command
            std::vector<uint8_t> digits(c.begin() + 3, c.end());
            if (!digits.empty() && digits.back() == 0) digits.pop_back();
            return PrintBarcode(static_cast<uint8_t>(n), std::move(digits));
        }
        case '/':
            if (download_.present)
                PrintPicture(download_.picture, (Digit(static_cast<uint8_t>(n)) & 1) + 1,
                             (Digit(static_cast<uint8_t>(n)) >> 1 & 1) + 1);
            return;
        case 'V': {
            const int m = c[2];
            const bool partial = m == 1 || m == '1' || m == 66 || m == 98 || m == 104;
            const int feed =
                (m == 65 || m == 66 || m == 97 || m == 98 || m == 103 || m == 104) && c.size() > 3
                    ? c[3]
                    : 0;
            return Cut(partial, feed);
        }
        default:
            return;
    }
}

void Paper::Printer::RunFs(std::span<const uint8_t> c) {
    const int n = c.size() > 2 ? c[2] : 0;
    TextStyle& s = style_;
    switch (c[1]) {
        case '!':
            s.chineseWidth = (n & 0x04) ? 2 : 1;
            s.chineseHeight = (n & 0x08) ? 2 : 1;
            s.chineseUnderline = (n & 0x80) ? 1 : 0;
            return;
        case 'W':
            s.chineseWidth = s.chineseHeight = (n & 1) ? 2 : 1;
            return;
        case '-':
            if (Digit(static_cast<uint8_t>(n)) <= 2)
                s.chineseUnderline = Digit(static_cast<uint8_t>(n));
            return;
        case 'S':
            s.chineseLeft = n;
            s.chineseRight = c.size() > 3 ? c[3] : 0;
            return;
        case 'p': {
            const int m = c.size() > 3 ? Digit(c[3]) : 0;
            return Frame("NV image " + std::to_string(n), (m & 1) + 1, (m >> 1 & 1) + 1);
        }
        default:
            return;
    }
}

// --- data blocks ---

void Paper::Printer::StartBlock(std::span<const uint8_t> c, uint64_t data) {
    block_ = Block{};
    block_.total = data;
    if (c[0] == kGs && c[1] == 'v') {
        block_.kind = BlockKind::Raster;
    } else if (c[0] == kEsc && c[1] == '*') {
        block_.kind = BlockKind::BitImage;
    } else if (c[0] == kGs && c[1] == '*') {
        block_.kind = BlockKind::Download;
    } else if (c[0] == kGs && c[1] == 'k') {
        block_.kind = BlockKind::Barcode;
    } else if (c[0] == kGs && c[1] == '(' && c.size() > 2 && (c[2] == 'k' || c[2] == 'L')) {
        block_.kind = BlockKind::Paren;
        block_.family = c[2];
    } else if (c[0] == kGs && c[1] == '8') {
        block_.kind = BlockKind::Graphics;
        block_.family = 'L';
    } else {
        block_.kind = BlockKind::Paren;  // FS ( and ESC (: nothing printed
    }
    switch (block_.kind) {
        case BlockKind::Raster:
            BeginRaster(c);
            break;
        case BlockKind::BitImage:
            BeginBitImage(c);
            break;
        case BlockKind::Download:
            BeginDownload(c);
            break;
        case BlockKind::Barcode:
            barcodeSystem_ = c[2];
            barcodeData_.clear();
            break;
        default:
            break;
    }
}

// Parameter bytes to gather from the data's start before its body.
std::size_t Paper::Printer::PrefixNeed() const {
    if (block_.family == 'k') {
        if (block_.prefixSize < 2) return 2;
        const uint8_t cn = block_.prefix[0], fn = block_.prefix[1];
        if (fn != 80) return kPrefixMax;
        return cn == 51 ? 4 : cn == 52 ? 5 : 3;  // cn fn m, and the type bytes
    }
    if (block_.family == 'L') {
        if (block_.prefixSize < 2) return 2;
        const uint8_t fn = block_.prefix[1];
        if (fn == 112 || fn == 113) return 10;  // m fn a bx by c xL xH yL yH
        if (fn == 69 || fn == 85) return 6;     // m fn kc1 kc2 x y
        if (fn == 67 || fn == 83) return 2;     // stored in NV or download memory: not kept
        return kPrefixMax;
    }
    return 0;
}

void Paper::Printer::Data(std::span<const uint8_t> chunk) {
    while (!chunk.empty() && block_.kind != BlockKind::None && block_.received < block_.total) {
        const uint64_t left = block_.total - block_.received;
        if (!block_.begun) {
            const std::size_t need = PrefixNeed();
            if (block_.prefixSize < need) {
                const std::size_t n = static_cast<std::size_t>(
                    std::min<uint64_t>({chunk.size(), left, need - block_.prefixSize}));
                std::copy_n(chunk.begin(), n,
                            block_.prefix.begin() + static_cast<std::ptrdiff_t>(block_.prefixSize));
                block_.prefixSize += n;
                block_.received += n;
                chunk = chunk.subspan(n);
                continue;
            }
            block_.begun = true;
            BeginBody();
            continue;
        }
        const std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(chunk.size(), left));
        Body(chunk.first(n));
        block_.received += n;
        chunk = chunk.subspan(n);
    }
    if (block_.kind != BlockKind::None && block_.received == block_.total) FinishBlock();
}

void Paper::Printer::BeginBody() {
    const std::span<const uint8_t> p(block_.prefix.data(), block_.prefixSize);
    if (block_.family == 'k' && p.size() >= 3 && p[1] == 80) symbols_.BeginStore(p);
    if (block_.family == 'L' && p.size() == 10 && (p[1] == 112 || p[1] == 113)) BeginGraphics(p);
}

void Paper::Printer::Body(std::span<const uint8_t> bytes) {
    switch (block_.kind) {
        case BlockKind::Raster:
            return RasterBytes(bytes);
        case BlockKind::BitImage:
            return BitImageBytes(bytes);
        case BlockKind::Download:
            return DownloadBytes(bytes);
        case BlockKind::Barcode: {
            const std::size_t room = 255 - std::min<std::size_t>(barcodeData_.size(), 255);
            barcodeData_.insert(
                barcodeData_.end(), bytes.begin(),
                bytes.begin() + static_cast<std::ptrdiff_t>(std::min(room, bytes.size())));
            return;
        }
        case BlockKind::Paren:
        case BlockKind::Graphics:
            if (block_.family == 'k' && block_.prefixSize >= 2 && block_.prefix[1] == 80)
                symbols_.More(bytes);
            if (block_.family == 'L') GraphicsBytes(bytes);
            return;
        case BlockKind::None:
            return;
    }
}

void Paper::Printer::FinishBlock() {
    if (!block_.begun) {
        block_.begun = true;
        BeginBody();
    }
    const Block block = block_;
    block_ = Block{};
    const std::span<const uint8_t> p(block.prefix.data(), block.prefixSize);
    switch (block.kind) {
        case BlockKind::Raster:
            if (raster_.column > 0) Advance(raster_.scaleY);  // a last row cut short
            raster_ = Raster{};
            break;
        case BlockKind::Barcode:
            PrintBarcode(barcodeSystem_, std::move(barcodeData_));
            barcodeData_.clear();
            break;
        case BlockKind::Paren:
        case BlockKind::Graphics:
            if (block.family == 'k') FinishSymbolCommand(p);
            if (block.family == 'L') FinishGraphics(p);
            break;
        default:
            break;
    }
    filling_ = nullptr;
}

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
}

void Paper::Printer::RasterBytes(std::span<const uint8_t> bytes) {
    Raster& r = raster_;
    if (r.rowBytes == 0) return;
    for (std::size_t i = 0; i < bytes.size();) {
        if (r.column == 0) r.top = Reserve(r.scaleY);
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
        Note("multi-tone graphics not drawn");
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
    if (fn == 2 || fn == 50) {
        if (graphics_.present) PrintPicture(graphics_.picture, graphics_.scaleX, graphics_.scaleY);
        return;
    }
    if ((fn == 69 || fn == 85) && p.size() >= 6) {
        const std::string key{static_cast<char>(p[2]), static_cast<char>(p[3])};
        Frame(std::string(fn == 69 ? "NV graphics" : "download graphics") + " \"" + key + "\"",
              p[4] == 2 ? 2 : 1, p[5] == 2 ? 2 : 1);
    }
}

void Paper::Printer::FinishSymbolCommand(std::span<const uint8_t> p) {
    if (p.size() < 3) return;
    if (p[1] == 81) return PrintSymbol(p[0]);
    if (p[1] != 80) symbols_.Set(p);
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
    PlaceBlock(block, AlignedX(bars.Width()) - barsX);
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
    PlaceBlock(symbol.picture, AlignedX(symbol.picture.Width()));
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
    PlaceBlock(box, AreaLeft());
}

// An image held in the printer's memory: a grey frame of a fixed size with its name.
void Paper::Printer::Frame(const std::string& label, int scaleX, int scaleY) {
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
    PrintPicture(frame, scaleX, scaleY);
}

void Paper::Printer::End() {
    if (block_.kind != BlockKind::None) FinishBlock();
    characters_.clear();
    reader_.Break(characters_);
    for (const Character& c : characters_) Put(c);
    if (pageMode_) {
        PrintPage();
        pageMode_ = false;
    }
    FlushLine();
    if (printed_) EndPicture(ReceiptEnd::StreamEnd, std::max(y_, roll_.Height()));
    roll_ = Bitmap(width_, 0);
    y_ = 0;
    printed_ = false;
    lastRequest_.reset();
    lastSymbol_ = Symbol{};
    Initialise();
}

// --- Paper ---

Paper::Paper(Drawing& drawing, PaperOptions options, ReceiptSink receipts, NoteSink notes)
    : printer_(std::make_unique<Printer>(drawing, options, std::move(receipts), std::move(notes))) {
}

Paper::~Paper() = default;

void Paper::End() {
    printer_->End();
}
void Paper::Text(std::span<const uint8_t> bytes, const TextCoding& coding) {
    printer_->Text(bytes, coding);
}
void Paper::LineFeeds(uint64_t count) {
    printer_->LineFeeds(count);
}
void Paper::Command(std::span<const uint8_t> header, uint64_t data) {
    printer_->Command(header, data);
}
void Paper::Data(std::span<const uint8_t> chunk) {
    printer_->Data(chunk);
}

}  // namespace sim::paper
