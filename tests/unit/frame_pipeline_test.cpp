#include "core/frame_pipeline.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <vector>

#include "core/png_reader.h"
#include "png_writer.h"

namespace zin {
namespace {

using test::Bytes;
using Pixel = std::array<std::uint8_t, 4>;  // blue, green, red, alpha

constexpr std::uint8_t kPad = 0xEE;

// A bitmap whose rows are 4 bytes longer than its pixels, the gap filled with kPad, so that
// addressing rows by width instead of stride, or writing past a row, shows.
struct PaddedBitmap {
  PaddedBitmap(int width, int height)
      : bytes(static_cast<std::size_t>((width * 4 + 4) * height), kPad),
        view{bytes.data(), width, height, width * 4 + 4} {}

  Pixel pixel(int x, int y) const {
    const std::uint8_t* p = view.row(y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
  }
  void setPixel(int x, int y, Pixel p) {
    for (int i = 0; i < 4; ++i) view.row(y)[x * 4 + i] = p[static_cast<std::size_t>(i)];
  }
  bool padsIntact() const {
    for (int y = 0; y < view.height; ++y) {
      for (int i = view.width * 4; i < view.stride; ++i) {
        if (view.row(y)[i] != kPad) return false;
      }
    }
    return true;
  }

  std::vector<std::uint8_t> bytes;
  BitmapView view;
};

TEST(Premultiply, ScalesColoursByAlphaAndTruncates) {
  struct Case {
    Pixel in, out;
  } cases[] = {
      {{50, 100, 200, 128}, {25, 50, 100, 128}},
      {{255, 255, 255, 1}, {1, 1, 1, 1}},
      {{1, 2, 3, 128}, {0, 1, 1, 128}},  // 0.502, 1.004 and 1.506 are all cut down
      {{17, 99, 250, 255}, {17, 99, 250, 255}},
      {{255, 255, 255, 0}, {0, 0, 0, 0}},
      {{0, 0, 0, 0}, {0, 0, 0, 0}},
      {{255, 255, 255, 254}, {254, 254, 254, 254}},
  };
  // All cases in one two-row bitmap, so that the second row is reached through the stride.
  const int width = (static_cast<int>(std::size(cases)) + 1) / 2;
  PaddedBitmap bitmap(width, 2);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    bitmap.setPixel(static_cast<int>(i) % width, static_cast<int>(i) / width, cases[i].in);
  }

  premultiply(bitmap.view);

  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(bitmap.pixel(static_cast<int>(i) % width, static_cast<int>(i) / width), cases[i].out)
        << "case " << i;
  }
  EXPECT_TRUE(bitmap.padsIntact());
}

TEST(CopyColoursAndAlpha, FillEveryPixelOfANonSquareSprite) {
  // 3 × 2 RGBA, every byte distinct, so a swapped channel, row or column shows.
  const std::vector<Bytes> rows = {
      {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
      {21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32},
  };
  const PngImage sprite = decodePng(test::makePng(3, rows, 6));
  PaddedBitmap bitmap(3, 2);

  copyColours(sprite, bitmap.view);
  EXPECT_EQ(bitmap.pixel(2, 1), (Pixel{31, 30, 29, 0}));

  copyAlpha(bitmap.view, sprite);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) {
      const auto* px = &rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x) * 4];
      EXPECT_EQ(bitmap.pixel(x, y), (Pixel{px[2], px[1], px[0], px[3]})) << x << "," << y;
    }
  }
  EXPECT_TRUE(bitmap.padsIntact());
}

TEST(CopyColoursAndAlpha, RefuseASpriteThatDoesNotFit) {
  const PngImage rgba = decodePng(test::makePng(2, {{1, 2, 3, 4, 5, 6, 7, 8}}, 6));
  const PngImage rgb = decodePng(test::makePng(2, {{1, 2, 3, 4, 5, 6}}, 2));
  PaddedBitmap tooWide(3, 1);
  PaddedBitmap fits(2, 1);
  EXPECT_THROW(copyColours(rgba, tooWide.view), std::invalid_argument);
  EXPECT_THROW(copyAlpha(tooWide.view, rgba), std::invalid_argument);
  EXPECT_THROW(copyAlpha(fits.view, rgb), std::invalid_argument);
  EXPECT_TRUE(tooWide.padsIntact());
}

TEST(NextPixel, WalksRowsFromTheLeftAndWrapsAtTheRowEnd) {
  struct Case {
    int column, row, width;
    int nextColumn, nextRow;
  } cases[] = {
      {0, 0, 3, 1, 0}, {1, 0, 3, 2, 0}, {2, 0, 3, 0, 1}, {2, 4, 3, 0, 5}, {0, 7, 1, 0, 8},
  };
  for (const Case& c : cases) {
    int column = c.column;
    int row = c.row;
    nextPixel(column, row, c.width);
    EXPECT_EQ(column, c.nextColumn) << c.column << "," << c.row << " width " << c.width;
    EXPECT_EQ(row, c.nextRow) << c.column << "," << c.row << " width " << c.width;
  }
}

}  // namespace
}  // namespace zin
