#include "frame.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "core/frame_pipeline.h"

namespace zin::bench {

SpriteTable SpriteTable::load(const std::filesystem::path& dir) {
  SpriteTable table;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() != ".png") continue;
    std::ifstream file(entry.path(), std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                    std::istreambuf_iterator<char>()};
    const std::string name = entry.path().stem().string();
    table.names_.push_back(name);
    table.byName_.emplace(name, std::move(bytes));
  }
  if (table.names_.empty()) throw std::runtime_error("No sprites in " + dir.string());
  std::sort(table.names_.begin(), table.names_.end());
  return table;
}

std::span<const std::uint8_t> SpriteTable::find(std::string_view name) const {
  const auto it = byName_.find(name);
  if (it == byName_.end()) return {};
  return it->second;
}

void FrameDrawer::draw(const SpriteTable& sprites, std::string_view name) {
  const auto bytes = sprites.find(name);
  if (bytes.empty()) throw std::runtime_error("No sprite named " + std::string(name));
  sprite_.decode(bytes);
  const auto size =
      static_cast<std::size_t>(sprite_.width()) * static_cast<std::size_t>(sprite_.height()) * 4;
  // A bitmap of the same size is kept, as the platform keeps its frame bitmap.
  if (bits_.size() != size) bits_.resize(size);
  const BitmapView view{bits_.data(), sprite_.width(), sprite_.height(),
                        static_cast<std::ptrdiff_t>(sprite_.width()) * 4};
  copyColours(sprite_, view);
  if (sprite_.hasAlpha()) copyAlpha(view, sprite_);
  premultiply(view);
}

}  // namespace zin::bench
