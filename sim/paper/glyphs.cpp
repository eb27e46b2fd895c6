#include "sim/paper/glyphs.h"

#include <algorithm>

namespace sim::paper {

namespace {

// Calls `dot(x, y)` for each black dot, skipping white bytes whole.
template <typename Dot>
void EachDot(const Bitmap& picture, Dot dot) {
    for (int y = 0; y < picture.Height(); ++y) {
        const std::span<const uint8_t> row = picture.Row(y);
        for (std::size_t b = 0; b < row.size(); ++b) {
            if (row[b] == 0) continue;
            for (int bit = 0; bit < 8; ++bit) {
                if (row[b] & (0x80 >> bit)) dot(static_cast<int>(b) * 8 + bit, y);
            }
        }
    }
}

}  // namespace

Bitmap Enlarge(const Bitmap& picture, int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    if (width == 1 && height == 1) return picture;
    Bitmap out(picture.Width() * width, picture.Height() * height);
    EachDot(picture, [&](int x, int y) { out.Fill(x * width, y * height, width, 1); });
    for (int y = 0; y < picture.Height(); ++y) {
        const auto row = out.Row(y * height);
        for (int k = 1; k < height; ++k)
            std::copy(row.begin(), row.end(), out.Row(y * height + k).begin());
    }
    return out;
}

Bitmap Embolden(const Bitmap& picture) {
    Bitmap out = picture;
    out.Draw(picture, 1, 0);
    return out;
}

Bitmap TurnClockwise(const Bitmap& picture) {
    const int h = picture.Height();
    Bitmap out(h, picture.Width());
    EachDot(picture, [&](int x, int y) { out.SetDot(h - 1 - y, x); });
    return out;
}

Bitmap TurnUpsideDown(const Bitmap& picture) {
    const int w = picture.Width(), h = picture.Height();
    Bitmap out(w, h);
    EachDot(picture, [&](int x, int y) { out.SetDot(w - 1 - x, h - 1 - y); });
    return out;
}

Bitmap Crop(const Bitmap& picture, int width) {
    if (width >= picture.Width()) return picture;
    Bitmap out(width, picture.Height());
    out.Draw(picture, 0, 0);
    return out;
}

const Bitmap& GlyphCache::Get(char32_t character, const GlyphStyle& s) {
    const Bitmap& cell = drawing_.Glyph(character, s.face);
    if (s.width == 1 && s.height == 1 && !s.bold && !s.turned && !s.upsideDown) return cell;
    const uint64_t key = uint64_t{character} << 16 | uint64_t(s.face) << 11 |
                         uint64_t(s.width - 1) << 8 | uint64_t(s.height - 1) << 5 |
                         uint64_t(s.bold) << 2 | uint64_t(s.turned) << 1 | uint64_t(s.upsideDown);
    const auto found = variants_.find(key);
    if (found != variants_.end()) return found->second;
    Bitmap glyph = Enlarge(cell, s.width, s.height);
    if (s.bold) glyph = Embolden(glyph);
    if (s.turned) glyph = TurnClockwise(glyph);
    if (s.upsideDown) glyph = TurnUpsideDown(glyph);
    bytes_ += glyph.Bits().size();
    return variants_.emplace(key, std::move(glyph)).first->second;
}

void GlyphCache::Trim() {
    if (variants_.size() <= kKept && bytes_ <= kKeptBytes) return;
    variants_.clear();
    bytes_ = 0;
}

}  // namespace sim::paper
