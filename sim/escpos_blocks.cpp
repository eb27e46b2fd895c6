// The commands that carry data blocks: images, graphics, 2D symbols and the other length-prefixed
// ( commands, and barcodes: how far each reaches and what it says.
#include <algorithm>

#include "commands/printer_info.h"
#include "platform/hex_text.h"
#include "sim/escpos_commands.h"
#include "sim/escpos_parts.h"
#include "sim/printer_text.h"

namespace sim::escpos {
namespace parts {

// --- images ---

Extent BitImageExtent(Bytes c) {
    if (c.size() < 3) return More();
    const bool tall = c[2] == 32 || c[2] == 33;  // 24 dots high: three bytes a column
    if (!tall && c[2] != 0 && c[2] != 1) return Unknown(2);
    if (c.size() < 5) return More();
    return Known(5, uint64_t{Le16(c, 3)} * (tall ? 3 : 1));
}
std::string BitImage(Bytes c) {
    const bool tall = c[2] >= 32;
    return Plural(Le16(c, 3), "dot") + " wide, " + (tall ? "24-dot" : "8-dot") +
           ((c[2] & 1) ? " double density" : " single density");
}

Extent RasterExtent(Bytes c) {
    if (c.size() < 3) return More();
    if (c[2] != '0') return Unknown(2);
    if (c.size() < 8) return More();
    return Known(8, uint64_t{Le16(c, 4)} * Le16(c, 6));
}
std::string Raster(Bytes c) {
    const std::string mode = Magnification(c[3]);
    return std::to_string(Le16(c, 4) * 8u) + " × " + std::to_string(Le16(c, 6)) + " dots" +
           (mode == "normal" ? "" : ", " + mode);
}

Extent DownloadImageExtent(Bytes c) {
    if (c.size() < 4) return More();
    return Known(4, uint64_t{c[2]} * c[3] * 8);
}
std::string DownloadImage(Bytes c) {
    return std::to_string(c[2] * 8u) + " × " + std::to_string(c[3] * 8u) + " dots";
}

namespace {

// GS ( L and GS 8 L: `p` holds m fn and the parameters that follow.
void ReadGraphics(Bytes p, Reading& r) {
    r.title = "graphics";
    if (p.size() < 2) {
        r.detail = platform::HexBytes(p);
        return;
    }
    const auto size = [&](std::size_t at, const char* before) {
        return p.size() < at + 4 ? std::string()
                                 : before + std::to_string(Le16(p, at)) + " × " +
                                       std::to_string(Le16(p, at + 2)) + " dots";
    };
    const auto key = [&](std::size_t at) {
        return p.size() < at + 2 ? std::string() : " \"" + RenderUtf8(p.subspan(at, 2)) + "\"";
    };
    switch (p[1]) {
        case 2:
        case 50:
            r.detail = "print";
            break;
        case 112:
            r.detail = "store" + size(6, " ");
            break;
        case 67:
            r.detail = "store NV image" + key(3) + size(6, ", ");
            break;
        case 69:
            r.detail = "print NV image" + key(2);
            break;
        case 83:
            r.detail = "store download image" + key(3) + size(6, ", ");
            break;
        case 85:
            r.detail = "print download image" + key(2);
            break;
        default:
            r.detail = "function " + Hex(p[1]) +
                       (p.size() > 2 ? ": " + platform::HexBytes(p.subspan(2)) : "");
            break;
    }
}

// --- 2D symbols: GS ( k ---

// `p` holds cn fn and the parameters or data; `length` counts all of them.
void ReadSymbol(Bytes p, uint64_t length, Reading& r) {
    if (p.size() < 2) {
        r.title = "2D symbol";
        r.detail = platform::HexBytes(p);
        return;
    }
    const std::string symbol = SymbolName(p[0]);
    const bool qr = p[0] == 49;
    const uint8_t fn = p[1];
    const Bytes values = p.subspan(2);
    if (fn == 80 && p[0] != 52) {  // store the data: m, then the data
        r.title = symbol;
        const Bytes text = p.subspan(std::min<std::size_t>(3, p.size()));
        r.detail = RenderUtf8(text);
        if (length > p.size()) r.detail += "… (" + Plural(length - 3, "byte") + ")";
        return;
    }
    if (fn == 81) {
        r.title = symbol + " print";
        return;
    }
    if (fn == 82) {
        r.title = symbol + " size request";
        return;
    }
    if (qr && fn == 65 && !values.empty()) {
        static constexpr const char* kModels[] = {"1", "2", "micro"};
        r.title = "QR code model";
        r.detail = values[0] >= 49 && values[0] <= 51 ? kModels[values[0] - 49] : Hex(values[0]);
        return;
    }
    if (qr && fn == 67 && !values.empty()) {
        r.title = "QR code module size";
        r.detail = Plural(values[0], "dot");
        return;
    }
    if (qr && fn == 69 && !values.empty()) {
        static constexpr const char* kLevels[] = {"L", "M", "Q", "H"};
        r.title = "QR code error correction";
        r.detail = values[0] >= 48 && values[0] <= 51 ? kLevels[values[0] - 48] : Hex(values[0]);
        return;
    }
    r.title = symbol + " setting";
    r.detail = "function " + Hex(fn) + (values.empty() ? "" : ": " + platform::HexBytes(values));
}

}  // namespace

// GS ( X, ESC ( X and FS ( X: pL pH, then that many bytes.
Extent ParenExtent(Bytes c) {
    if (c.size() < 3) return More();
    const std::size_t keep = c[0] == kGs && c[2] == 'k' ? kSymbolKept : kParametersKept;
    Extent e = LengthPrefixed(c, 3, 2, keep);
    if (c[0] == kFs && c[2] == 'C') e.effect = Effect::Encoding;
    return e;
}
std::string ParenName(Bytes c) {
    const char letter[] = {static_cast<char>(c[2]), '\0'};
    if (c[0] == kEsc) return c[2] == 'A' ? "beeper" : std::string("ESC ( ") + letter;
    if (c[0] == kFs) {
        switch (c[2]) {
            case 'A':
                return "Chinese character font";
            case 'C':
                return "character encoding";
            case 'E':
                return "receipt enhancement";
            case 'L':
                return "label and black mark";
            case 'e':
                return "optional status back";
            default:
                return std::string("FS ( ") + letter;
        }
    }
    switch (c[2]) {
        case 'k':
            return "2D symbol";
        case 'L':
            return "graphics";
        case 'A':
            return "test print";
        case 'H':
            return "process ID response";
        default:
            return std::string("GS ( ") + letter;
    }
}
void ReadParen(Bytes c, uint64_t data, Reading& r) {
    const Bytes p = c.subspan(5);
    if (c[0] == kGs && c[2] == 'k') return ReadSymbol(p, data, r);
    if (c[0] == kGs && c[2] == 'L') return ReadGraphics(p, r);
    r.title = ParenName(c);
    if (const auto id = commands::ProcessIdOf(c)) {
        r.detail = std::string(id->begin(), id->end());
        return;
    }
    if (c[0] == kFs && c[2] == 'A' && p.size() == 2 && p[0] == 48) {
        static constexpr const char* kNames[] = {"A", "B", "C"};
        r.detail = Choice(p[1], kNames);
        return;
    }
    if (const std::optional<bool> utf8 = SelectsUtf8(c)) {
        r.detail = *utf8 ? "UTF-8" : "one-byte codes";
        return;
    }
    r.detail = p.empty() ? "" : "function " + Hex(p[0]);
    if (p.size() > 1) r.detail += ": " + platform::HexBytes(p.subspan(1));
}

Extent Graphics8Extent(Bytes c) {
    if (c.size() < 3) return More();
    if (c[2] != 'L') return Unknown(2);
    return LengthPrefixed(c, 3, 4, kParametersKept);
}
void ReadGraphics8(Bytes c, uint64_t, Reading& r) {
    ReadGraphics(c.subspan(7), r);
}

// --- barcodes: GS k ---

namespace {

constexpr const char* kBarcodes[] = {"UPC-A",
                                     "UPC-E",
                                     "EAN-13",
                                     "EAN-8",
                                     "CODE39",
                                     "ITF",
                                     "CODABAR",
                                     "CODE93",
                                     "CODE128",
                                     "GS1-128",
                                     "GS1 DataBar Omnidirectional",
                                     "GS1 DataBar Truncated",
                                     "GS1 DataBar Limited",
                                     "GS1 DataBar Expanded",
                                     "CODE128 auto"};
// The NUL-ended form: the most digits each system takes (the printer prints once it has them).
constexpr std::size_t kBarcodeMaxDigits[] = {12, 12, 13, 8, 255, 255, 255};

bool IsBarcodeCharacter(uint8_t b) {
    return b >= 0x20 && b < 0x7F;
}
}  // namespace

Extent BarcodeExtent(Bytes c) {
    if (c.size() < 3) return More();
    const uint8_t m = c[2];
    if (m <= 6) return NulEnded(c, 3, kBarcodeMaxDigits[m], IsBarcodeCharacter);
    if (m >= 65 && m < 65 + std::size(kBarcodes)) {
        if (c.size() < 4) return More();
        return Known(4, c[3], c[3]);
    }
    return Unknown(3);
}
void ReadBarcode(Bytes c, uint64_t, Reading& r) {
    const uint8_t m = c[2];
    const bool nulForm = m <= 6;
    r.title = std::string("barcode ") + BarcodeName(m);
    Bytes digits = c.subspan(nulForm ? 3 : 4);
    bool unended = false;
    if (nulForm) {
        if (!digits.empty() && digits.back() == 0x00) {
            digits = digits.first(digits.size() - 1);
        } else {
            unended = digits.size() < kBarcodeMaxDigits[m];
        }
    }
    r.detail = RenderUtf8(digits) + (unended ? " (no NUL)" : "");
}

}  // namespace parts

const char* BarcodeName(uint8_t m) {
    using parts::kBarcodeMaxDigits, parts::kBarcodes;
    if (m < std::size(kBarcodeMaxDigits)) return kBarcodes[m];
    if (m >= 65 && m < 65 + std::size(kBarcodes)) return kBarcodes[m - 65];
    return nullptr;
}

}  // namespace sim::escpos
