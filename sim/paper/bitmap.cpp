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

namespace {

// Applies `op(target byte, bits)` for the rectangle's dots of each row, a byte at a time.
template <typename Op>
void Rectangle(std::vector<uint8_t>& bits, int stride, int width, int height, int x, int y, int w,
               int h, Op op) {
    const int x0 = std::max(x, 0), x1 = static_cast<int>(std::min<long>(long{x} + w, width));
    const int y0 = std::max(y, 0), y1 = static_cast<int>(std::min<long>(long{y} + h, height));
    if (x0 >= x1) return;
    const int first = x0 / 8, last = (x1 - 1) / 8;
    const uint8_t head = static_cast<uint8_t>(0xFF >> (x0 % 8));
    const uint8_t tail = static_cast<uint8_t>(0xFF << (7 - (x1 - 1) % 8));
    for (int row = y0; row < y1; ++row) {
        uint8_t* line = bits.data() + static_cast<std::size_t>(row) * stride;
        if (first == last) {
            op(line[first], static_cast<uint8_t>(head & tail));
            continue;
        }
        op(line[first], head);
        for (int b = first + 1; b < last; ++b) op(line[b], uint8_t{0xFF});
        op(line[last], tail);
    }
}

}  // namespace

void Bitmap::Fill(int x, int y, int width, int height) {
    Rectangle(bits_, stride_, width_, height_, x, y, width, height,
              [](uint8_t& to, uint8_t bits) { to |= bits; });
}

void Bitmap::Clear(int x, int y, int width, int height) {
    Rectangle(bits_, stride_, width_, height_, x, y, width, height,
              [](uint8_t& to, uint8_t bits) { to &= static_cast<uint8_t>(~bits); });
}

namespace {

struct Narrow {
    const uint8_t* from;
    uint8_t* to;
    int fromStride, toStride, rows;
    uint32_t keep;  // the columns inside, from bit 31 down
    int shift, base, t0, t1;
};

// Rows `bytes` bytes long: each row's dots in one word, placed into the target bytes t0 to t1.
template <int bytes, typename Op>
void BlitNarrow(const Narrow& n, Op op) {
    const uint8_t* from = n.from;
    uint8_t* to = n.to;
    for (int row = 0; row < n.rows; ++row, from += n.fromStride, to += n.toStride) {
        uint32_t word = uint32_t{from[0]} << 24;
        if constexpr (bytes > 1) word |= uint32_t{from[1]} << 16;
        if constexpr (bytes > 2) word |= uint32_t{from[2]} << 8;
        word &= n.keep;
        if (word == 0) continue;
        const uint64_t placed = (uint64_t{word} << 32) >> n.shift;  // byte k at bits 63 - 8k
        for (int t = n.t0; t < n.t1; ++t) {
            const auto bits = static_cast<uint8_t>(placed >> (56 - 8 * (t - n.base)));
            if (bits != 0) op(to[t], bits);
        }
    }
}

}  // namespace

// Places `picture` at (x, y) a source byte at a time, shifted into the one or two target bytes it
// covers; `op(target byte, bits)` combines them.
template <typename Op>
void Bitmap::Blit(const Bitmap& picture, int x, int y, Op op) {
    const int y0 = std::max(0, -y), y1 = std::min(picture.height_, height_ - y);
    const int x0 = std::max(0, -x), x1 = std::min(picture.width_, width_ - x);
    if (x0 >= x1 || y0 >= y1) return;
    const int shift = ((x % 8) + 8) % 8;  // where source bit 0 of a byte lands in its target byte
    const int base = (x - shift) / 8;     // source byte b goes to target bytes b + base and next
    const int first = x0 / 8, last = (x1 - 1) / 8;
    const uint8_t head = static_cast<uint8_t>(0xFF >> (x0 % 8));
    const uint8_t tail = static_cast<uint8_t>(0xFF << (7 - (x1 - 1) % 8));
    if (picture.stride_ <= 3) {
        // Narrow pictures (glyphs): a row's columns in one word, shifted into up to four bytes.
        Narrow narrow;
        narrow.from = picture.bits_.data() + static_cast<std::size_t>(y0) * picture.stride_;
        narrow.to = bits_.data() + static_cast<std::size_t>(y0 + y) * stride_;
        narrow.fromStride = picture.stride_;
        narrow.toStride = stride_;
        narrow.rows = y1 - y0;
        narrow.keep = (~uint32_t{0} >> x0) & (~uint32_t{0} << (31 - (x1 - 1)));
        narrow.shift = shift;
        narrow.base = base;
        narrow.t0 = std::max(0, base + first);
        narrow.t1 = std::min(stride_, base + last + 2);
        if (picture.stride_ == 1) return BlitNarrow<1>(narrow, op);
        if (picture.stride_ == 2) return BlitNarrow<2>(narrow, op);
        return BlitNarrow<3>(narrow, op);
    }
    for (int row = y0; row < y1; ++row) {
        const uint8_t* from =
            picture.bits_.data() + static_cast<std::size_t>(row) * picture.stride_;
        uint8_t* to = bits_.data() + static_cast<std::size_t>(row + y) * stride_;
        // The first and last bytes, masked to the columns inside; their neighbours may be outside.
        const auto edge = [&](int b, uint8_t bits) {
            const int t = b + base;
            if (t >= 0 && t < stride_) op(to[t], static_cast<uint8_t>(bits >> shift));
            if (shift != 0 && t + 1 >= 0 && t + 1 < stride_)
                op(to[t + 1], static_cast<uint8_t>(bits << (8 - shift)));
        };
        edge(first, static_cast<uint8_t>(from[first] & head & (first == last ? tail : 0xFF)));
        if (last == first) continue;
        // Bytes between land wholly inside the target.
        if (shift == 0) {
            for (int b = first + 1; b < last; ++b) op(to[b + base], from[b]);
        } else {
            for (int b = first + 1; b < last; ++b) {
                op(to[b + base], static_cast<uint8_t>(from[b] >> shift));
                op(to[b + base + 1], static_cast<uint8_t>(from[b] << (8 - shift)));
            }
        }
        edge(last, static_cast<uint8_t>(from[last] & tail));
    }
}

void Bitmap::Draw(const Bitmap& picture, int x, int y) {
    Blit(picture, x, y, [](uint8_t& to, uint8_t bits) { to |= bits; });
}

void Bitmap::Erase(const Bitmap& picture, int x, int y) {
    Blit(picture, x, y, [](uint8_t& to, uint8_t bits) { to &= static_cast<uint8_t>(~bits); });
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
