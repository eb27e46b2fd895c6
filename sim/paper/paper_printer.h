#pragma once
// The paper's printer state, shared by its parts: text and lines (paper_text.cpp), the roll and
// page mode (paper_roll.cpp), images (paper_images.cpp), barcodes, symbols and notes
// (paper_symbols.cpp), and the commands that drive them (paper_commands.cpp). Private to the paper.

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/escpos_commands.h"
#include "sim/paper/characters.h"
#include "sim/paper/glyphs.h"
#include "sim/paper/paper.h"
#include "sim/paper/symbols.h"

namespace sim::paper {

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
// Characters and line images a line holds at most: more (overprinted with ESC $ or ESC \\) print
// the line and go on on the next, as a wrap does.
constexpr std::size_t kMaxLinePieces = 1024;
// Dots of a gap between text runs that make one space in a line's text (a font A character).
constexpr int kSpaceDots = 12;

// A parameter sent either as n or as the digit '0' + n.
inline int Digit(uint8_t b) {
    return b >= '0' && b <= '9' ? b - '0' : b;
}
inline int Le16(std::span<const uint8_t> c, std::size_t at) {
    return c[at] | c[at + 1] << 8;
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

    void Text(std::span<const uint8_t> bytes, const TextCoding& coding, uint64_t at);
    void LineFeeds(uint64_t count);
    void Command(std::span<const uint8_t> c, uint64_t data, uint64_t at);
    void Data(std::span<const uint8_t> chunk, uint64_t at);
    void End();
    Bitmap SoFar() const;

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
        // For the record: the character (0 for an image), its face and look, its bytes.
        char32_t code = 0;
        Face face = Face::A;
        TextLook look;
        ByteRange bytes;
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
        ByteRange bytes;  // the command and its data so far
    };

    void Initialise();
    void Note(const std::string& text) {
        if (notes_) notes_(text);
    }

    // The record: an item of the command being run, with its bytes.
    Item Made(ItemType type, std::string name) const;
    // Where the items placed now go: the receipt's record, or the page area's in page mode.
    ReceiptRecord& Record() { return pageMode_ ? windowRecord_ : record_; }
    // The record of a printed line: its text runs and images, and its text.
    void RecordLine(const std::vector<Box>& cells);
    // Keeps a note that drew nothing (it is logged too).
    void Noted(const std::string& what, const std::string& why, const std::string& text);
    // A raster image in progress is recorded as far as it came on this picture.
    void RecordRaster();

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
    // Draws a block at the print position and records `item` (its box set here).
    void PlaceBlock(const Bitmap& picture, int x, Item&& item, std::vector<std::string> lines = {});
    void PrintPicture(const Bitmap& picture, int scaleX, int scaleY, Item&& item);

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
    void StartBlock(std::span<const uint8_t> c, uint64_t data, uint64_t at);
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
    // `kind`: the image's kind in the record, `label` what the frame shows.
    void Frame(const char* kind, const std::string& label, int scaleX, int scaleY);
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
        int firstTop = -1, bottom = 0;  // rows drawn on this picture, for the record
        ByteRange bytes;                // where its command starts
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
        std::optional<ByteRange> stored;  // the command that stored it
    };
    Stored graphics_;  // GS ( L 112 / 113
    Stored download_;  // GS *
    Stored* filling_ = nullptr;
    std::vector<uint8_t> barcodeData_;
    uint8_t barcodeSystem_ = 0;  // GS k m of the counted form

    std::optional<SymbolRequest> lastRequest_;  // the last symbol drawn, kept for a reprint
    Symbol lastSymbol_;

    // The record of what is drawn (receipt_record.h).
    ReceiptRecord record_;        // the picture being printed
    ReceiptRecord windowRecord_;  // page mode: the page area's, in the window's dots
    ReceiptRecord pageRecord_;    // and the page's, printed with it
    ByteRange running_;           // the command being run: its bytes
    // The store command of each GS ( k symbol's data; a composite's two parts apart.
    std::array<std::optional<ByteRange>, 7> symbolStored_;
    std::array<std::optional<ByteRange>, 2> compositeParts_;
};

}  // namespace sim::paper
