#include "core/frame_pipeline.h"

#include <stdexcept>

#include "core/png_reader.h"

namespace zin {

namespace {

// A mismatch would read or write past one of the buffers.
void requireSameSize(const PngImage& sprite, const BitmapView& bitmap) {
  if (sprite.width() != bitmap.width || sprite.height() != bitmap.height) {
    throw std::invalid_argument("The sprite and the frame bitmap differ in size");
  }
}

}  // namespace

void copyColours(const PngImage& sprite, const BitmapView& bitmap) {
  requireSameSize(sprite, bitmap);
  for (int r = 0; r < bitmap.height; ++r) {
    const std::uint8_t* src = sprite.colourRow(r);
    std::uint8_t* dst = bitmap.row(r);
    for (int c = 0; c < bitmap.width; ++c, src += 3, dst += 4) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
      dst[3] = 0;
    }
  }
}

void copyAlpha(const BitmapView& bitmap, const PngImage& sprite) {
  requireSameSize(sprite, bitmap);
  if (!sprite.hasAlpha()) throw std::invalid_argument("The sprite has no alpha channel");
  const int width = bitmap.width;
  const int height = bitmap.height;
  int column = 0;
  int row = 0;
  std::uint8_t* bits = nullptr;
  const std::uint8_t* alpha = nullptr;
  while (row < height) {
    if (column == 0) {
      bits = bitmap.row(row);
      alpha = sprite.alphaRow(row);
    }
    bits[4 * column + 3] = alpha[column];
    nextPixel(column, row, width);
  }
}

void nextPixel(int& column, int& row, int width) {
  if (column < width - 1) {
    ++column;
  } else {
    ++row;
    column = 0;
  }
}

void premultiply(const BitmapView& bitmap) {
  for (int r = 0; r < bitmap.height; ++r) {
    std::uint8_t* px = bitmap.row(r);
    for (int c = 0; c < bitmap.width; ++c, px += 4) {
      const unsigned a = px[3];
      for (int i = 0; i < 3; ++i) px[i] = static_cast<std::uint8_t>(px[i] * a / 255u);
    }
  }
}

}  // namespace zin
