#include "sim/paper/glyphs_freetype.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>

#include "sim/paper/files.h"

namespace sim::paper {

// The faces read their font files from memory mappings of the drawing's own (FreeType's own file
// reading takes paths in the system's code page on Windows); the faces go before their files.
struct PrinterFonts::Library {
    FT_Library handle = nullptr;
    std::vector<std::unique_ptr<MappedFile>> files;
    std::vector<FT_Face> faces;
    ~Library() {
        for (FT_Face face : faces) FT_Done_Face(face);
        if (handle != nullptr) FT_Done_FreeType(handle);
    }
};

// One font file at one size serving one face: where its baseline sits in the cell, and whether
// its outlines are hinted to 1-bit directly or rendered in grey and thresholded.
struct PrinterFonts::Source {
    FT_Face face;
    int baseline;  // dots from the cell's top
    bool centre;   // centre the advance in the cell (fallback fonts of another width)
    bool grey;     // anti-aliased, then dots where the coverage reaches `threshold`
    int threshold;
};

namespace {

constexpr std::size_t kCacheLimit = 1u << 16;  // distinct characters; a fuzzed stream stops here

FT_Face OpenFace(FT_Library library, const MappedFile& file) {
    FT_Face face = nullptr;
    if (FT_New_Memory_Face(library, file.Data(), static_cast<FT_Long>(file.Size()), 0, &face) != 0)
        return nullptr;
    return face;
}

// Selects the bitmap strike of the given height; false when the file has none.
bool SelectStrike(FT_Face face, int height) {
    for (int i = 0; i < face->num_fixed_sizes; ++i) {
        if (face->available_sizes[i].height == height) return FT_Select_Size(face, i) == 0;
    }
    return false;
}

Bitmap Box(CellSize cell, int top, int bottom) {
    Bitmap box(cell.width, cell.height);
    const int left = 1, right = cell.width - 2;
    box.Fill(left, top, right - left + 1, 1);
    box.Fill(left, bottom, right - left + 1, 1);
    box.Fill(left, top, 1, bottom - top + 1);
    box.Fill(right, top, 1, bottom - top + 1);
    return box;
}

}  // namespace

PrinterFonts::PrinterFonts() : library_(std::make_unique<Library>()) {}
PrinterFonts::~PrinterFonts() = default;

PrinterFonts::Files PrinterFonts::Installed(const std::string& folder) {
    return {FontIn(folder, FontFile::Terminus), FontIn(folder, FontFile::DejaVuMono),
            FontIn(folder, FontFile::MicroHei)};
}

std::unique_ptr<PrinterFonts> PrinterFonts::Open(const Files& files, std::string* error) {
    std::string ignored;
    if (error == nullptr) error = &ignored;
    std::unique_ptr<PrinterFonts> fonts(new PrinterFonts());
    Library& lib = *fonts->library_;
    if (FT_Init_FreeType(&lib.handle) != 0) {
        *error = "cannot start FreeType";
        return nullptr;
    }
    // `count` faces of one file (a face object holds one size at a time); none when the file
    // cannot be read or is no font, with `error` set.
    auto open = [&](const std::string& path, FontFile which, int count, std::string* why) {
        std::vector<FT_Face> faces;
        std::string cause;
        std::unique_ptr<MappedFile> file = MappedFile::Open(PathFromUtf8(path), &cause);
        const bool readable = file != nullptr;
        if (readable) lib.files.push_back(std::move(file));
        for (int i = 0; readable && i < count; ++i) {
            FT_Face face = OpenFace(lib.handle, *lib.files.back());
            if (face == nullptr) {
                cause = "cannot read " + path + ": not a font FreeType reads";
                break;
            }
            lib.faces.push_back(face);
            faces.push_back(face);
        }
        if (static_cast<int>(faces.size()) < count) {
            *why = "no printer font: " + cause + " (" + FontAdvice(which) + ")";
            return std::vector<FT_Face>{};
        }
        return faces;
    };
    const std::vector<FT_Face> terminus = open(files.terminus, FontFile::Terminus, 2, error);
    if (terminus.empty()) return nullptr;
    FT_Face terminusA = terminus[0], terminusB = terminus[1];
    if (!SelectStrike(terminusA, 24) || !SelectStrike(terminusB, 16)) {
        *error = "no printer font: " + files.terminus + " lacks its 24 and 16 dot sizes";
        return nullptr;
    }
    const std::vector<FT_Face> hei = open(files.microHei, FontFile::MicroHei, 3, error);
    if (hei.empty()) return nullptr;
    FT_Face heiA = hei[0], heiB = hei[1], heiChinese = hei[2];
    std::string optional;
    const std::vector<FT_Face> mono = open(files.dejaVuMono, FontFile::DejaVuMono, 2, &optional);
    FT_Face monoA = mono.empty() ? nullptr : mono[0];
    FT_Face monoB = mono.empty() ? nullptr : mono[1];

    // Font A, 12 × 24: Terminus fills the cell (ascent 19 of 24). Font B, 9 × 17: Terminus 8 × 16
    // with the spare column right and the spare row on top.
    const int baselineA = static_cast<int>(terminusA->size->metrics.ascender >> 6);
    const int baselineB = 1 + static_cast<int>(terminusB->size->metrics.ascender >> 6);
    fonts->chains_[static_cast<int>(Face::A)].push_back({terminusA, baselineA, false, false, 0});
    fonts->chains_[static_cast<int>(Face::B)].push_back({terminusB, baselineB, false, false, 0});
    if (monoA != nullptr && monoB != nullptr) {
        FT_Set_Pixel_Sizes(monoA, 0, 19);
        FT_Set_Pixel_Sizes(monoB, 0, 14);
        fonts->chains_[static_cast<int>(Face::A)].push_back({monoA, baselineA, true, true, 112});
        fonts->chains_[static_cast<int>(Face::B)].push_back({monoB, baselineB, true, true, 112});
    }
    FT_Set_Pixel_Sizes(heiA, 0, 12);
    FT_Set_Pixel_Sizes(heiB, 0, 9);
    FT_Set_Pixel_Sizes(heiChinese, 0, 24);
    fonts->chains_[static_cast<int>(Face::A)].push_back({heiA, baselineA, true, true, 112});
    fonts->chains_[static_cast<int>(Face::B)].push_back({heiB, baselineB, true, true, 112});
    fonts->chains_[static_cast<int>(Face::Chinese)].push_back({heiChinese, 21, true, true, 112});

    fonts->boxes_[static_cast<int>(Face::A)] = Box(CellOf(Face::A), 5, baselineA - 1);
    fonts->boxes_[static_cast<int>(Face::B)] = Box(CellOf(Face::B), 3, baselineB - 1);
    fonts->boxes_[static_cast<int>(Face::Chinese)] = Box(CellOf(Face::Chinese), 1, 22);
    return fonts;
}

const Bitmap& PrinterFonts::Glyph(char32_t character, Face face) {
    const int f = static_cast<int>(face);
    if (f < 0 || f > 2) return boxes_[0];
    const std::lock_guard<std::mutex> lock(mutex_);
    if (character < 128 && ascii_[f][character] != nullptr) return *ascii_[f][character];
    const uint64_t key = (static_cast<uint64_t>(f) << 32) | character;
    auto found = cache_.find(key);
    if (found == cache_.end()) {
        if (cache_.size() >= kCacheLimit) return boxes_[f];
        found = cache_.emplace(key, Render(character, face)).first;
    }
    if (character < 128) ascii_[f][character] = &found->second;
    return found->second;
}

Bitmap PrinterFonts::Render(char32_t character, Face face) {
    const CellSize cell = CellOf(face);
    for (const Source& source : chains_[static_cast<int>(face)]) {
        // Terminus slashes its zero; a receipt printer's ROM font does not, and OCR reads the
        // slashed one as 6, 8 or @. The letter O's outline is the printer's zero.
        const bool zero = character == U'0' && !source.grey;
        const FT_UInt index = FT_Get_Char_Index(source.face, zero ? U'O' : character);
        if (index == 0) continue;
        const FT_Int32 flags = source.grey ? FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT
                                           : FT_LOAD_RENDER | FT_LOAD_TARGET_MONO;
        if (FT_Load_Glyph(source.face, index, flags) != 0) continue;
        const FT_GlyphSlot slot = source.face->glyph;
        const FT_Bitmap& from = slot->bitmap;
        int x0 = slot->bitmap_left;
        if (source.centre) x0 += (cell.width - static_cast<int>(slot->advance.x >> 6)) / 2;
        const int y0 = source.baseline - slot->bitmap_top;
        Bitmap glyph(cell.width, cell.height);
        for (unsigned row = 0; row < from.rows; ++row) {
            const unsigned char* line = from.buffer + static_cast<long>(row) * from.pitch;
            for (unsigned col = 0; col < from.width; ++col) {
                bool dot = false;
                if (from.pixel_mode == FT_PIXEL_MODE_MONO) {
                    dot = (line[col / 8] >> (7 - col % 8)) & 1;
                } else if (from.pixel_mode == FT_PIXEL_MODE_GRAY) {
                    dot = line[col] >= source.threshold;
                }
                if (dot) glyph.SetDot(x0 + static_cast<int>(col), y0 + static_cast<int>(row));
            }
        }
        return glyph;
    }
    return boxes_[static_cast<int>(face)];
}

}  // namespace sim::paper
