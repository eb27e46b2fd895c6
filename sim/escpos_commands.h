#pragma once
// The standard ESC/POS command set as the virtual printer reads it: how far each command reaches
// (fixed parameters, a NUL-ended field, or a data block announced by a length field) and its name
// and values in words.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace sim::escpos {

using Bytes = std::span<const uint8_t>;

// The bytes that begin a command.
inline constexpr uint8_t kDle = 0x10;
inline constexpr uint8_t kEsc = 0x1B;
inline constexpr uint8_t kFs = 0x1C;
inline constexpr uint8_t kGs = 0x1D;

// DLE, ESC, FS and GS begin a command.
bool IsCommandStart(uint8_t b);

// One optional byte a complete command may take after it.
enum class Trailer {
    None,
    Pad,  // 00 or 01, as the tools' six-byte commands send (shown as "+ pad")
    Nul,  // 00 closing a barcode that already has its full number of digits
    Cr,   // 0D after a line of text and its LF (the decoder's own use: text is no command)
};

// How a command changes the way the printer reads text.
enum class Effect { None, Initialise, ChineseOn, ChineseOff, CodePage, Encoding };

// How far a command reaches, judged from its bytes collected so far.
struct Extent {
    enum class Kind {
        More,     // another byte is needed to tell
        Known,    // a command: `header` bytes, then `data` bytes
        Unknown,  // the first `header` bytes start no known command
    };
    Kind kind = Kind::More;
    // Known: the command's own bytes (fewer than collected when a byte ended a field: the rest is
    // read again); wait for more while the collected bytes are fewer. Unknown: bytes shown as hex.
    std::size_t header = 0;
    uint64_t data = 0;     // Known: data bytes after the header (an image, a 2D symbol's data)
    std::size_t keep = 0;  // of the data, how many are kept for the reading; the rest is counted
    Trailer trailer = Trailer::None;
    Effect effect = Effect::None;
};

// Longest header and kept data of any command, so the collected bytes stay small whatever a length
// field announces.
inline constexpr std::size_t kMaxKept = 1024;

// `collected` starts with a command start byte.
Extent Measure(Bytes collected);

struct Reading {
    std::string title;   // "barcode EAN-8", "font", "raster image"
    std::string detail;  // "1234567", "B", "384 × 120 dots"
};

// A complete command: `command` holds the header and the kept data, `data` the data bytes counted.
Reading Read(Bytes command, uint64_t data);

// The name of a command cut off after `collected`, "" when its first bytes name none.
std::string Name(Bytes collected);

// FS ( C selecting the character encoding (its kept bytes): true for UTF-8, false for the one-byte
// codes (GBK in Chinese mode, else the code page); nothing for its other functions.
std::optional<bool> SelectsUtf8(Bytes command);

// The barcode system GS k m selects ("EAN-13"); nullptr for a value that selects none.
const char* BarcodeName(uint8_t m);
// The 2D symbol GS ( k cn stores and prints ("QR code"); "2D symbol" for other values.
const char* SymbolName(uint8_t cn);

// A code page ESC t selects: its name and the character set iconv knows it by (nullptr: none).
// A page iconv has no set for may have its upper half here: the code points of 80-FF, 0 where
// the page has no character.
struct CodePage {
    uint8_t number;
    const char* name;
    const char* charset;
    const char32_t* high = nullptr;
};
const CodePage* FindCodePage(uint8_t number);
// The code point of byte `b` (80-FF) of a page with its own table; 0 when there is none.
char32_t HighCharacter(const CodePage& page, uint8_t b);

}  // namespace sim::escpos
