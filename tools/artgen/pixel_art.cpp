#include "pixel_art.h"

#include <array>
#include <string_view>

namespace artgen {
namespace {

// '#' the hand, '+' a paler blue that rounds its corners.
constexpr std::array<std::string_view, 17> kHand{
    ".......+#+......",  //
    "......####......",  //
    "......####......",  //
    ".....+###+......",  //
    ".....####.......",  //
    "....+###+.......",  //
    "...+####+++.....",  //
    "##.###########+.",  //
    "##.############.",  //
    "##.#########+...",  //
    "##.###########+.",  //
    "##.############.",  //
    "##.#########+...",  //
    "##.###########+.",  //
    "##.###########..",  //
    "##.#########+...",  //
    "##.+#########+..",  //
};

// Bold glyphs on an 11-row cell (cap height 11, x-height 8), set with one blank column.
using Glyph = std::array<std::string_view, 11>;
constexpr Glyph kL{"##....", "##....", "##....", "##....", "##....", "##....",
                   "##....", "##....", "##....", "######", "######"};
constexpr Glyph kI{"##", "##", "..", "##", "##", "##", "##", "##", "##", "##", "##"};
constexpr Glyph kK{"##.....", "##.....", "##.....", "##...##", "##..##.", "##.##..",
                   "####...", "#####..", "##.##..", "##..##.", "##...##"};
constexpr Glyph kE{"......", "......", "......", ".####.", "##..##", "##..##",
                   "######", "##....", "##....", "##..##", ".####."};
constexpr std::array<const Glyph*, 4> kWord{&kL, &kI, &kK, &kE};

constexpr Rgba kWhite{255, 255, 255, 255};
constexpr Rgba kFrame{188, 199, 219, 255};
constexpr Rgba kFrameSoft{226, 231, 240, 255};
constexpr Rgba kHandBlue{59, 96, 178, 255};
constexpr Rgba kHandSoft{146, 168, 214, 255};
constexpr Rgba kText{44, 62, 108, 255};

void blit(Image& img, int left, int top, std::string_view row, Rgba ink, Rgba soft = {}) {
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (row[i] == '#') img.at(left + static_cast<int>(i), top) = ink;
    if (row[i] == '+') img.at(left + static_cast<int>(i), top) = soft;
  }
}

// The fly at 16 pixels. Body, eyes and wings as in the sprites; legs one pixel wide, with a
// faint pixel where a leg ends so that it tapers.
constexpr std::array<std::string_view, 16> kSmallFly{
    "................",  //
    "..l..........l..",  //
    "...L..KKKK..L...",  //
    "...L.EEKKEE.L...",  //
    "....LeEKKEeL....",  //
    ".....KKKKKK.....",  //
    "..LLKKTKKTKKLL..",  //
    ".l..KKTKKTKK..l.",  //
    ".....KKKKKK.....",  //
    "...LWAKKKKAWL...",  //
    "..L.WAAKKAAW.L..",  //
    "..L.WWAAAAWW.L..",  //
    ".l.WWWAAAAWWW.l.",  //
    "...VWWWAAWWWV...",  //
    "....VWW..WWV....",  //
    "................",  //
};

Rgba smallFlyInk(char c) {
  switch (c) {
    case 'K':
      return {26, 24, 23, 255};  // body
    case 'T':
      return {64, 61, 57, 255};  // grey between the thorax stripes
    case 'E':
      return {96, 34, 88, 255};  // eye
    case 'e':
      return {60, 20, 54, 255};  // eye rim
    case 'A':
      return {74, 70, 64, 255};  // abdomen seen through the wings
    case 'W':
      return {214, 206, 188, 224};  // wing
    case 'V':
      return {214, 206, 188, 140};  // wing edge
    case 'L':
      return {30, 27, 26, 255};  // leg
    case 'l':
      return {30, 27, 26, 120};  // leg tip
    default:
      return {};
  }
}

}  // namespace

Image drawSmallFly() {
  Image img(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) img.at(x, y) = smallFlyInk(kSmallFly[y][x]);
  return img;
}

Image drawLikeButton() {
  Image img(49, 23);
  for (Rgba& p : img.pixels) p = kWhite;

  const int right = img.width - 1, bottom = img.height - 1;
  for (int x = 3; x <= right - 3; ++x) img.at(x, 0) = img.at(x, bottom) = kFrame;
  for (int y = 3; y <= bottom - 3; ++y) img.at(0, y) = img.at(right, y) = kFrame;
  // Rounded corners, with a paler pixel where the curve meets each straight edge.
  auto corners = [&](int x, int y, Rgba ink) {
    img.at(x, y) = ink;
    img.at(right - x, y) = ink;
    img.at(x, bottom - y) = ink;
    img.at(right - x, bottom - y) = ink;
  };
  corners(1, 1, kFrame);
  corners(2, 1, kFrame);
  corners(1, 2, kFrame);
  corners(2, 0, kFrameSoft);
  corners(0, 2, kFrameSoft);

  for (std::size_t r = 0; r < kHand.size(); ++r)
    blit(img, 4, 3 + static_cast<int>(r), kHand[r], kHandBlue, kHandSoft);
  int left = 22;
  for (const Glyph* glyph : kWord) {
    for (std::size_t r = 0; r < glyph->size(); ++r)
      blit(img, left, 6 + static_cast<int>(r), (*glyph)[r], kText);
    left += static_cast<int>((*glyph)[0].size()) + 1;
  }
  return img;
}

}  // namespace artgen
