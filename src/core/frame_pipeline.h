// Turns a decoded sprite into the premultiplied 32-bit image a layered window shows.
//
// Invariant of every BitmapView: four bytes per pixel in the order blue, green, red, alpha,
// rows from the top. After premultiply() the colours are premultiplied by alpha, which is
// what a layered window blends; a pixel with alpha 0 then contributes nothing, whatever
// colour its sprite stores.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zin {

class PngImage;

struct BitmapView {
  std::uint8_t* bits = nullptr;
  int width = 0;
  int height = 0;
  std::ptrdiff_t stride = 0;  // bytes from one row to the next

  std::uint8_t* row(int r) const { return bits + r * stride; }
};

// Writes the sprite's red, green and blue into each pixel unchanged; the alpha byte is
// cleared, as a conversion from 24 to 32 bits leaves it. Sizes must match.
void copyColours(const PngImage& sprite, const BitmapView& bitmap);

// Writes the sprite's alpha into the fourth byte of every pixel, row by row from the top.
void copyAlpha(const BitmapView& bitmap, const PngImage& sprite);

// Advances (column, row) to the next pixel in row order.
void nextPixel(int& column, int& row, int width);

// Replaces blue, green and red by C × A div 255.
void premultiply(const BitmapView& bitmap);

}  // namespace zin
