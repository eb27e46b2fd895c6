#pragma once
// What the paper drew on one receipt, in print order: the paper's own record, written beside the
// picture as its data file. Each item says where it is on the picture (in dots) and which bytes of
// the stream drew it; `lines` holds the text of each printed line, left to right. Bounded: at most
// kMaxItems items and lines, each text at most kMaxText bytes; what is left out is counted.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim::paper {

enum class ReceiptEnd : uint8_t {
    FullCut,
    PartialCut,
    StreamEnd,    // the stream ended with paper printed since the last cut
    LengthLimit,  // the paper's length limit without a cut: the next picture goes on from here
};
// "full cut", "partial cut", "stream end", "length limit".
const char* ReceiptEndName(ReceiptEnd end);

struct Box {
    int x = 0;  // from the picture's top left corner
    int y = 0;
    int width = 0;
    int height = 0;

    bool operator==(const Box&) const = default;
};

// The smallest box holding both (either may be empty: 0 wide or high).
Box Union(const Box& a, const Box& b);

// A stretch of the stream: [from, to).
struct ByteRange {
    uint64_t from = 0;
    uint64_t to = 0;

    bool operator==(const ByteRange&) const = default;
};

enum class ItemType : uint8_t {
    Text,     // a run of characters in one style, side by side on one line
    Barcode,  // GS k
    Symbol,   // a 2D symbol (GS ( k)
    Image,    // raster, bit image, stored graphics, downloaded image, a frame for a stored one
    Note,     // something not drawn as asked, and why
};
// "text", "barcode", "symbol", "image", "note".
const char* ItemTypeName(ItemType type);

// How a text run looks.
struct TextLook {
    uint8_t width = 1;  // character size, 1-8 each way
    uint8_t height = 1;
    uint8_t underline = 0;  // dots: 0, 1 or 2
    bool bold = false;      // emphasised or double-strike (drawn alike)
    bool reverse = false;   // white on black
    bool upsideDown = false;
    bool rotated = false;  // 90° clockwise

    bool operator==(const TextLook&) const = default;
};

struct Item {
    ItemType type = ItemType::Text;
    // Text: the face ("A", "B", "Chinese"); barcode and symbol: the kind ("EAN-13", "QR code");
    // image: its kind ("raster", "bit image", ...); note: what was not drawn.
    std::string name;
    // Text: its characters (UTF-8); barcode: its human-readable text; image: a frame's label;
    // note: why.
    std::string text;
    std::vector<uint8_t> data;  // barcode and symbol: the data as the printer received it
    std::optional<Box> box;     // where on the picture; none for a note with nothing drawn
    ByteRange bytes;            // the bytes that drew it
    // Symbols and stored images: the command(s) that stored what was printed.
    std::optional<ByteRange> stored;
    TextLook look;             // text
    uint8_t textPosition = 0;  // barcode: its text 0 not printed, 1 above, 2 below, 3 both

    bool operator==(const Item&) const = default;
};

// One decoded event of the receipt's stretch of the stream, as the log tells it.
struct StreamEvent {
    ByteRange bytes;            // its bytes in the stream
    std::string kind;           // "text", "esc/pos", ... (the log's kind words)
    std::string text;           // the log's words for it ("esc/pos cut: feed 0 dots, partial")
    std::vector<uint8_t> head;  // its first bytes, at most kEventBytes

    bool operator==(const StreamEvent&) const = default;
};

struct ReceiptRecord {
    static constexpr std::size_t kMaxItems = 10000;  // items, lines and events a receipt keeps
    static constexpr std::size_t kMaxText = 1024;    // bytes of an item's text or a line
    static constexpr std::size_t kEventBytes = 64;   // bytes of an event kept

    std::vector<Item> items;
    std::vector<std::string> lines;
    // The events of the stream from the previous receipt's end to this one's (the newest
    // kMaxItems; the older ones counted in eventsLeftOut).
    std::vector<StreamEvent> events;
    uint64_t itemsLeftOut = 0;  // past kMaxItems
    uint64_t linesLeftOut = 0;
    uint64_t eventsLeftOut = 0;

    void Add(Item&& item);
    void AddLine(std::string&& line);
    bool Empty() const { return items.empty() && lines.empty() && itemsLeftOut == 0; }
};

// `text` cut to at most `limit` bytes, never inside a UTF-8 sequence.
std::string CutText(std::string text, std::size_t limit);

// Where a receipt came from.
struct ReceiptSource {
    int printer = 0;          // 1-based; 0 when not known
    std::string link;         // "tcp", "serial", "file"
    uint64_t connection = 0;  // the link's job or connection number; 0 for the serial side
    std::string job;          // the job's name, where it has one (a file's name); else empty
};

// What a data file says about its receipt, before the record.
struct DataFileHeader {
    unsigned number = 0;
    std::string picture;  // "receipt-0007.png"
    ReceiptSource source;
    std::string time;  // local time, "2025-01-30T14:03:07+01:00"
    int width = 0;     // the picture's, in dots
    int height = 0;
    ReceiptEnd end = ReceiptEnd::StreamEnd;
};

// The data file: a JSON object, the header's fields first (in a fixed order, so the printer and
// link can be read from the file's first bytes), then `lines`, then `items` one a line.
std::string DataFileText(const DataFileHeader& header, const ReceiptRecord& record);

inline constexpr int kDataFileVersion = 1;

}  // namespace sim::paper
