// The committed artwork, read back with the program's own PNG reader: file form, geometry,
// headings, shadow and the animation properties the fly behaviour relies on.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "core/png_reader.h"

namespace zin {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kResources = ZIN_RESOURCES_DIR;

// Bearing of each direction's walking step, degrees clockwise from straight up.
constexpr std::array<double, 8> kStepBearing{333.4, 18.4, 56.3, 111.8, 146.3, 201.8, 243.4, 296.6};
constexpr int kWalkFrames = 6;
constexpr int kIdleFrames = 5;

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string walkName(int d, int f) {
  return std::to_string(d) + "_" + std::to_string(f);
}
std::string idleName(int d, int f) {
  return "L" + walkName(d, f);
}

std::vector<std::string> allNames() {
  std::vector<std::string> names;
  for (int d = 1; d <= 8; ++d) {
    for (int f = 1; f <= kWalkFrames; ++f) names.push_back(walkName(d, f));
    for (int f = 1; f <= kIdleFrames; ++f) names.push_back(idleName(d, f));
  }
  return names;
}

struct Pixel {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;
  // What a correct renderer shows: the colour of an invisible pixel does not count.
  bool looksLike(const Pixel& o) const {
    return a == o.a && (a == 0 || (r == o.r && g == o.g && b == o.b));
  }
};

struct Sprite {
  std::vector<Pixel> px;  // 60 × 60, rows from the top
  const Pixel& at(int x, int y) const { return px[static_cast<std::size_t>(y) * 60 + x]; }
};

Sprite load(const std::string& name) {
  const PngImage img = decodePng(readFile(kResources / "sprites" / (name + ".png")));
  Sprite s;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) {
      const std::uint8_t* c = img.colourRow(y) + x * 3;
      s.px.push_back({c[0], c[1], c[2], img.alphaRow(y)[x]});
    }
  return s;
}

int changedPixels(const Sprite& a, const Sprite& b) {
  int n = 0;
  for (std::size_t i = 0; i < a.px.size(); ++i) n += !a.px[i].looksLike(b.px[i]);
  return n;
}

// The opaque body: centroid, and the heading read off the image alone: the main axis of
// the body's second moments, pointed at the eyes (the purple pixels).
struct Body {
  double cx = 0, cy = 0;
  double ux = 0, uy = 0;  // unit vector towards the head, screen y down
  int opaque = 0;
  double headingDeg() const {
    return std::fmod(std::atan2(ux, -uy) * 180 / std::numbers::pi + 360, 360);
  }
};

Body measureBody(const Sprite& s) {
  Body b;
  double ex = 0, ey = 0;
  int eyes = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 60; ++x) {
      const Pixel& p = s.at(x, y);
      if (p.a != 255) continue;
      ++b.opaque;
      b.cx += x;
      b.cy += y;
      if (p.r > p.g + 24 && p.b > p.g + 24) {
        ++eyes;
        ex += x;
        ey += y;
      }
    }
  if (b.opaque == 0 || eyes == 0) return b;
  b.cx /= b.opaque;
  b.cy /= b.opaque;
  double mxx = 0, myy = 0, mxy = 0;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 60; ++x)
      if (s.at(x, y).a == 255) {
        mxx += (x - b.cx) * (x - b.cx);
        myy += (y - b.cy) * (y - b.cy);
        mxy += (x - b.cx) * (y - b.cy);
      }
  const double axis = 0.5 * std::atan2(2 * mxy, mxx - myy);
  b.ux = std::cos(axis);
  b.uy = std::sin(axis);
  if (b.ux * (ex / eyes - b.cx) + b.uy * (ey / eyes - b.cy) < 0) {
    b.ux = -b.ux;
    b.uy = -b.uy;
  }
  return b;
}

double angleBetween(double a, double b) {
  const double d = std::fmod(std::fabs(a - b), 360);
  return d > 180 ? 360 - d : d;
}

TEST(SpriteSet, FolderHoldsExactlyTheSpriteNames) {
  std::set<std::string> found;
  for (const auto& entry : fs::directory_iterator(kResources / "sprites"))
    found.insert(entry.path().filename().string());
  std::set<std::string> expected;
  for (const std::string& name : allNames()) expected.insert(name + ".png");
  EXPECT_EQ(found, expected);
}

