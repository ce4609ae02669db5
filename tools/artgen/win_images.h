// Writers for the two Windows picture formats the settings window and the icon need.
#pragma once

#include <cstdint>
#include <vector>

#include "image.h"

namespace artgen {

// An icon file whose entries are classic 32-bit DIBs (straight alpha, plus the AND mask
// that old consumers still read), in the order given.
std::vector<std::uint8_t> encodeIco(const std::vector<Image>& images);

// An 8-bit palette bitmap; the palette holds the picture's colours first, then a grey ramp
// up to 256 entries. Throws if the picture has more than 256 colours or any transparency.
std::vector<std::uint8_t> encodeBmp8(const Image& img);

}  // namespace artgen
