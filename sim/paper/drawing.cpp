#include "sim/paper/drawing.h"

#include "sim/paper/glyphs_freetype.h"
#include "sim/paper/png_file.h"
#include "sim/paper/symbols_zint.h"

namespace sim::paper {
namespace {

// FreeType glyphs from the printer's font files, zint symbols, libpng files: the same libraries
// on every system, so the same stream gives the same dots.
class LibraryDrawing final : public Drawing {
  public:
    explicit LibraryDrawing(std::unique_ptr<PrinterFonts> fonts) : fonts_(std::move(fonts)) {}

    const Bitmap& Glyph(char32_t character, Face face) override {
        return fonts_->Glyph(character, face);
    }
    Symbol DrawSymbol(const SymbolRequest& request) override { return DrawSymbolWithZint(request); }
    bool SavePng(const Bitmap& picture, const std::string& path, std::string* error) override {
        return WritePngFile(picture, path, error);
    }

  private:
    std::unique_ptr<PrinterFonts> fonts_;
};

}  // namespace

std::unique_ptr<Drawing> MakeDrawing(std::string* error, const std::string& fonts) {
    std::unique_ptr<PrinterFonts> faces = PrinterFonts::Open(PrinterFonts::Installed(fonts), error);
    if (faces == nullptr) return nullptr;
    return std::make_unique<LibraryDrawing>(std::move(faces));
}

}  // namespace sim::paper