TEST(SpriteSet, EverySpriteHasTheFileFormAndPixelBudget) {
  const std::vector<std::string> chunkOrder{"IHDR", "tEXt", "iTXt", "IDAT", "IEND"};
  for (const std::string& name : allNames()) {
    SCOPED_TRACE(name);
    const Bytes bytes = readFile(kResources / "sprites" / (name + ".png"));
    EXPECT_GE(bytes.size(), 3895u);
    EXPECT_LE(bytes.size(), 4717u);
    EXPECT_EQ(pngChunkTypes(bytes), chunkOrder);
    const PngHeader h = decodePng(bytes).header();
    EXPECT_EQ(std::vector<int>({static_cast<int>(h.width), static_cast<int>(h.height), h.bitDepth,
                                h.colourType, h.compression, h.filter, h.interlace}),
              std::vector<int>({60, 60, 8, 6, 0, 0, 0}));

    const Sprite s = load(name);
    int opaque = 0, partial = 0;
    int left = 60, top = 60, right = -1, bottom = -1;
    std::set<std::array<int, 3>> hiddenColours;
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 60; ++x) {
        const Pixel& p = s.at(x, y);
        opaque += p.a == 255;
        partial += p.a > 0 && p.a < 255;
        if (p.a == 0) {
          hiddenColours.insert({p.r, p.g, p.b});
          continue;
        }
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
    EXPECT_GE(opaque, 160);
    EXPECT_LE(opaque, 185);
    EXPECT_GE(partial, 698);
    EXPECT_LE(partial, 834);
    EXPECT_GE(left, 2);
    EXPECT_LE(right, 49);
    EXPECT_GE(top, 2);
    EXPECT_LE(bottom, 54);
    // Invisible pixels carry white, black and more, so a renderer that forgets to
    // premultiply shows the fault at once.
    EXPECT_TRUE(hiddenColours.contains({255, 255, 255}));
    EXPECT_TRUE(hiddenColours.contains({0, 0, 0}));
    EXPECT_GE(hiddenColours.size(), 3u);

    const Body body = measureBody(s);
    EXPECT_NEAR(body.cx, 28, 2);
    EXPECT_NEAR(body.cy, 28, 2);
  }
}

class SpriteRow : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    for (int f = 1; f <= kWalkFrames; ++f) walk.push_back(load(walkName(GetParam(), f)));
    for (int f = 1; f <= kIdleFrames; ++f) idle.push_back(load(idleName(GetParam(), f)));
  }
  std::vector<Sprite> walk, idle;
};

TEST_P(SpriteRow, EveryFrameFacesAlongTheStepHeadFirst) {
  const double bearing = kStepBearing[GetParam() - 1];
  for (const auto* frames : {&walk, &idle})
    for (const Sprite& s : *frames)
      EXPECT_LE(angleBetween(measureBody(s).headingDeg(), bearing), 10);
}

TEST_P(SpriteRow, ShadowFallsToTheLowerLeftOfTheBody) {
  for (const Sprite& s : {walk[0], idle[0]}) {
    const Body body = measureBody(s);
    double sx = 0, sy = 0;
    int n = 0;
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 60; ++x) {
        const Pixel& p = s.at(x, y);
        if (p.a > 0 && p.a < 32 && std::max({p.r, p.g, p.b}) < 80) {
          sx += x;
          sy += y;
          ++n;
        }
      }
    ASSERT_GT(n, 0);
    EXPECT_LT(sx / n - body.cx, -1);
    EXPECT_GT(sy / n - body.cy, 1);
  }
}

TEST_P(SpriteRow, WalkingFramesShareOneOpaqueBody) {
  for (int f = 1; f < kWalkFrames; ++f)
    for (std::size_t i = 0; i < walk[0].px.size(); ++i) {
      const Pixel &first = walk[0].px[i], &other = walk[f].px[i];
      if (first.a == 255 || other.a == 255) {
        ASSERT_TRUE(first.looksLike(other)) << "frame " << f + 1 << ", pixel " << i;
      }
    }
}

TEST_P(SpriteRow, AnimationsLoopWithoutAJump) {
  for (const auto* frames : {&walk, &idle}) {
    const std::size_t n = frames->size();
    int largestStep = 0;
    for (std::size_t f = 0; f + 1 < n; ++f) {
      const int step = changedPixels((*frames)[f], (*frames)[f + 1]);
      EXPECT_GT(step, 0) << "frames " << f + 1 << " and " << f + 2 << " are the same";
      largestStep = std::max(largestStep, step);
    }
    EXPECT_LE(changedPixels((*frames)[n - 1], (*frames)[0]), largestStep) << n << " frames";
  }
}

