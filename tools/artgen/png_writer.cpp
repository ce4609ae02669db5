#include "png_writer.h"

#include <zlib.h>

#include <array>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

namespace artgen {
namespace {

void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 24));
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

void putChunk(std::vector<std::uint8_t>& out, std::string_view type,
              const std::vector<std::uint8_t>& data) {
  putU32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t typeAt = out.size();
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc = crc32(0L, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
  putU32(out, static_cast<std::uint32_t>(crc));
}

void append(std::vector<std::uint8_t>& out, std::string_view s) {
  out.insert(out.end(), s.begin(), s.end());
}

int paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return a;
  return pb <= pc ? b : c;
}

// Filters every scan line with the type whose output has the smallest sum of magnitudes,
// the usual heuristic that keeps deflate's work predictable.
std::vector<std::uint8_t> filterRows(const Image& img) {
  constexpr int kBpp = 4;
  const std::size_t stride = static_cast<std::size_t>(img.width) * kBpp;
  std::vector<std::uint8_t> raw(stride * img.height);
  for (std::size_t i = 0; i < img.pixels.size(); ++i) {
    raw[i * 4 + 0] = img.pixels[i].r;
    raw[i * 4 + 1] = img.pixels[i].g;
    raw[i * 4 + 2] = img.pixels[i].b;
    raw[i * 4 + 3] = img.pixels[i].a;
  }
  std::vector<std::uint8_t> out;
  out.reserve((stride + 1) * img.height);
  const std::vector<std::uint8_t> zeros(stride, 0);
  for (int y = 0; y < img.height; ++y) {
    const std::uint8_t* cur = raw.data() + y * stride;
    const std::uint8_t* up = y > 0 ? cur - stride : zeros.data();
    std::array<std::vector<std::uint8_t>, 5> cand;
    long bestCost = -1;
    int best = 0;
    for (int f = 0; f < 5; ++f) {
      cand[f].resize(stride);
      long cost = 0;
      for (std::size_t i = 0; i < stride; ++i) {
        const int a = i >= kBpp ? cur[i - kBpp] : 0;
        const int b = up[i];
        const int c = i >= kBpp ? up[i - kBpp] : 0;
        int pred = 0;
        switch (f) {
          case 1:
            pred = a;
            break;
          case 2:
            pred = b;
            break;
          case 3:
            pred = (a + b) / 2;
            break;
          case 4:
            pred = paeth(a, b, c);
            break;
          default:
            break;
        }
        const auto v = static_cast<std::uint8_t>(cur[i] - pred);
        cand[f][i] = v;
        cost += v < 128 ? v : 256 - v;
      }
      if (bestCost < 0 || cost < bestCost) {
        bestCost = cost;
        best = f;
      }
    }
    out.push_back(static_cast<std::uint8_t>(best));
    out.insert(out.end(), cand[best].begin(), cand[best].end());
  }
  return out;
}

std::vector<std::uint8_t> deflateAll(const std::vector<std::uint8_t>& in) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, 15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2 failed");
  std::vector<std::uint8_t> out(deflateBound(&zs, static_cast<uLong>(in.size())));
  zs.next_in = const_cast<Bytef*>(in.data());
  zs.avail_in = static_cast<uInt>(in.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&zs, Z_FINISH);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate did not finish");
  out.resize(zs.total_out);
  return out;
}

}  // namespace

std::vector<std::uint8_t> encodeSpritePng(const Image& img, const SpriteMetadata& meta) {
  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

  std::vector<std::uint8_t> ihdr;
  putU32(ihdr, static_cast<std::uint32_t>(img.width));
  putU32(ihdr, static_cast<std::uint32_t>(img.height));
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // depth, RGBA, deflate, adaptive, no interlace
  putChunk(png, "IHDR", ihdr);

  std::vector<std::uint8_t> text;
  append(text, "Software");
  text.push_back(0);
  append(text, meta.software);
  putChunk(png, "tEXt", text);

  std::vector<std::uint8_t> itxt;
  append(itxt, "Description");
  itxt.insert(itxt.end(), {0, 0, 0});  // end of keyword, not compressed, method
  itxt.insert(itxt.end(), {0, 0});     // empty language tag, empty translated keyword
  append(itxt, meta.description);
  putChunk(png, "iTXt", itxt);

  putChunk(png, "IDAT", deflateAll(filterRows(img)));
  putChunk(png, "IEND", {});
  return png;
}

}  // namespace artgen
