#pragma once
// What the paper needs drawn by libraries: a character's glyph in a printer font cell, a barcode or
// 2D symbol from its data, and a finished picture saved as PNG. The paper (placing, scaling,
// rotating, underlining) draws nothing itself. MakeDrawing() returns the drawing of FreeType, zint
// and libpng, the same on Linux and Windows (only where the font files are differs).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/paper/bitmap.h"

namespace sim::paper {

// The printer's character cells: font A 12 × 24, font B 9 × 17, Chinese characters 24 × 24.
enum class Face : uint8_t { A, B, Chinese };
struct CellSize {
    int width;
    int height;
};
constexpr CellSize CellOf(Face face) {
    switch (face) {
        case Face::A:
            return {12, 24};
        case Face::B:
            return {9, 17};
        case Face::Chinese:
            return {24, 24};
    }
    return {12, 24};
}

// Barcodes (GS k, in its order from UPC-A) and the 2D symbols (GS ( k).
enum class SymbolKind : uint8_t {
    UpcA,
    UpcE,
    Ean13,
    Ean8,
    Code39,
    Itf,
    Codabar,
    Code93,
    Code128,  // the data starts with a code set selector ({A, {B, {C) as the printer receives it
    Gs1_128,
    DataBarOmni,
    DataBarTruncated,
    DataBarLimited,
    DataBarExpanded,
    Code128Auto,  // the printer picks the code sets
    Pdf417,
    Qr,
    MaxiCode,
    DataBar2D,  // GS1 DataBar stacked forms (GS ( k cn 51)
    Composite,
    Aztec,
    DataMatrix,
};

struct SymbolRequest {
    SymbolKind kind = SymbolKind::Code128Auto;
    std::vector<uint8_t> data;  // as the printer received it
    // Linear barcodes: the narrow bar's width in dots (GS w, 1-6) and the bars' height (GS h).
    // 2D symbols: the module's size in dots (GS ( k ... 67 and friends).
    int module = 3;
    int height = 162;
    // QR code: 0-3 = L, M, Q, H. PDF417: 0-8 the level (a ratio is passed as its level; other
    // values: automatic). Aztec: the percentage, 5-95 (0: automatic).
    int errorLevel = 0;
    // QR: 1, 2 or 3 (micro; model 1 is drawn as model 2). PDF417: 0 standard, 1 truncated.
    int model = 2;
    // PDF417: data columns and rows (0: automatic); the row height in modules.
    int columns = 0;
    int rows = 0;
    int rowHeight = 3;
    // DataMatrix: 0 square, 1 rectangular; Aztec: 0 full range, 1 compact. MaxiCode: mode 2-6
    // (2 and 3: the data starts with postcode GS country GS service class GS, after an optional
    // "[)>" RS "01" GS "yy" header). DataBar2D: 0 stacked, 1 stacked omnidirectional, 2 expanded
    // stacked. Composite: the linear part, 0 EAN-13, 1 EAN-8, 2 UPC-A, 3 UPC-E, 4 DataBar
    // omnidirectional, 5 truncated, 6 stacked, 7 stacked omnidirectional, 8 limited, 9 expanded,
    // 10 expanded stacked, 11 GS1-128; its data is the linear part's, a NUL byte, the 2D part's.
    int variant = 0;
    // DataMatrix: the symbol's columns (square 10-144; rectangular 18, 26, 32, 36, 48); Aztec:
    // layers (compact 1-4, full range 1-32); DataBar expanded stacked: segment pairs a row (1-11);
    // Composite: 1 CC-A, 2 CC-B, 3 CC-C. 0: automatic.
    int size = 0;
};

// GS1 data (GS1-128, DataBar expanded, composite parts) is either "(01)04012345678901(10)AB" or
// element strings with FNC1 ("{1" or GS) after variable-length fields.
struct Symbol {
    // The bars or modules alone, black on white, no quiet zone: linear barcodes `height` dots
    // tall with bars of whole modules, first and last column black; stacked ones (DataBar2D,
    // Composite) their fixed rows in modules and the rest of `height` to the open rows; PDF417
    // rows `rowHeight` modules; MaxiCode about an inch (zint's hexagons, `module` unused).
    Bitmap picture;
    // A linear barcode's human-readable text, printable ASCII only, as printed under the bars:
    // UPC/EAN with the check digit, CODE39 with its * start and stop, GS1 with (AI)s, CODE128 the
    // characters without the {X codes. Empty for 2D and stacked symbols.
    std::string text;
    std::string error;  // not empty: the library refused the data, and why (picture empty)
};

class Drawing {
  public:
    virtual ~Drawing() = default;
    // A character's glyph in its face's cell, exactly the cell's size; a character the fonts lack
    // is the printer's substitute (an empty box, never nothing). The reference stays valid while
    // this object lives.
    virtual const Bitmap& Glyph(char32_t character, Face face) = 0;
    virtual Symbol DrawSymbol(const SymbolRequest& request) = 0;
    // Writes a 1-bit PNG of the picture to `path` (a temporary file renamed into place, so a
    // watcher never reads half a picture). False with `error` set when it cannot be written.
    virtual bool SavePng(const Bitmap& picture, const std::string& path, std::string* error) = 0;
};

// The drawing; nullptr with `error` set (one line for the log) when a printer font file is missing
// or unreadable.
// A folder of font files given (`fonts`, UTF-8) is looked in first, by the files' names.
std::unique_ptr<Drawing> MakeDrawing(std::string* error = nullptr, const std::string& fonts = {});

}  // namespace sim::paper
