#include "core/png_reader.h"

#include <gtest/gtest.h>

#include <random>

#include "png_writer.h"

namespace zin {
namespace {

using test::Bytes;

// A 5 × 4 RGBA image whose bytes differ everywhere, so that a wrong predictor shows.
std::vector<Bytes> rgbaRows() {
  std::vector<Bytes> rows;
  std::mt19937 rng(7);
  for (int y = 0; y < 4; ++y) {
    Bytes row;
    for (int i = 0; i < 5 * 4; ++i) row.push_back(static_cast<std::uint8_t>(rng()));
    rows.push_back(row);
  }
  return rows;
}

void expectPlanes(const PngImage& img, const std::vector<Bytes>& rows) {
  for (int y = 0; y < img.height(); ++y) {
    for (int x = 0; x < img.width(); ++x) {
      const auto* px = &rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x) * 4];
      ASSERT_EQ(img.colourRow(y)[x * 3 + 0], px[0]) << x << "," << y;
      ASSERT_EQ(img.colourRow(y)[x * 3 + 1], px[1]) << x << "," << y;
      ASSERT_EQ(img.colourRow(y)[x * 3 + 2], px[2]) << x << "," << y;
      ASSERT_EQ(img.alphaRow(y)[x], px[3]) << x << "," << y;
    }
  }
}

TEST(PngReader, UndoesEveryRowFilter) {
  const auto rows = rgbaRows();
  for (std::vector<int> filters : {std::vector<int>{0}, {1}, {2}, {3}, {4}, {4, 3, 2, 1}}) {
    SCOPED_TRACE(::testing::PrintToString(filters));
    PngImage img;
    img.decode(test::makePng(5, rows, 6, filters));
    EXPECT_EQ(img.width(), 5);
    EXPECT_EQ(img.height(), 4);
    EXPECT_EQ(img.header().colourType, 6);
    EXPECT_TRUE(img.hasAlpha());
    expectPlanes(img, rows);
  }
}

TEST(PngReader, UndoesEveryRowFilterInEveryColourType) {
  // Grey, grey + alpha and RGB rows have their own widths per pixel (1, 2, 3 bytes), so a
  // filter that reaches for the wrong left neighbour shows here and not with RGBA.
  std::mt19937 rng(11);
  for (int colourType : {0, 4, 2}) {
    const int bpp = colourType == 0 ? 1 : colourType == 4 ? 2 : 3;
    std::vector<Bytes> rows;
    for (int y = 0; y < 5; ++y) {
      Bytes row;
      for (int i = 0; i < 7 * bpp; ++i) row.push_back(static_cast<std::uint8_t>(rng()));
      rows.push_back(row);
    }
    for (int filter = 1; filter <= 4; ++filter) {
      SCOPED_TRACE(::testing::Message() << "colour type " << colourType << " filter " << filter);
      const auto img = decodePng(test::makePng(7, rows, colourType, {filter}));
      for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
          const std::uint8_t* px =
              &rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x * bpp)];
          const std::uint8_t* rgb = img.colourRow(y) + x * 3;
          if (colourType == 2) {
            ASSERT_EQ(Bytes(rgb, rgb + 3), Bytes(px, px + 3)) << x << "," << y;
          } else {
            ASSERT_EQ(Bytes(rgb, rgb + 3), Bytes(3, px[0])) << x << "," << y;
          }
          if (colourType == 4) {
            ASSERT_EQ(img.alphaRow(y)[x], px[1]) << x << "," << y;
          }
        }
      }
    }
  }
}

TEST(PngReader, ExpandsTheOtherColourTypes) {
  // grey, grey + alpha, RGB and palette, each two pixels wide and one high
  const Bytes palette = {10, 20, 30, 40, 50, 60};
  struct Case {
    int colourType;
    Bytes row;
    Bytes colour;
    Bytes alpha;
  } cases[] = {
      {0, {7, 200}, {7, 7, 7, 200, 200, 200}, {}},
      {4, {7, 1, 200, 255}, {7, 7, 7, 200, 200, 200}, {1, 255}},
      {2, {1, 2, 3, 4, 5, 6}, {1, 2, 3, 4, 5, 6}, {}},
      {3, {1, 0}, {40, 50, 60, 10, 20, 30}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.colourType);
    const auto img = decodePng(
        test::makePng(2, {c.row}, c.colourType, {1}, c.colourType == 3 ? palette : Bytes{}));
    EXPECT_EQ(Bytes(img.colourRow(0), img.colourRow(0) + 6), c.colour);
    EXPECT_EQ(img.hasAlpha(), !c.alpha.empty());
    if (img.hasAlpha()) {
      EXPECT_EQ(Bytes(img.alphaRow(0), img.alphaRow(0) + 2), c.alpha);
    }
  }
}