TEST_P(SpriteRow, IdleFramesMoveOnlyTheLegsInFrontOfTheHead) {
  const Body body = measureBody(idle[0]);
  std::set<int> changed;
  for (const Sprite& s : idle)
    for (int i = 0; i < 3600; ++i)
      if (!s.px[i].looksLike(idle[0].px[i])) changed.insert(i);
  EXPECT_GE(changed.size(), 71u);
  EXPECT_LE(changed.size(), 84u);
  for (int i : changed) {
    const double along = (i % 60 - body.cx) * body.ux + (i / 60 - body.cy) * body.uy;
    EXPECT_GT(along, 0) << "pixel " << i % 60 << "," << i / 60 << " is behind the head";
  }
}

INSTANTIATE_TEST_SUITE_P(Directions, SpriteRow, testing::Range(1, 9));

// ---- icons and button picture: a few lines of little-endian parsing, no platform headers.

std::uint32_t le(const Bytes& b, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = v << 8 | b.at(at + i);
  return v;
}

struct IconImage {
  int width, height, bitCount;
  Bytes dib;
};

std::vector<IconImage> readIco(const fs::path& path) {
  const Bytes b = readFile(path);
  EXPECT_EQ(le(b, 0, 2), 0u);
  EXPECT_EQ(le(b, 2, 2), 1u);
  std::vector<IconImage> images;
  for (std::uint32_t i = 0; i < le(b, 4, 2); ++i) {
    const std::size_t e = 6 + 16 * i;
    const std::uint32_t size = le(b, e + 8, 4), offset = le(b, e + 12, 4);
    const Bytes dib(b.begin() + offset, b.begin() + offset + size);
    // A classic DIB entry: BITMAPINFOHEADER, twice the height for colour and mask, no
    // compression.
    EXPECT_EQ(le(dib, 0, 4), 40u);
    EXPECT_EQ(le(dib, 8, 4), 2 * le(dib, 4, 4));
    EXPECT_EQ(le(dib, 16, 4), 0u);
    images.push_back({static_cast<int>(le(dib, 4, 4)), static_cast<int>(le(dib, 8, 4) / 2),
                      static_cast<int>(le(dib, 14, 2)), dib});
  }
  return images;
}

TEST(ProgramPictures, IconsHoldTheFlyAt48And16Pixels) {
  const std::vector<IconImage> main = readIco(kResources / "zintara.ico");
  ASSERT_EQ(main.size(), 2u);
  std::set<std::pair<int, int>> sizes;
  for (const IconImage& img : main) {
    sizes.insert({img.width, img.height});
    EXPECT_EQ(img.bitCount, 32);
    // Transparent corner, and some fully opaque body.
    const std::size_t row = static_cast<std::size_t>(img.width) * 4;
    EXPECT_EQ(img.dib.at(40 + 3), 0);
    bool opaque = false;
    for (std::size_t i = 40 + 3; i < 40 + row * img.height; i += 4) opaque |= img.dib[i] == 255;
    EXPECT_TRUE(opaque);
  }
  EXPECT_EQ(sizes, (std::set<std::pair<int, int>>{{48, 48}, {16, 16}}));

  const std::vector<IconImage> settings = readIco(kResources / "settings16.ico");
  ASSERT_EQ(settings.size(), 1u);
  const IconImage& small = main[0].width == 16 ? main[0] : main[1];
  EXPECT_EQ(settings[0].dib, small.dib);
}

TEST(ProgramPictures, LikeButtonIsAPaletteBitmap) {
  const Bytes b = readFile(kResources / "like.bmp");
  ASSERT_GE(b.size(), 54u);
  EXPECT_EQ(le(b, 0, 2), 0x4D42u);  // "BM"
  EXPECT_EQ(le(b, 14, 4), 40u);
  EXPECT_EQ(le(b, 18, 4), 49u);
  EXPECT_EQ(le(b, 22, 4), 23u);
  EXPECT_EQ(le(b, 28, 2), 8u);
  EXPECT_EQ(le(b, 30, 4), 0u);
  const std::uint32_t colours = le(b, 46, 4);
  EXPECT_TRUE(colours == 0 || colours == 256);
  const std::uint32_t pixelsAt = le(b, 10, 4);
  EXPECT_EQ(pixelsAt, 14u + 40 + 256 * 4);
  EXPECT_EQ(b.size(), pixelsAt + 52u * 23);  // rows padded to 4 bytes
}

}  // namespace
}  // namespace zin
