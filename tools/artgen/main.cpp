// artgen: draws Zintara's sprites, icons and button picture and writes them under the
// resources folder given on the command line. See README.md.
#include <cairo.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fly.h"
#include "pixel_art.h"
#include "png_writer.h"
#include "win_images.h"

namespace fs = std::filesystem;
using namespace artgen;

namespace {

// Clockwise from straight up. Each lies within a few degrees of both the bearing of the
// direction's walking step and the round heading the direction is known by, so that a fly
// always walks head first.
constexpr std::array<double, 8> kHeadings{332.7, 18.7, 59.2, 109.4, 149.2, 199.9, 242.7, 291.8};

constexpr int kWalkFrames = 6;
constexpr int kIdleFrames = 5;

// Sprites land mid-way in the size band the program's packaging was laid out for.
constexpr std::size_t kMinSpriteBytes = 3895;
constexpr std::size_t kMaxSpriteBytes = 4717;
constexpr std::size_t kTargetSpriteBytes = 4300;

struct Sprite {
  std::string name;
  int direction;
  FlyFrame frame;
  Image image;
  std::vector<std::uint8_t> png;
};

std::uint32_t mix(std::uint32_t h) {
  h ^= h >> 16;
  h *= 0x7feb352dU;
  h ^= h >> 15;
  h *= 0x846ca68bU;
  h ^= h >> 16;
  return h;
}

std::uint32_t nameSeed(const std::string& s) {
  std::uint32_t h = 2166136261U;
  for (unsigned char c : s) h = (h ^ c) * 16777619U;
  return h;
}

// Invisible pixels get loud colours on purpose: a renderer that forgets to premultiply
// shows them at once. A checker of white and black, sprinkled with other colours; the
// sprinkle density is what tunes the file size.
void colourTransparent(Image& img, std::uint32_t seed, std::uint32_t density) {
  constexpr std::array<Rgba, 6> kLoud{{{255, 255, 255, 0},
                                       {0, 0, 0, 0},
                                       {255, 0, 255, 0},
                                       {0, 255, 0, 0},
                                       {255, 255, 0, 0},
                                       {0, 128, 255, 0}}};
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      Rgba& p = img.at(x, y);
      if (p.a != 0) continue;
      const std::uint32_t h = mix(seed ^ mix(static_cast<std::uint32_t>(y * 64 + x)));
      p = kLoud[(x / 6 + y / 6) % 2];
      if ((h & 0xFFF) < density) {
        p = (h >> 12) & 1
                ? kLoud[((h >> 13) & 0xFF) % kLoud.size()]
                : Rgba{static_cast<std::uint8_t>(h >> 16), static_cast<std::uint8_t>(h >> 24),
                       static_cast<std::uint8_t>(h >> 8), 0};
      }
    }
}

std::string describe(const Sprite& s) {
  char text[200];
  std::snprintf(text, sizeof text,
                "Zintara house fly seen from above, %s frame %d of %d, heading %.1f degrees "
                "clockwise from up.",
                s.frame.pose == Pose::Walking ? "walking" : "idle (rubbing its front legs)",
                s.frame.frame, s.frame.pose == Pose::Walking ? kWalkFrames : kIdleFrames,
                s.frame.headingDeg);
  return text;
}

void encode(Sprite& s) {
  const SpriteMetadata meta{"Zintara artgen", describe(s)};
  const std::uint32_t seed = nameSeed(s.name);
  std::uint32_t lo = 0, hi = 4096;
  while (lo < hi) {
    const std::uint32_t mid = (lo + hi) / 2;
    Image trial = s.image;
    colourTransparent(trial, seed, mid);
    if (encodeSpritePng(trial, meta).size() < kTargetSpriteBytes)
      lo = mid + 1;
    else
      hi = mid;
  }
  colourTransparent(s.image, seed, lo);
  s.png = encodeSpritePng(s.image, meta);
  if (s.png.size() < kMinSpriteBytes || s.png.size() > kMaxSpriteBytes)
    throw std::runtime_error(s.name + ": " + std::to_string(s.png.size()) +
                             " bytes is outside the sprite size band");
}

// "3_5" or "L3_5" (snprintf rather than string concatenation, which trips a false
// -Wrestrict in GCC 12's optimiser).
std::string spriteName(Pose pose, int direction, int frame) {
  char name[8];
  std::snprintf(name, sizeof name, "%s%d_%d", pose == Pose::Idle ? "L" : "", direction, frame);
  return name;
}

std::vector<Sprite> drawSprites() {
  std::vector<Sprite> sprites;
  for (int d = 1; d <= 8; ++d) {
    const double heading = kHeadings[d - 1];
    for (int f = 1; f <= kWalkFrames; ++f)
      sprites.push_back({spriteName(Pose::Walking, d, f), d, {heading, Pose::Walking, f}, {}, {}});
    for (int f = 1; f <= kIdleFrames; ++f)
      sprites.push_back({spriteName(Pose::Idle, d, f), d, {heading, Pose::Idle, f}, {}, {}});
  }
  for (Sprite& s : sprites) {
    s.image = drawFly(s.frame, FlyStyle{});
    encode(s);
  }
  return sprites;
}

// The large icon shows the fly a little askew, as it mostly walks.
Image icon48() {
  return drawFly({330, Pose::Walking, 2}, {48, 1.22, 25.8, 20.6});
}

void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// ---- contact sheet

