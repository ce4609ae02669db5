// What one draw of a fly costs, built from the same core pieces the program's DrawFrame uses:
// the sprite bytes looked up by name, decoded into an image kept between draws, and turned
// into the premultiplied 32-bit frame.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/png_reader.h"

namespace zin::bench {

// The sprites in memory by resource name, as a resource section holds them.
class SpriteTable {
 public:
  // Every *.png in `dir`, named by its stem; throws std::runtime_error when there is none.
  static SpriteTable load(const std::filesystem::path& dir);

  // Empty when there is no such sprite.
  std::span<const std::uint8_t> find(std::string_view name) const;
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::map<std::string, std::vector<std::uint8_t>, std::less<>> byName_;
  std::vector<std::string> names_;  // sorted
};

// The frame state that outlives a draw, as the fly unit keeps it.
class FrameDrawer {
 public:
  // Looks up, decodes, copies colours and alpha and premultiplies; throws as DrawFrame would
  // when the sprite is missing or damaged.
  void draw(const SpriteTable& sprites, std::string_view name);
  std::span<const std::uint8_t> bits() const { return bits_; }

 private:
  PngImage sprite_;
  std::vector<std::uint8_t> bits_;  // BGRA rows from the top
};

}  // namespace zin::bench
