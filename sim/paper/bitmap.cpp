#include "sim/paper/bitmap.h"

#include <algorithm>

namespace sim::paper {

Bitmap::Bitmap(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      stride_((width_ + 7) / 8),
      bits_(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_)) {}

bool Bitmap::Dot(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return false;
    return (bits_[static_cast<std::size_t>(y) * stride_ + x / 8] >> (7 - x % 8)) & 1;
}

void Bitmap::SetDot(int x, int y, bool black) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    uint8_t& b = bits_[static_cast<std::size_t>(y) * stride_ + x / 8];
    const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
    b = black ? (b | bit) : (b & ~bit);
}

void Bitmap::Fill(int x, int y, int width, int height) {
    const int x0 = std::max(x, 0), x1 = std::min<long>(long{x} + width, width_);
    const int y0 = std::max(y, 0), y1 = std::min<long>(long{y} + height, height_);
    for (int row = y0; row < y1; ++row) {
        for (int col = x0; col < x1; ++col) SetDot(col, row);
    }
}

void Bitmap::Draw(const Bitmap& picture, int x, int y) {
    const int y0 = std::max(0, -y), y1 = std::min(picture.height_, height_ - y);
    const int x0 = std::max(0, -x), x1 = std::min(picture.width_, width_ - x);
    if (x0 >= x1) return;
    const int shift = ((x % 8) + 8) % 8;  // where source bit 0 of a byte lands in the target byte
    for (int row = y0; row < y1; ++row) {
        const uint8_t* from =
            picture.bits_.data() + static_cast<std::size_t>(row) * picture.stride_;
        uint8_t* to = bits_.data() + static_cast<std::size_t>(row + y) * stride_;
        if (shift == 0 && x0 % 8 == 0) {
            // Aligned: whole source bytes, the last one masked to the copied width.
            for (int col = x0; col < x1; col += 8) {
                uint8_t bits = from[col / 8];
                if (x1 - col < 8) bits &= static_cast<uint8_t>(0xFF << (8 - (x1 - col)));
                to[(col + x) / 8] |= bits;
            }
            continue;
        }
        for (int col = x0; col < x1; ++col) {
            if ((from[col / 8] >> (7 - col % 8)) & 1) {
                const int tx = col + x;
                to[tx / 8] |= static_cast<uint8_t>(0x80 >> (tx % 8));
            }
        }
    }
}

void Bitmap::Resize(int height) {
    height_ = std::max(height, 0);
    bits_.resize(static_cast<std::size_t>(stride_) * static_cast<std::size_t>(height_));
}

std::span<const uint8_t> Bitmap::Row(int y) const {
    return {bits_.data() + static_cast<std::size_t>(y) * stride_,
            static_cast<std::size_t>(stride_)};
}

std::span<uint8_t> Bitmap::Row(int y) {
    return {bits_.data() + static_cast<std::size_t>(y) * stride_,
            static_cast<std::size_t>(stride_)};
}

}  // namespace sim::paper
