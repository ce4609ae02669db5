// The sprite encoder. Off-the-shelf writers add colour chunks and put metadata where they
// like; the program's sprites carry exactly IHDR, tEXt, iTXt, one IDAT and IEND, so we
// write the file ourselves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image.h"

namespace artgen {

struct SpriteMetadata {
  std::string software;     // tEXt "Software"
  std::string description;  // iTXt "Description", UTF-8, uncompressed
};

// An 8-bit RGBA, non-interlaced PNG of `img`. The output depends on nothing but the
// arguments and the zlib build, so regenerating the artwork gives the same bytes.
std::vector<std::uint8_t> encodeSpritePng(const Image& img, const SpriteMetadata& meta);

}  // namespace artgen
