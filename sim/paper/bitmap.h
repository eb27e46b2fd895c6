#pragma once
// A picture of printer dots: 1 bit a dot, rows of whole bytes, the leftmost dot in the most
// significant bit (as raster images arrive), 1 = black. Everything outside is white: reads there
// give white, writes there are dropped, so a caller never writes past the picture.

#include <cstdint>
#include <span>
#include <vector>

namespace sim::paper {

class Bitmap {
  public:
    Bitmap() = default;
    // Negative sizes count as 0.
    Bitmap(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Stride() const { return stride_; }  // bytes a row
    bool Empty() const { return width_ == 0 || height_ == 0; }

    bool Dot(int x, int y) const;
    void SetDot(int x, int y, bool black = true);
    // Blackens the rectangle (clipped).
    void Fill(int x, int y, int width, int height);
    // Whitens the rectangle (clipped).
    void Clear(int x, int y, int width, int height);
    // Ors `picture` in with its top left corner at (x, y) (clipped).
    void Draw(const Bitmap& picture, int x, int y);
    // Whitens the dots that are black in `picture` placed at (x, y) (clipped).
    void Erase(const Bitmap& picture, int x, int y);
    // Adds white rows below, or drops rows from the bottom.
    void Resize(int height);

    std::span<const uint8_t> Row(int y) const;  // y must be inside
    std::span<uint8_t> Row(int y);
    std::span<const uint8_t> Bits() const { return bits_; }

    bool operator==(const Bitmap&) const = default;

  private:
    template <typename Op>
    void Blit(const Bitmap& picture, int x, int y, Op op);

    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    std::vector<uint8_t> bits_;
};

}  // namespace sim::paper
