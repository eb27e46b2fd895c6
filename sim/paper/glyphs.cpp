#include "sim/paper/glyphs.h"

#include <algorithm>

namespace sim::paper {

Bitmap Enlarge(const Bitmap& picture, int width, int height) {
    width = std::max(width, 1);
    height = std::max(height, 1);
    Bitmap out(picture.Width() * width, picture.Height() * height);
    for (int y = 0; y < picture.Height(); ++y) {
        const int to = y * height;
        for (int x = 0; x < picture.Width(); ++x) {
            if (picture.Dot(x, y)) out.Fill(x * width, to, width, 1);
        }
        for (int k = 1; k < height; ++k) {
            const auto row = out.Row(to);
            std::copy(row.begin(), row.end(), out.Row(to + k).begin());
        }
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
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < picture.Width(); ++x) {
            if (picture.Dot(x, y)) out.SetDot(h - 1 - y, x);
        }
    }
    return out;
}

Bitmap TurnUpsideDown(const Bitmap& picture) {
    const int w = picture.Width(), h = picture.Height();
    Bitmap out(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (picture.Dot(x, y)) out.SetDot(w - 1 - x, h - 1 - y);
        }
    }
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
    return variants_.emplace(key, std::move(glyph)).first->second;
}

void GlyphCache::Trim() {
    if (variants_.size() > kKept) variants_.clear();
}

}  // namespace sim::paper
