#include "fly.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace artgen {
namespace {

constexpr double kPi = std::numbers::pi;

struct Pt {
  double x = 0, y = 0;
};
Pt operator+(Pt a, Pt b) {
  return {a.x + b.x, a.y + b.y};
}
Pt operator-(Pt a, Pt b) {
  return {a.x - b.x, a.y - b.y};
}
Pt operator*(Pt a, double k) {
  return {a.x * k, a.y * k};
}
Pt lerp(Pt a, Pt b, double t) {
  return a + (b - a) * t;
}

// ---- The fly's shapes, right side only where a part is paired (x > 0 is the fly's right).

struct Ellipse {
  Pt c;
  double rx, ry;
  double rot = 0;  // radians
};

constexpr Ellipse kHead{{0, -9.6}, 4.8, 3.0};
constexpr Ellipse kThorax{{0, -3.4}, 5.2, 4.7};
constexpr Ellipse kAbdomen{{0, 5.1}, 4.8, 6.8};
constexpr Ellipse kEye{{2.5, -9.6}, 1.9, 2.5, -0.35};

// Wings rest in a narrow V over the abdomen, their tips just past it.
constexpr Pt kWingBase{1.2, -1.0};
constexpr Pt kWingTip{6.6, 13.6};
constexpr double kWingWidth = 5.6;

struct Leg {
  Pt hip, knee, foot;
};
// Neutral stance; a foot's step offset drags its knee along by about half as much.
constexpr std::array<Leg, 3> kLegs{{
    {{2.6, -5.4}, {6.6, -7.8}, {7.6, -13.6}},  // front
    {{3.2, -3.4}, {8.4, -4.8}, {11.8, -1.2}},  // middle
    {{2.8, -1.2}, {8.0, 2.4}, {9.6, 9.8}},     // hind
}};
// Idle: the front legs reach past the head and cross there.
constexpr Leg kRubbingLeg{{2.4, -6.0}, {5.0, -11.4}, {-0.6, -17.2}};

constexpr double kStride = 1.9;    // fore-aft reach of a foot over one gait cycle
constexpr double kLift = 0.6;      // a swinging foot draws in towards the body
constexpr double kRubReach = 2.0;  // fore-aft slide of a rubbing foot
constexpr double kRubSway = 0.8;   // and its sideways sway

// Screen-space, so that the light comes from one place whichever way the fly faces.
constexpr Pt kShadowOffset{-3.8, 3.0};
constexpr double kShadowBlur = 2.7;
constexpr double kShadowPeak = 0.38;

// A wing over the dark body lets most of the body through; on its own it is a pale film.
constexpr double kWingAlphaAlone = 0.86;
constexpr double kWingAlphaOverBody = 0.24;

// ---- cairo plumbing

class Canvas {
 public:
  Canvas(int size, cairo_format_t fmt)
      : size_(size),
        surface_(cairo_image_surface_create(fmt, size, size)),
        cr_(cairo_create(surface_)) {}
  ~Canvas() {
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  cairo_t* cr() { return cr_; }

  // Premultiplied values in 0..1, one array per channel.
  void read(std::vector<double>& r, std::vector<double>& g, std::vector<double>& b,
            std::vector<double>& a) {
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    const std::size_t n = static_cast<std::size_t>(size_) * size_;
    r.assign(n, 0);
    g.assign(n, 0);
    b.assign(n, 0);
    a.assign(n, 0);
    for (int y = 0; y < size_; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
      for (int x = 0; x < size_; ++x) {
        const std::uint32_t p = row[x];
        const std::size_t i = static_cast<std::size_t>(y) * size_ + x;
        a[i] = ((p >> 24) & 0xFF) / 255.0;
        r[i] = ((p >> 16) & 0xFF) / 255.0;
        g[i] = ((p >> 8) & 0xFF) / 255.0;
        b[i] = (p & 0xFF) / 255.0;
      }
    }
  }

  // Coverage of an A8 canvas, 0..1.
  std::vector<double> readAlpha() {
    cairo_surface_flush(surface_);
    const unsigned char* data = cairo_image_surface_get_data(surface_);
    const int stride = cairo_image_surface_get_stride(surface_);
    std::vector<double> a(static_cast<std::size_t>(size_) * size_);
    for (int y = 0; y < size_; ++y)
      for (int x = 0; x < size_; ++x)
        a[static_cast<std::size_t>(y) * size_ + x] = data[y * stride + x] / 255.0;
    return a;
  }

 private:
  int size_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
};

void ellipsePath(cairo_t* cr, const Ellipse& e, double mirror = 1) {
  cairo_save(cr);
  cairo_translate(cr, e.c.x * mirror, e.c.y);
  cairo_rotate(cr, e.rot * mirror);
  cairo_scale(cr, e.rx, e.ry);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_close_path(cr);
  cairo_restore(cr);
}

void wingPath(cairo_t* cr, double side) {
  const Pt base{kWingBase.x * side, kWingBase.y};
  const Pt tip{kWingTip.x * side, kWingTip.y};
  const Pt mid = lerp(base, tip, 0.5);
  const Pt d = tip - base;
  cairo_save(cr);
  cairo_translate(cr, mid.x, mid.y);
  cairo_rotate(cr, std::atan2(d.y, d.x));
  cairo_scale(cr, std::hypot(d.x, d.y) / 2, kWingWidth / 2);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_close_path(cr);
  cairo_restore(cr);
}

void setRgb(cairo_t* cr, int r, int g, int b) {
  cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
}

void fillRadial(cairo_t* cr, Pt c, double radius, std::array<int, 3> inner,
                std::array<int, 3> outer) {
  cairo_pattern_t* p = cairo_pattern_create_radial(c.x, c.y, 0, c.x, c.y, radius);
  cairo_pattern_add_color_stop_rgb(p, 0, inner[0] / 255.0, inner[1] / 255.0, inner[2] / 255.0);
  cairo_pattern_add_color_stop_rgb(p, 1, outer[0] / 255.0, outer[1] / 255.0, outer[2] / 255.0);
  cairo_set_source(cr, p);
  cairo_fill(cr);
  cairo_pattern_destroy(p);
}

void bodySilhouette(cairo_t* cr) {
  ellipsePath(cr, kHead);
  ellipsePath(cr, kThorax);
  ellipsePath(cr, kAbdomen);
}

void paintBody(cairo_t* cr) {
  // Abdomen: a faint sheen and the rims of its segments.
  ellipsePath(cr, kAbdomen);
  fillRadial(cr, {-0.9, 3.6}, 7.5, {58, 52, 45}, {13, 12, 11});
  cairo_save(cr);
  ellipsePath(cr, kAbdomen);
  cairo_clip(cr);
  cairo_set_line_width(cr, 0.55);
  setRgb(cr, 8, 8, 8);
  for (double y : {2.2, 5.2, 8.2}) {
    cairo_move_to(cr, -5, y - 1.2);
    cairo_curve_to(cr, -2, y + 0.6, 2, y + 0.6, 5, y - 1.2);
    cairo_stroke(cr);
  }
  cairo_restore(cr);

  // Thorax: grey with the house fly's four dark stripes.
  ellipsePath(cr, kThorax);
  fillRadial(cr, {-1.0, -4.6}, 6.0, {74, 71, 66}, {22, 21, 20});
  cairo_save(cr);
  ellipsePath(cr, kThorax);
  cairo_clip(cr);
  cairo_set_line_width(cr, 0.6);
  setRgb(cr, 10, 10, 10);
  for (double x : {-2.5, -0.9, 0.9, 2.5}) {
    cairo_move_to(cr, x * 0.9, -7.4);
    cairo_line_to(cr, x, 0.2);
    cairo_stroke(cr);
  }
  cairo_restore(cr);

  // Head and the two big eyes that cover most of it.
  ellipsePath(cr, kHead);
  setRgb(cr, 34, 32, 30);
  cairo_fill(cr);
  cairo_save(cr);
  ellipsePath(cr, kHead);
  cairo_clip(cr);
  for (double side : {-1.0, 1.0}) {
    ellipsePath(cr, kEye, side);
    fillRadial(cr, {kEye.c.x * side - 0.5 * side, kEye.c.y - 0.7}, 2.8, {92, 34, 84}, {48, 16, 44});
  }
  cairo_restore(cr);
}

void paintWings(cairo_t* cr) {
  for (double side : {-1.0, 1.0}) {
    wingPath(cr, side);
    setRgb(cr, 214, 206, 188);
    cairo_fill(cr);
  }
  // Two veins per wing, barely darker: enough to read as a membrane when enlarged.
  cairo_set_line_width(cr, 0.35);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (double side : {-1.0, 1.0}) {
    cairo_save(cr);
    wingPath(cr, side);
    cairo_clip(cr);
    setRgb(cr, 168, 158, 140);
    const Pt base{kWingBase.x * side, kWingBase.y};
    const Pt tip{kWingTip.x * side, kWingTip.y};
    for (double spread : {-0.9, 0.8}) {
      const Pt from = lerp(base, tip, 0.12);
      const Pt to = lerp(base, tip, 0.9) + Pt{spread * side, 0};
      cairo_move_to(cr, from.x, from.y);
      cairo_line_to(cr, to.x, to.y);
      cairo_stroke(cr);
    }
    cairo_restore(cr);
  }
}

void wingSilhouette(cairo_t* cr) {
  wingPath(cr, -1);
  wingPath(cr, 1);
}

void strokeSegment(cairo_t* cr, Pt a, Pt b, double width) {
  cairo_set_line_width(cr, width);
  cairo_move_to(cr, a.x, a.y);
  cairo_line_to(cr, b.x, b.y);
  cairo_stroke(cr);
}

void paintLeg(cairo_t* cr, Pt hip, Pt knee, Pt foot) {
  const Pt ankle = lerp(knee, foot, 0.68);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  setRgb(cr, 26, 23, 22);
  strokeSegment(cr, hip, knee, 1.25);
  strokeSegment(cr, knee, ankle, 0.95);
  strokeSegment(cr, ankle, foot, 0.7);
}

Pt mirrored(Pt p, double side) {
  return {p.x * side, p.y};
}

void paintLegs(cairo_t* cr, const FlyFrame& f) {
  for (double side : {-1.0, 1.0}) {
    for (int pair = 0; pair < 3; ++pair) {
      const Leg& leg = kLegs[pair];
      if (f.pose == Pose::Idle && pair == 0) {
        // Front legs rub against each other: the feet slide fore and aft in opposition.
        // The cycle starts half a step before the fastest slide, so the jump from the last
        // frame back to the first is one of the gentle ones.
        const double phase = 2 * kPi * (f.frame - 1.5) / 5;
        const Pt slide{kRubSway * std::cos(phase), kRubReach * std::sin(phase) * side};
        const Pt foot = kRubbingLeg.foot + slide;
        const Pt knee = kRubbingLeg.knee + slide * 0.3;
        paintLeg(cr, mirrored(kRubbingLeg.hip, side), mirrored(knee, side), mirrored(foot, side));
        continue;
      }
      Pt offset{};
      if (f.pose == Pose::Walking) {
        // Alternating tripods: right front, left middle and right hind step together.
        const bool firstTripod = (side > 0) == (pair != 1);
        const double phase = 2 * kPi * (f.frame - 1) / 6 + (firstTripod ? 0 : kPi);
        offset = {-kLift * std::max(0.0, std::sin(phase)), kStride * std::cos(phase)};
      }
      const Pt foot = leg.foot + offset;
      const Pt knee = leg.knee + offset * 0.45;
      paintLeg(cr, mirrored(leg.hip, side), mirrored(knee, side), mirrored(foot, side));
    }
  }
}

// The body's area centroid in fly units: the point that is placed at the style's centre.
Pt bodyCentroid() {
  static const Pt centroid = [] {
    constexpr int kSize = 480;
    constexpr double kScale = 16;
    Canvas c(kSize, CAIRO_FORMAT_A8);
    cairo_translate(c.cr(), kSize / 2.0, kSize / 2.0);
    cairo_scale(c.cr(), kScale, kScale);
    bodySilhouette(c.cr());
    cairo_fill(c.cr());
    const std::vector<double> a = c.readAlpha();
    double sum = 0, sx = 0, sy = 0;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x) {
        const double w = a[static_cast<std::size_t>(y) * kSize + x];
        sum += w;
        sx += w * (x + 0.5);
        sy += w * (y + 0.5);
      }
    return Pt{(sx / sum - kSize / 2.0) / kScale, (sy / sum - kSize / 2.0) / kScale};
  }();
  return centroid;
}

void placeFly(cairo_t* cr, const FlyFrame& f, const FlyStyle& s, Pt screenShift = {}) {
  cairo_translate(cr, s.centreX + screenShift.x, s.centreY + screenShift.y);
  cairo_rotate(cr, f.headingDeg * kPi / 180);
  cairo_scale(cr, s.scale, s.scale);
  const Pt c = bodyCentroid();
  cairo_translate(cr, -c.x, -c.y);
}

std::vector<double> gaussianBlur(const std::vector<double>& in, int size, double sigma) {
  const int radius = static_cast<int>(std::ceil(3 * sigma));
  std::vector<double> k(2 * radius + 1);
  double total = 0;
  for (int i = -radius; i <= radius; ++i)
    total += k[i + radius] = std::exp(-i * i / (2 * sigma * sigma));
  for (double& v : k) v /= total;
  auto pass = [&](const std::vector<double>& src, bool horizontal) {
    std::vector<double> dst(src.size(), 0);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        double acc = 0;
        for (int i = -radius; i <= radius; ++i) {
          const int sx = horizontal ? x + i : x, sy = horizontal ? y : y + i;
          if (sx >= 0 && sx < size && sy >= 0 && sy < size)
            acc += k[i + radius] * src[static_cast<std::size_t>(sy) * size + sx];
        }
        dst[static_cast<std::size_t>(y) * size + x] = acc;
      }
    return dst;
  };
  return pass(pass(in, true), false);
}

