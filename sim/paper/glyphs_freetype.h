#pragma once
// The printer's character glyphs from Debian's font files through FreeType: crisp 1-bit dots in
// exactly the cell of each face, on one baseline a face, cached for the drawing's lifetime.

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/paper/drawing.h"

namespace sim::paper {

class PrinterFonts {
  public:
    // The font files the printer faces are made of (UTF-8 paths), in the order a character is
    // looked for. Font A and B: Terminus (its 12 × 24 and 8 × 16 bitmap strikes,
    // fonts-terminus-otb), then DejaVu Sans Mono (fonts-dejavu-core, optional), then WenQuanYi
    // Micro Hei; Chinese characters: WenQuanYi Micro Hei (fonts-wqy-microhei).
    struct Files {
        std::string terminus;
        std::string dejaVuMono;
        std::string microHei;
    };
    // Where this system keeps them (sim/paper/files.h), those in `folder` (UTF-8) first.
    static Files Installed(const std::string& folder = {});

    // Nullptr with `error` naming the missing file and its package when a face cannot be made.
    static std::unique_ptr<PrinterFonts> Open(const Files& files, std::string* error);
    ~PrinterFonts();
    PrinterFonts(const PrinterFonts&) = delete;
    PrinterFonts& operator=(const PrinterFonts&) = delete;

    // The glyph in the face's cell; a character no font has is an empty box (so is every new
    // character after 65,536 distinct ones). The reference stays valid while this object lives.
    // Safe to call from several threads (printers may print at once).
    const Bitmap& Glyph(char32_t character, Face face);

  private:
    struct Library;
    struct Source;
    PrinterFonts();
    Bitmap Render(char32_t character, Face face);

    std::mutex mutex_;  // FreeType faces and the cache
    std::unique_ptr<Library> library_;
    std::array<std::vector<Source>, 3> chains_;  // by Face
    std::array<Bitmap, 3> boxes_;
    // Printable ASCII, the bulk of every receipt, without a hash lookup.
    std::array<std::array<const Bitmap*, 128>, 3> ascii_{};
    std::unordered_map<uint64_t, Bitmap> cache_;  // nodes: references survive rehashing
};

}  // namespace sim::paper