cairo_surface_t* toSurface(const Image& img) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, img.width, img.height);
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      const Rgba p = img.at(x, y);
      auto pre = [&](std::uint8_t c) { return static_cast<std::uint32_t>((c * p.a + 127) / 255); };
      reinterpret_cast<std::uint32_t*>(data + y * stride)[x] =
          (static_cast<std::uint32_t>(p.a) << 24) | (pre(p.r) << 16) | (pre(p.g) << 8) | pre(p.b);
    }
  cairo_surface_mark_dirty(s);
  return s;
}

void checker(cairo_t* cr, double x, double y, double w, double h, bool dark) {
  const double a = dark ? 0.16 : 0.93, b = dark ? 0.24 : 0.82;
  cairo_save(cr);
  cairo_rectangle(cr, x, y, w, h);
  cairo_clip(cr);
  for (int j = 0; j * 12 < h; ++j)
    for (int i = 0; i * 12 < w; ++i) {
      const double v = (i + j) % 2 ? a : b;
      cairo_set_source_rgb(cr, v, v, v);
      cairo_rectangle(cr, x + i * 12, y + j * 12, 12, 12);
      cairo_fill(cr);
    }
  cairo_restore(cr);
}

void put(cairo_t* cr, const Image& img, double x, double y, int zoom) {
  cairo_surface_t* s = toSurface(img);
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, zoom, zoom);
  cairo_set_source_surface(cr, s, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(s);
}

void writeContactSheet(const fs::path& path, const std::vector<Sprite>& sprites,
                       const std::vector<Image>& extras) {
  constexpr int kZoom = 4, kCell = 60 * kZoom + 8, kGap = 24;
  const int panelW = 11 * kCell, panelH = 8 * kCell;
  int extrasH = 0;
  for (const Image& img : extras) extrasH = std::max(extrasH, img.height * (kZoom + 1) + 24);
  const int width = 2 * panelW + 3 * kGap, height = panelH + extrasH + 3 * kGap;
  cairo_surface_t* sheet = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(sheet);
  cairo_set_source_rgb(cr, 0.6, 0.6, 0.6);
  cairo_paint(cr);
  for (int panel = 0; panel < 2; ++panel) {
    const double left = kGap + panel * (panelW + kGap);
    checker(cr, left, kGap, panelW, panelH, panel == 1);
    for (std::size_t i = 0; i < sprites.size(); ++i) {
      const int row = static_cast<int>(i) / 11, col = static_cast<int>(i) % 11;
      put(cr, sprites[i].image, left + col * kCell + 4, kGap + row * kCell + 4, kZoom);
    }
    double x = left;
    const double top = kGap + panelH + kGap;
    checker(cr, left, top, panelW, extrasH, panel == 1);
    for (const Image& img : extras) {
      put(cr, img, x + 8, top + 8, kZoom);
      put(cr, img, x + 8, top + 16 + img.height * kZoom, 1);
      x += img.width * kZoom + 24;
    }
  }
  cairo_destroy(cr);
  if (cairo_surface_write_to_png(sheet, path.string().c_str()) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error("cannot write " + path.string());
  cairo_surface_destroy(sheet);
}

void printSummary(const std::vector<Sprite>& sprites) {
  int minOpaque = 1 << 30, maxOpaque = 0, minPartial = 1 << 30, maxPartial = 0;
  std::size_t minSize = ~std::size_t{0}, maxSize = 0;
  long zero = 0, partial = 0, opaque = 0;
  for (const Sprite& s : sprites) {
    int o = 0, p = 0;
    for (const Rgba& px : s.image.pixels) {
      o += px.a == 255;
      p += px.a > 0 && px.a < 255;
      zero += px.a == 0;
    }
    opaque += o;
    partial += p;
    minOpaque = std::min(minOpaque, o);
    maxOpaque = std::max(maxOpaque, o);
    minPartial = std::min(minPartial, p);
    maxPartial = std::max(maxPartial, p);
    minSize = std::min(minSize, s.png.size());
    maxSize = std::max(maxSize, s.png.size());
  }
  const double total = static_cast<double>(zero + partial + opaque) / 100;
  std::printf(
      "%zu sprites: opaque %d-%d, partial %d-%d, %zu-%zu bytes; "
      "alpha 0 %.1f %%, partial %.1f %%, opaque %.1f %%\n",
      sprites.size(), minOpaque, maxOpaque, minPartial, maxPartial, minSize, maxSize, zero / total,
      partial / total, opaque / total);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    fs::path resources, sheet;
    for (int i = 1; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--contact-sheet" && i + 1 < argc)
        sheet = argv[++i];
      else if (resources.empty() && !arg.starts_with("-"))
        resources = arg;
      else
        throw std::runtime_error("unexpected argument " + arg);
    }
    if (resources.empty()) {
      std::fprintf(stderr, "usage: artgen RESOURCES_DIR [--contact-sheet SHEET.png]\n");
      return 2;
    }

    const std::vector<Sprite> sprites = drawSprites();
    fs::create_directories(resources / "sprites");
    for (const Sprite& s : sprites) writeFile(resources / "sprites" / (s.name + ".png"), s.png);

    const Image big = icon48(), small = drawSmallFly(), like = drawLikeButton();
    writeFile(resources / "zintara.ico", encodeIco({big, small}));
    writeFile(resources / "settings16.ico", encodeIco({small}));
    writeFile(resources / "like.bmp", encodeBmp8(like));

    printSummary(sprites);
    if (!sheet.empty()) writeContactSheet(sheet, sprites, {big, small, like});
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "artgen: %s\n", e.what());
    return 1;
  }
}
