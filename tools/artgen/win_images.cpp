#include "win_images.h"

#include <algorithm>
#include <stdexcept>

namespace artgen {
namespace {

void putU16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  putU16(out, v & 0xFFFF);
  putU16(out, v >> 16);
}

void putInfoHeader(std::vector<std::uint8_t>& out, int width, int height, int bits,
                   std::uint32_t imageSize, std::uint32_t coloursUsed) {
  putU32(out, 40);
  putU32(out, static_cast<std::uint32_t>(width));
  putU32(out, static_cast<std::uint32_t>(height));
  putU16(out, 1);  // planes
  putU16(out, static_cast<std::uint32_t>(bits));
  putU32(out, 0);  // BI_RGB
  putU32(out, imageSize);
  putU32(out, 2835);  // 72 dpi
  putU32(out, 2835);
  putU32(out, coloursUsed);
  putU32(out, 0);
}

std::vector<std::uint8_t> iconDib(const Image& img) {
  const int maskStride = ((img.width + 31) / 32) * 4;
  const auto xorSize = static_cast<std::uint32_t>(img.width * img.height * 4);
  const auto andSize = static_cast<std::uint32_t>(maskStride * img.height);
  std::vector<std::uint8_t> dib;
  // An icon DIB states twice the height: the colour rows and the mask rows.
  putInfoHeader(dib, img.width, img.height * 2, 32, xorSize + andSize, 0);
  for (int y = img.height - 1; y >= 0; --y)
    for (int x = 0; x < img.width; ++x) {
      const Rgba p = img.at(x, y);
      dib.insert(dib.end(), {p.b, p.g, p.r, p.a});
    }
  for (int y = img.height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row(maskStride, 0);
    for (int x = 0; x < img.width; ++x)
      if (img.at(x, y).a == 0) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    dib.insert(dib.end(), row.begin(), row.end());
  }
  return dib;
}

}  // namespace

std::vector<std::uint8_t> encodeIco(const std::vector<Image>& images) {
  std::vector<std::uint8_t> out;
  putU16(out, 0);
  putU16(out, 1);  // icon, not cursor
  putU16(out, static_cast<std::uint32_t>(images.size()));
  std::vector<std::vector<std::uint8_t>> dibs;
  for (const Image& img : images) dibs.push_back(iconDib(img));
  auto offset = static_cast<std::uint32_t>(6 + 16 * images.size());
  for (std::size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<std::uint8_t>(images[i].width % 256));
    out.push_back(static_cast<std::uint8_t>(images[i].height % 256));
    out.push_back(0);  // no palette
    out.push_back(0);
    putU16(out, 1);
    putU16(out, 32);
    putU32(out, static_cast<std::uint32_t>(dibs[i].size()));
    putU32(out, offset);
    offset += static_cast<std::uint32_t>(dibs[i].size());
  }
  for (const auto& dib : dibs) out.insert(out.end(), dib.begin(), dib.end());
  return out;
}

std::vector<std::uint8_t> encodeBmp8(const Image& img) {
  std::vector<Rgba> palette;
  std::vector<std::uint8_t> indices;
  for (const Rgba& p : img.pixels) {
    if (p.a != 255) throw std::runtime_error("a palette bitmap cannot be transparent");
    auto it = std::find(palette.begin(), palette.end(), p);
    if (it == palette.end()) {
      if (palette.size() == 256) throw std::runtime_error("more than 256 colours");
      palette.push_back(p);
      it = palette.end() - 1;
    }
    indices.push_back(static_cast<std::uint8_t>(it - palette.begin()));
  }
  for (int i = static_cast<int>(palette.size()); i < 256; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    palette.push_back({v, v, v, 255});
  }

  const int stride = (img.width + 3) / 4 * 4;
  const auto pixelBytes = static_cast<std::uint32_t>(stride * img.height);
  const std::uint32_t dataOffset = 14 + 40 + 256 * 4;
  std::vector<std::uint8_t> out = {'B', 'M'};
  putU32(out, dataOffset + pixelBytes);
  putU32(out, 0);
  putU32(out, dataOffset);
  putInfoHeader(out, img.width, img.height, 8, pixelBytes, 256);
  for (const Rgba& c : palette) out.insert(out.end(), {c.b, c.g, c.r, 0});
  for (int y = img.height - 1; y >= 0; --y) {
    const auto* row = indices.data() + static_cast<std::size_t>(y) * img.width;
    out.insert(out.end(), row, row + img.width);
    out.insert(out.end(), static_cast<std::size_t>(stride - img.width), 0);
  }
  return out;
}

}  // namespace artgen
