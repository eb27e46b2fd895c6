#pragma once
// What the paper needs drawn by a platform's libraries: a character's glyph in a printer font
// cell, a barcode or 2D symbol from its data, and a finished picture saved as PNG. The paper
// (placing, scaling, rotating, underlining) is platform-free; only this is not. MakeDrawing()
// returns the platform's, or nullptr where a build has none.

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
    // QR code: 0-3 = L, M, Q, H. PDF417: 0-8 the level (a ratio is passed as its level).
    int errorLevel = 0;
    // QR: 1, 2 or 3 (micro). PDF417: 0 standard, 1 truncated.
    int model = 2;
    // PDF417: data columns and rows (0: automatic); the row height in modules.
    int columns = 0;
    int rows = 0;
    int rowHeight = 3;
    // DataMatrix: 0 square, 1 rectangular; Aztec: 0 full range, 1 compact. MaxiCode: mode 2-6.
    int variant = 0;
    // DataMatrix, Aztec: columns × rows or layers asked for (0: automatic).
    int size = 0;
};

struct Symbol {
    Bitmap picture;     // the bars or modules alone, black on white, no quiet zone
    std::string text;   // a linear barcode's human-readable text (with its check digit)
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

// The platform's drawing; nullptr with `error` set (for the log) when it cannot be made: a build
// without one ("not available in this build"), or, on Linux, a printer font file missing.
std::unique_ptr<Drawing> MakeDrawing(std::string* error = nullptr);

}  // namespace sim::paper