struct Px {
  double r = 0, g = 0, b = 0, a = 0;  // premultiplied
};
Px over(Px top, Px bottom) {
  const double k = 1 - top.a;
  return {top.r + bottom.r * k, top.g + bottom.g * k, top.b + bottom.b * k, top.a + bottom.a * k};
}

Rgba toRgba(Px p, int alpha) {
  if (alpha == 0) return {};
  auto channel = [&](double c) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(c / p.a * 255), 0L, 255L));
  };
  return {channel(p.r), channel(p.g), channel(p.b), static_cast<std::uint8_t>(alpha)};
}

}  // namespace

Image drawFly(const FlyFrame& f, const FlyStyle& s) {
  const int n = s.size;
  std::vector<double> br, bg, bb, ba, wr, wg, wb, wa, lr, lg, lb, la;
  {
    Canvas c(n, CAIRO_FORMAT_ARGB32);
    placeFly(c.cr(), f, s);
    paintBody(c.cr());
    c.read(br, bg, bb, ba);
  }
  {
    Canvas c(n, CAIRO_FORMAT_ARGB32);
    placeFly(c.cr(), f, s);
    paintWings(c.cr());
    c.read(wr, wg, wb, wa);
  }
  {
    Canvas c(n, CAIRO_FORMAT_ARGB32);
    placeFly(c.cr(), f, s);
    paintLegs(c.cr(), f);
    c.read(lr, lg, lb, la);
  }
  std::vector<double> shadow;
  {
    Canvas c(n, CAIRO_FORMAT_A8);
    placeFly(c.cr(), f, s, kShadowOffset * s.scale);
    bodySilhouette(c.cr());
    wingSilhouette(c.cr());
    cairo_fill(c.cr());
    shadow = gaussianBlur(c.readAlpha(), n, kShadowBlur * s.scale);
  }

  Image img(n, n);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * n + x;
      const double sa = kShadowPeak * shadow[i];
      const Px shade{sa * 10 / 255, sa * 8 / 255, sa * 6 / 255, sa};
      const Px body{br[i], bg[i], bb[i], ba[i]};
      const Px legs{lr[i], lg[i], lb[i], la[i]};
      // The wing film is applied with an opacity that depends on what lies beneath it.
      const double film =
          wa[i] * (kWingAlphaAlone - (kWingAlphaAlone - kWingAlphaOverBody) * body.a);
      auto addWing = [&](Px p) {
        if (wa[i] <= 0) return p;
        const double k = film / wa[i];  // wr.. are premultiplied by the wing's coverage
        return Px{wr[i] * k + p.r * (1 - film), wg[i] * k + p.g * (1 - film),
                  wb[i] * k + p.b * (1 - film), film + p.a * (1 - film)};
      };
      // Only the parts that every frame of a row shares may be fully opaque, so that the
      // moving legs can never flip a body-edge pixel between opaque and translucent.
      const Px still = addWing(over(body, shade));
      const long stillAlpha = std::lround(still.a * 255);
      if (stillAlpha >= 255) {
        img.at(x, y) = toRgba(still, 255);
        continue;
      }
      const Px all = addWing(over(body, over(legs, shade)));
      img.at(x, y) = toRgba(all, static_cast<int>(std::min(254L, std::lround(all.a * 255))));
    }
  return img;
}

}  // namespace artgen
