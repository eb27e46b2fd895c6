#include "sim/escpos_commands.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "commands/printer_info.h"
#include "commands/realtime_status.h"
#include "platform/hex_text.h"
#include "sim/escpos_parts.h"
#include "sim/printer_text.h"

namespace sim::escpos {
namespace {

using namespace parts;

template <std::size_t N>
Extent Fixed(Bytes) {
    return Known(N);
}
template <std::size_t N>
Extent Padded(Bytes) {
    return Known(N, 0, 0, Trailer::Pad);
}

std::string NoDetail(Bytes) {
    return {};
}
std::string Lines(Bytes c) {
    return Plural(c[2], "line");
}
std::string Dots(Bytes c) {
    return Plural(c[2], "dot");
}
std::string Value(Bytes c) {
    return std::to_string(c[2]);
}
std::string HexValue(Bytes c) {
    return Hex(c[2]);
}
std::string Dots16(Bytes c) {
    return Plural(Le16(c, 2), "dot");
}
std::string SignedDots16(Bytes c) {
    const int n = static_cast<int16_t>(Le16(c, 2));
    return std::to_string(n) + (n == 1 || n == -1 ? " dot" : " dots");
}
std::string OnOff(Bytes c) {
    return (c[2] & 1) ? "on" : "off";
}
std::string Underline(Bytes c) {
    static constexpr const char* kNames[] = {"off", "1 dot", "2 dots"};
    return Choice(c[2], kNames);
}
std::string Align(Bytes c) {
    static constexpr const char* kNames[] = {"left", "centre", "right"};
    return Choice(c[2], kNames);
}
std::string Font(Bytes c) {
    static constexpr const char* kNames[] = {"A", "B", "C", "D", "E"};
    if (c[2] == 97) return "special A";
    if (c[2] == 98) return "special B";
    return Choice(c[2], kNames);
}
std::string Words(std::initializer_list<std::pair<bool, const char*>> parts, const char* none) {
    std::string out;
    for (const auto& [on, word] : parts) {
        if (!on) continue;
        if (!out.empty()) out += ", ";
        out += word;
    }
    return out.empty() ? none : out;
}
std::string PrintMode(Bytes c) {
    const uint8_t n = c[2];
    return Words({{true, (n & 0x01) != 0 ? "font B" : "font A"},
                  {(n & 0x08) != 0, "bold"},
                  {(n & 0x10) != 0, "double height"},
                  {(n & 0x20) != 0, "double width"},
                  {(n & 0x80) != 0, "underline"}},
                 "");
}
std::string ChinesePrintMode(Bytes c) {
    const uint8_t n = c[2];
    return Words({{(n & 0x04) != 0, "double width"},
                  {(n & 0x08) != 0, "double height"},
                  {(n & 0x80) != 0, "underline"}},
                 "normal");
}
std::string KanjiCodes(Bytes c) {
    static constexpr const char* kNames[] = {"JIS", "Shift JIS", "Shift JIS-2004"};
    return Choice(c[2], kNames);
}
std::string Size(Bytes c) {
    return Number((c[2] >> 4) + 1u, " wide, ") + Number((c[2] & 0x0F) + 1u, " high");
}
std::string CodePageValue(Bytes c) {
    const CodePage* page = FindCodePage(c[2]);
    return std::to_string(c[2]) + (page != nullptr ? std::string(" (") + page->name + ")" : "");
}
std::string CharacterSet(Bytes c) {
    static constexpr const char* kNames[] = {
        "U.S.A.",  "France", "Germany", "U.K.",       "Denmark I", "Sweden",        "Italy",
        "Spain I", "Japan",  "Norway",  "Denmark II", "Spain II",  "Latin America", "Korea"};
    return c[2] < std::size(kNames) ? std::to_string(c[2]) + " (" + kNames[c[2]] + ")"
                                    : std::to_string(c[2]);
}
std::string Drawer(Bytes c) {
    const char* pin = (c[2] & 1) ? "pin 5" : "pin 2";
    return std::string(pin) + ", on " + Number(c[3] * 2u, " ms") + ", off " +
           Number(c[4] * 2u, " ms");
}
std::string Beep(Bytes c) {
    return Plural(c[2], "time") + ", " + Number(c[3] * 50u, " ms");
}
std::string Rotation(Bytes c) {
    static constexpr const char* kNames[] = {"off", "on", "on, 1.5-dot spacing"};
    return Choice(c[2], kNames);
}
std::string Colour(Bytes c) {
    static constexpr const char* kNames[] = {"black", "red"};
    return Choice(c[2], kNames);
}
std::string Direction(Bytes c) {
    static constexpr const char* kNames[] = {"left to right", "bottom to top", "right to left",
                                             "top to bottom"};
    return Choice(c[2], kNames);
}
std::string Peripheral(Bytes c) {
    return (c[2] & 1) ? "printer enabled" : "printer disabled";
}
std::string Character(Bytes c) {
    return Hex(c[2]) + (c[2] >= 0x20 && c[2] < 0x7F ? std::string(" (") + char(c[2]) + ")" : "");
}
std::string PrintArea(Bytes c) {
    return "from " + std::to_string(Le16(c, 2)) + ", " + std::to_string(Le16(c, 4)) + ", " +
           std::to_string(Le16(c, 6)) + " × " + std::to_string(Le16(c, 8)) + " dots";
}
std::string Tabs(Bytes c) {
    std::string out;
    for (std::size_t i = 2; i < c.size() && c[i] != 0; ++i)
        out += (out.empty() ? "" : ", ") + std::to_string(c[i]);
    return out.empty() ? "none" : out;
}
std::string ChineseSpacing(Bytes c) {
    return "left " + std::to_string(c[2]) + ", right " + Plural(c[3], "dot");
}
std::string NvImage(Bytes c) {
    return "image " + std::to_string(c[2]) + ", " + Magnification(c[3]);
}
std::string HriPosition(Bytes c) {
    static constexpr const char* kNames[] = {"none", "above", "below", "above and below"};
    return Choice(c[2], kNames);
}
std::string HriFont(Bytes c) {
    static constexpr const char* kNames[] = {"A", "B"};
    return Choice(c[2], kNames);
}
std::string MotionUnits(Bytes c) {
    return "1/" + std::to_string(c[2]) + " inch across, 1/" + std::to_string(c[3]) + " inch down";
}
std::string StatusKind(Bytes c) {
    static constexpr const char* kNames[] = {"", "paper sensor", "drawer", "", "ink"};
    const std::string name = Choice(c[2], kNames);
    return name.empty() ? Hex(c[2]) : name;
}
std::string AsbItems(Bytes c) {
    return commands::AutomaticStatusItems(c[2]);
}
std::string InfoItem(Bytes c) {
    const char* name = commands::PrinterInfoName(c[2]);
    return name != nullptr ? name : Hex(c[2]);
}
std::string DownloadedImage(Bytes c) {
    return Magnification(c[2]);
}
std::string Macro(Bytes c) {
    return Plural(c[2], "time") + ", wait " + Number(c[3] * 100u, " ms") + ", mode " + Hex(c[4]);
}
std::string Cut(Bytes c) {
    switch (c[2]) {
        case 0:
        case '0':
            return "full";
        case 1:
        case '1':
            return "partial";
        case 65:
        case 97:
        case 103:
            return "feed " + Plural(c[3], "dot") + ", full";
        case 66:
        case 98:
        case 104:
            return "feed " + Plural(c[3], "dot") + ", partial";
        default:
            return "mode " + Hex(c[2]);
    }
}
std::string PartialCut(Bytes) {
    return "partial";
}
Extent CutExtent(Bytes c) {
    if (c.size() < 3) return More();
    switch (c[2]) {
        case 65:
        case 66:
        case 97:
        case 98:
        case 103:
        case 104:
            return Known(4, 0, 0, Trailer::Pad);
        default:
            return Known(3, 0, 0, Trailer::Pad);
    }
}

// --- ESC c: paper sensors and panel buttons ---

Extent EscCExtent(Bytes c) {
    if (c.size() < 3) return More();
    return c[2] >= '3' && c[2] <= '5' ? Known(4) : Unknown(3);
}
void ReadEscC(Bytes c, uint64_t, Reading& r) {
    switch (c[2]) {
        case '3':
            r.title = "paper-end signal sensors";
            r.detail = Hex(c[3]);
            break;
        case '4':
            r.title = "paper sensors that stop printing";
            r.detail = Hex(c[3]);
            break;
        default:
            r.title = "panel buttons";
            r.detail = (c[3] & 1) ? "disabled" : "enabled";
            break;
    }
}

// --- real-time commands: DLE ---

Extent EotExtent(Bytes c) {
    if (c.size() < 3) return More();
    return c[2] == 7 || c[2] == 8 ? Known(4) : Known(3);
}
std::string Eot(Bytes c) {
    static constexpr const char* kNames[] = {"", "printer", "offline cause", "error cause",
                                             "paper sensor"};
    if (c[2] >= 1 && c[2] <= 4) return kNames[c[2]];
    return platform::HexBytes(c.subspan(2));
}
std::string Enq(Bytes c) {
    switch (c[2]) {
        case 1:
            return "recover from an error and restart";
        case 2:
            return "recover from an error, clearing the buffers";
        default:
            return Hex(c[2]);
    }
}
Extent Dc4Extent(Bytes c) {
    if (c.size() < 3) return More();
    return c[2] == 1 || c[2] == 2 ? Known(5) : Unknown(3);
}
void ReadDc4(Bytes c, uint64_t, Reading& r) {
    if (c[2] == 1) {
        r.title = "real-time drawer kick";
        r.detail = std::string((c[3] & 1) ? "pin 5" : "pin 2") + ", on and off " +
                   Number(c[4] * 100u, " ms");
    } else {
        r.title = "power off";
    }
}

bool NonZero(uint8_t b) {
    return b != 0;
}
Extent TabsExtent(Bytes c) {
    return NulEnded(c, 2, 32, NonZero);
}

struct Row {
    uint8_t prefix;
    uint8_t code;
    const char* title;
    Extent (*measure)(Bytes c);  // c holds at least the two bytes of the row
    std::string (*detail)(Bytes c);
    void (*read)(Bytes c, uint64_t data, Reading& r) = nullptr;  // instead of `detail`
    Effect effect = Effect::None;
};

const Row kRows[] = {
    // Print and character settings.
    {kEsc, '@', "initialise", Fixed<2>, NoDetail, nullptr, Effect::Initialise},
    {kEsc, '!', "print mode", Fixed<3>, PrintMode},
    {kEsc, 'E', "bold", Fixed<3>, OnOff},
    {kEsc, '-', "underline", Fixed<3>, Underline},
    {kEsc, 'G', "double-strike", Fixed<3>, OnOff},
    {kEsc, 'M', "font", Fixed<3>, Font},
    {kEsc, 'a', "align", Fixed<3>, Align},
    {kEsc, ' ', "character spacing", Fixed<3>, Dots},
    {kEsc, 'V', "90° rotation", Fixed<3>, Rotation},
    {kEsc, '{', "upside-down", Fixed<3>, OnOff},
    {kEsc, 'r', "colour", Fixed<3>, Colour},
    {kEsc, 't', "code page", Fixed<3>, CodePageValue, nullptr, Effect::CodePage},
    {kEsc, 'R', "international character set", Fixed<3>, CharacterSet},
    {kEsc, '%', "user-defined characters", Fixed<3>, OnOff},
    {kEsc, '?', "cancel user-defined character", Fixed<3>, Character},
    {kGs, '!', "character size", Fixed<3>, Size},
    {kGs, 'B', "reverse", Fixed<3>, OnOff},
    {kGs, 'b', "smoothing", Fixed<3>, OnOff},
    {kFs, '&', "Chinese characters on", Fixed<2>, NoDetail, nullptr, Effect::ChineseOn},
    {kFs, '.', "Chinese characters off", Fixed<2>, NoDetail, nullptr, Effect::ChineseOff},
    {kFs, '!', "Chinese print mode", Fixed<3>, ChinesePrintMode},
    {kFs, '-', "Chinese underline", Fixed<3>, Underline},
    {kFs, 'S', "Chinese character spacing", Fixed<4>, ChineseSpacing},
    {kFs, 'W', "Chinese quadruple size", Fixed<3>, OnOff},
    {kFs, 'C', "Kanji code system", Fixed<3>, KanjiCodes},
    {kFs, '(', "extended command", ParenExtent, nullptr, ReadParen},
    // Feeding, position and layout.
    {kEsc, 'd', "feed", Fixed<3>, Lines},
    {kEsc, 'J', "feed", Fixed<3>, Dots},
    {kEsc, '2', "default line spacing", Fixed<2>, NoDetail},
    {kEsc, '3', "line spacing", Fixed<3>, Dots},
    {kEsc, '$', "absolute position", Fixed<4>, Dots16},
    {kEsc, '\\', "relative position", Fixed<4>, SignedDots16},
    {kEsc, 'D', "tab positions", TabsExtent, Tabs},
    {kEsc, 'U', "unidirectional printing", Fixed<3>, OnOff},
    {kGs, 'L', "left margin", Fixed<4>, Dots16},
    {kGs, 'W', "print area width", Fixed<4>, Dots16},
    {kGs, 'P', "motion units", Fixed<4>, MotionUnits},
    {kGs, 'T', "print position to line start", Fixed<3>, HexValue},
    {kEsc, 'L', "page mode", Fixed<2>, NoDetail},
    {kEsc, 'S', "standard mode", Fixed<2>, NoDetail},
    {kEsc, 0x0C, "print page", Fixed<2>, NoDetail},
    {kEsc, 'T', "print direction", Fixed<3>, Direction},
    {kEsc, 'W', "print area", Fixed<10>, PrintArea},
    {kGs, '$', "absolute vertical position", Fixed<4>, Dots16},
    {kGs, '\\', "relative vertical position", Fixed<4>, SignedDots16},
    // Barcodes, 2D symbols and images.
    {kGs, 'H', "barcode text position", Fixed<3>, HriPosition},
    {kGs, 'f', "barcode text font", Fixed<3>, HriFont},
    {kGs, 'h', "barcode height", Fixed<3>, Dots},
    {kGs, 'w', "barcode width", Fixed<3>, Value},
    {kGs, 'k', "barcode", BarcodeExtent, nullptr, ReadBarcode},
    {kGs, '(', "extended command", ParenExtent, nullptr, ReadParen},
    {kEsc, '(', "extended command", ParenExtent, nullptr, ReadParen},
    {kGs, 'v', "raster image", RasterExtent, Raster},
    {kGs, '8', "graphics", Graphics8Extent, nullptr, ReadGraphics8},
    {kEsc, '*', "bit image", BitImageExtent, BitImage},
    {kGs, '*', "define downloaded bit image", DownloadImageExtent, DownloadImage},
    {kGs, '/', "print downloaded bit image", Fixed<3>, DownloadedImage},
    {kFs, 'p', "print NV bit image", Fixed<4>, NvImage},
    // Paper, drawer, buzzer, panel.
    {kGs, 'V', "cut", CutExtent, Cut},
    {kEsc, 'i', "cut", Fixed<2>, PartialCut},
    {kEsc, 'm', "cut", Fixed<2>, PartialCut},
    {kEsc, 'p', "drawer kick", Padded<5>, Drawer},
    {kEsc, 'B', "beep", Fixed<4>, Beep},
    {kEsc, 'c', "paper sensors and panel", EscCExtent, nullptr, ReadEscC},
    {kEsc, '=', "peripheral device", Fixed<3>, Peripheral},
    {kGs, ':', "macro definition start or end", Fixed<2>, NoDetail},
    {kGs, '^', "run macro", Fixed<5>, Macro},
    // Status.
    {kGs, 'a', "automatic status back", Fixed<3>, AsbItems},
    {kGs, 'r', "status request", Fixed<3>, StatusKind},
    {kGs, 'I', "printer information request", Fixed<3>, InfoItem},
    {kDle, 0x04, "real-time status request", EotExtent, Eot},
    {kDle, 0x05, "real-time request", Fixed<3>, Enq},
    {kDle, 0x14, "real-time command", Dc4Extent, nullptr, ReadDc4},
};

const Row* FindRow(Bytes c) {
    if (c.size() < 2) return nullptr;
    for (const Row& row : kRows) {
        if (row.prefix == c[0] && row.code == c[1]) return &row;
    }
    return nullptr;
}

// Code page 1: half-width katakana (A1-DF, as JIS X 0201) and the block and line graphics in
// 80-9F that receipt layouts draw rules and boxes with.
constexpr char32_t kKatakana[128] = {
    0x2581, 0x2582, 0x2583, 0x2584, 0x2585, 0x2586, 0x2587, 0x2588,  // 80: blocks from below
    0x258F, 0x258E, 0x258D, 0x258C, 0x258B, 0x258A, 0x2589, 0x253C,  // 88: blocks from the left, ┼
    0x2534, 0x252C, 0x2524, 0x251C, 0x2594, 0x2500, 0x2502, 0x2595,  // 90: ┴ ┬ ┤ ├ ▔ ─ │ ▕
    0x250C, 0x2510, 0x2514, 0x2518, 0x256D, 0x256E, 0x2570, 0x256F,  // 98: corners, round corners
    0,      0xFF61, 0xFF62, 0xFF63, 0xFF64, 0xFF65, 0xFF66, 0xFF67,  // A0: katakana
    0xFF68, 0xFF69, 0xFF6A, 0xFF6B, 0xFF6C, 0xFF6D, 0xFF6E, 0xFF6F,  //
    0xFF70, 0xFF71, 0xFF72, 0xFF73, 0xFF74, 0xFF75, 0xFF76, 0xFF77,  //
    0xFF78, 0xFF79, 0xFF7A, 0xFF7B, 0xFF7C, 0xFF7D, 0xFF7E, 0xFF7F,  //
    0xFF80, 0xFF81, 0xFF82, 0xFF83, 0xFF84, 0xFF85, 0xFF86, 0xFF87,  //
    0xFF88, 0xFF89, 0xFF8A, 0xFF8B, 0xFF8C, 0xFF8D, 0xFF8E, 0xFF8F,  //
    0xFF90, 0xFF91, 0xFF92, 0xFF93, 0xFF94, 0xFF95, 0xFF96, 0xFF97,  //
    0xFF98, 0xFF99, 0xFF9A, 0xFF9B, 0xFF9C, 0xFF9D, 0xFF9E, 0xFF9F,  // to DF
};

constexpr CodePage kCodePages[] = {
    {0, "PC437", "CP437"},           {1, "Katakana", nullptr, kKatakana},
    {2, "PC850", "CP850"},           {3, "PC860", "CP860"},
    {4, "PC863", "CP863"},           {5, "PC865", "CP865"},
    {13, "PC857", "CP857"},          {14, "PC737", "CP737"},
    {15, "ISO8859-7", "ISO-8859-7"}, {16, "WPC1252", "CP1252"},
    {17, "PC866", "CP866"},          {18, "PC852", "CP852"},
    {19, "PC858", "CP858"},          {45, "WPC1250", "CP1250"},
    {46, "WPC1251", "CP1251"},       {47, "WPC1253", "CP1253"},
    {48, "WPC1254", "CP1254"},       {49, "WPC1255", "CP1255"},
    {50, "WPC1256", "CP1256"},       {51, "WPC1257", "CP1257"},
    {52, "WPC1258", "CP1258"},
};

}  // namespace

bool IsCommandStart(uint8_t b) {
    return b == kDle || b == kEsc || b == kFs || b == kGs;
}

Extent Measure(Bytes c) {
    if (c.size() < 2) return More();
    const Row* row = FindRow(c);
    // An unknown real-time prefix is one stray byte; ESC, FS and GS take the byte after them.
    if (row == nullptr) return Unknown(c[0] == kDle ? 1 : 2);
    Extent e = row->measure(c);
    if (row->effect != Effect::None) e.effect = row->effect;
    return e;
}

std::optional<bool> SelectsUtf8(Bytes c) {
    if (c.size() < 7 || c[0] != kFs || c[1] != '(' || c[2] != 'C' || c[5] != 48) return {};
    if (c[6] == 1 || c[6] == '1') return false;
    if (c[6] == 2 || c[6] == '2') return true;
    return {};
}

Reading Read(Bytes command, uint64_t data) {
    Reading r;
    const Row* row = FindRow(command);
    if (row == nullptr) return r;
    r.title = row->title;
    if (row->read != nullptr) {
        row->read(command, data, r);
    } else {
        r.detail = row->detail(command);
    }
    return r;
}

std::string Name(Bytes collected) {
    const Row* row = FindRow(collected);
    if (row == nullptr) return {};
    if (row->code == '(' && collected.size() >= 3) return ParenName(collected);
    return row->title;
}

const char* SymbolName(uint8_t cn) {
    static constexpr const char* kNames[] = {"PDF417",      "QR code",          "MaxiCode",
                                             "GS1 DataBar", "composite symbol", "Aztec code",
                                             "DataMatrix"};
    return cn >= 48 && cn < 48 + std::size(kNames) ? kNames[cn - 48] : "2D symbol";
}

char32_t HighCharacter(const CodePage& page, uint8_t b) {
    return page.high != nullptr && b >= 0x80 ? page.high[b - 0x80] : 0;
}

const CodePage* FindCodePage(uint8_t number) {
    for (const CodePage& page : kCodePages) {
        if (page.number == number) return &page;
    }
    return nullptr;
}

}  // namespace sim::escpos