TEST(PngReader, ListsChunksInFileOrder) {
  const auto png = test::makePng(5, rgbaRows(), 6);
  EXPECT_EQ(pngChunkTypes(png), (std::vector<std::string>{"IHDR", "tEXt", "IDAT", "IEND"}));
}

Bytes withChunks(const std::vector<std::pair<std::string, Bytes>>& chunks) {
  Bytes png = test::signature();
  for (const auto& [type, data] : chunks) test::putChunk(png, type, data);
  return png;
}

TEST(PngReader, RejectsDamagedAndUnsupportedData) {
  const auto rows = rgbaRows();
  const Bytes good = test::makePng(5, rows, 6);
  const Bytes idat = test::filteredData(rows, 4, {0});
  Bytes badCrc = good;
  badCrc[badCrc.size() - 12 - 5] ^= 0x01;  // inside the data of IDAT, the last chunk before IEND
  const Bytes shortData = test::filteredData({rows[0]}, 4, {0});
  Bytes rawWithBadFilter{9};
  rawWithBadFilter.insert(rawWithBadFilter.end(), rows[0].begin(), rows[0].end());
  uLongf zsize = 256;
  Bytes zBad(zsize);
  compress2(zBad.data(), &zsize, rawWithBadFilter.data(),
            static_cast<uLong>(rawWithBadFilter.size()), 9);
  zBad.resize(zsize);

  struct Case {
    const char* what;
    Bytes data;
    const char* message;
  } cases[] = {
      {"empty", {}, "signature"},
      {"not a png", Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0}, "signature"},
      {"crc", badCrc, "CRC error in chunk IDAT"},
      {"no IEND", Bytes(good.begin(), good.end() - 12), "no IEND"},
      {"IHDR not first", withChunks({{"tEXt", {'a', 0}}, {"IHDR", test::ihdr(5, 4, 8, 6)}}),
       "IHDR"},
      {"short image data",
       withChunks({{"IHDR", test::ihdr(5, 4, 8, 6)}, {"IDAT", shortData}, {"IEND", {}}}), "short"},
      {"no image data", withChunks({{"IHDR", test::ihdr(5, 4, 8, 6)}, {"IEND", {}}}),
       "no image data"},
      {"garbage image data",
       withChunks({{"IHDR", test::ihdr(5, 4, 8, 6)}, {"IDAT", {1, 2, 3, 4, 5}}, {"IEND", {}}}),
       "compressed image data"},
      {"unknown row filter",
       withChunks({{"IHDR", test::ihdr(5, 1, 8, 6)}, {"IDAT", zBad}, {"IEND", {}}}),
       "row filter 9"},
      {"16 bits", withChunks({{"IHDR", test::ihdr(5, 4, 16, 6)}, {"IDAT", idat}, {"IEND", {}}}),
       "bit depth 16"},
      {"interlaced",
       withChunks({{"IHDR", test::ihdr(5, 4, 8, 6, 1)}, {"IDAT", idat}, {"IEND", {}}}),
       "interlaced"},
      {"zero width", withChunks({{"IHDR", test::ihdr(0, 4, 8, 6)}, {"IEND", {}}}), "zero width"},
      {"huge", withChunks({{"IHDR", test::ihdr(100000, 100000, 8, 6)}, {"IEND", {}}}), "too large"},
      {"colour type 5", withChunks({{"IHDR", test::ihdr(5, 4, 8, 5)}, {"IEND", {}}}),
       "colour type"},
      {"palette missing",
       withChunks({{"IHDR", test::ihdr(5, 4, 8, 3)}, {"IDAT", idat}, {"IEND", {}}}), "no palette"},
      {"unknown critical chunk",
       withChunks({{"IHDR", test::ihdr(5, 4, 8, 6)}, {"ABCD", {}}, {"IEND", {}}}),
       "critical chunk ABCD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PngImage img;
    try {
      img.decode(c.data);
      ADD_FAILURE() << "decoded";
    } catch (const PngError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(img.width(), 0);
  }
}

TEST(PngReader, EveryTruncationIsReportedNotOverRead) {
  const Bytes good = test::makePng(5, rgbaRows(), 6, {4});
  for (std::size_t n = 0; n < good.size(); ++n) {
    const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_THROW(decodePng(cut), PngError) << n;
  }
}

TEST(PngReader, ReusedImageFollowsEachDecode) {
  const auto big = rgbaRows();
  const std::vector<Bytes> small = {Bytes{1, 2, 3, 4}};
  PngImage img;
  img.decode(test::makePng(5, big, 6, {2}));
  img.decode(test::makePng(1, small, 6));
  EXPECT_EQ(img.width(), 1);
  expectPlanes(img, small);
  EXPECT_THROW(img.decode(Bytes{1, 2, 3}), PngError);
  img.decode(test::makePng(5, big, 6, {3}));
  expectPlanes(img, big);
}

}  // namespace
}  // namespace zin
