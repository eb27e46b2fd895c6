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
    if (x0 >= x1) return;
    // Whole bytes between partial first and last ones.
    const int first = x0 / 8, last = (x1 - 1) / 8;
    const uint8_t head = static_cast<uint8_t>(0xFF >> (x0 % 8));
    const uint8_t tail = static_cast<uint8_t>(0xFF << (7 - (x1 - 1) % 8));
    for (int row = y0; row < y1; ++row) {
        uint8_t* bytes = bits_.data() + static_cast<std::size_t>(row) * stride_;
        if (first == last) {
            bytes[first] |= head & tail;
            continue;
        }
        bytes[first] |= head;
        std::fill(bytes + first + 1, bytes + last, uint8_t{0xFF});
        bytes[last] |= tail;
    }
}

void Bitmap::Draw(const Bitmap& picture, int x, int y) {
    const int y0 = std::max(0, -y), y1 = std::min(picture.height_, height_ - y);
    const int x0 = std::max(0, -x), x1 = std::min(picture.width_, width_ - x);
    if (x0 >= x1) return;
    const int shift = ((x % 8) + 8) % 8;  // where source bit 0 of a byte lands in the target byte
    // The target byte that a source byte's first bit falls in, for source byte 0 (x may be < 0).
    const int base = (x - shift) / 8;
    const int firstByte = x0 / 8, lastByte = (x1 - 1) / 8;
    const uint8_t head = static_cast<uint8_t>(0xFF >> (x0 % 8));
    const uint8_t tail = static_cast<uint8_t>(0xFF << (7 - (x1 - 1) % 8));
    for (int row = y0; row < y1; ++row) {
        const uint8_t* from =
            picture.bits_.data() + static_cast<std::size_t>(row) * picture.stride_;
        uint8_t* to = bits_.data() + static_cast<std::size_t>(row + y) * stride_;
        // Source bytes masked to the copied columns, each split over one or two target bytes.
        for (int k = firstByte; k <= lastByte; ++k) {
            uint8_t bits = from[k];
            if (k == firstByte) bits &= head;
            if (k == lastByte) bits &= tail;
            if (bits == 0) continue;
            const int at = base + k;
            if (at >= 0) to[at] |= static_cast<uint8_t>(bits >> shift);
            if (shift != 0 && at + 1 < stride_) {
                to[at + 1] |= static_cast<uint8_t>(bits << (8 - shift));
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
