// A straight-alpha RGBA picture, the one currency between the drawing code and the writers.
#pragma once

#include <cstdint>
#include <vector>

namespace artgen {

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;
  friend bool operator==(const Rgba&, const Rgba&) = default;
};

struct Image {
  int width = 0;
  int height = 0;
  std::vector<Rgba> pixels;  // rows from the top

  Image() = default;
  Image(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {}

  Rgba& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
  const Rgba& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

}  // namespace artgen
