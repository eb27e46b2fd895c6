#pragma once
// A character's glyph as the print modes make it: enlarged (GS !, ESC !), bold or double-struck,
// turned 90° clockwise (ESC V) or upside down (ESC {). Variants are made once and kept, so a
// line of text costs a lookup and a blit a character.

#include <cstdint>
#include <unordered_map>

#include "sim/paper/bitmap.h"
#include "sim/paper/drawing.h"

namespace sim::paper {

// Each dot becomes a `width` × `height` block.
Bitmap Enlarge(const Bitmap& picture, int width, int height);
// Every dot also one to its right (within the picture): bold and double-strike on a line printer.
Bitmap Embolden(const Bitmap& picture);
Bitmap TurnClockwise(const Bitmap& picture);
Bitmap TurnUpsideDown(const Bitmap& picture);
// The first `width` columns (all of them when it is wider).
Bitmap Crop(const Bitmap& picture, int width);

struct GlyphStyle {
    Face face = Face::A;
    int width = 1;  // enlargement, 1-8 each way
    int height = 1;
    bool bold = false;
    bool turned = false;      // 90° clockwise
    bool upsideDown = false;  // 180°
};

class GlyphCache {
  public:
    explicit GlyphCache(Drawing& drawing) : drawing_(drawing) {}
    // Valid until Trim() drops it.
    const Bitmap& Get(char32_t character, const GlyphStyle& style);
    // Drops the variants when there are many or they are large (call while no reference is held).
    void Trim();

  private:
    static constexpr std::size_t kKept = 2048;          // variants
    static constexpr std::size_t kKeptBytes = 1 << 20;  // and their dots
    Drawing& drawing_;
    std::unordered_map<uint64_t, Bitmap> variants_;
    std::size_t bytes_ = 0;
};

}  // namespace sim::paper
