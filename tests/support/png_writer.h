// Builds small PNG files for tests: any filter per row, any chunk list, so that the reader
// can be fed both well-formed and deliberately damaged data.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace zin::test {

using Bytes = std::vector<std::uint8_t>;

inline void putBe32(Bytes& out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

inline void putChunk(Bytes& out, const std::string& type, const Bytes& data) {
  putBe32(out, static_cast<std::uint32_t>(data.size()));
  Bytes body(type.begin(), type.end());
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  putBe32(out, static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

inline Bytes ihdr(std::uint32_t w, std::uint32_t h, int depth, int colourType, int interlace = 0) {
  Bytes d;
  putBe32(d, w);
  putBe32(d, h);
  d.push_back(static_cast<std::uint8_t>(depth));
  d.push_back(static_cast<std::uint8_t>(colourType));
  d.push_back(0);
  d.push_back(0);
  d.push_back(static_cast<std::uint8_t>(interlace));
  return d;
}

inline int paethPredict(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

// Filters the rows (each of `stride` bytes) with filters[y % filters.size()] and deflates them.
inline Bytes filteredData(const std::vector<Bytes>& rows, int bpp,
                          const std::vector<int>& filters) {
  Bytes raw;
  for (std::size_t y = 0; y < rows.size(); ++y) {
    const int f = filters[y % filters.size()];
    raw.push_back(static_cast<std::uint8_t>(f));
    const Bytes& cur = rows[y];
    for (std::size_t i = 0; i < cur.size(); ++i) {
      const int a = i >= static_cast<std::size_t>(bpp) ? cur[i - bpp] : 0;
      const int b = y > 0 ? rows[y - 1][i] : 0;
      const int c = (y > 0 && i >= static_cast<std::size_t>(bpp)) ? rows[y - 1][i - bpp] : 0;
      int pred = 0;
      if (f == 1) pred = a;
      if (f == 2) pred = b;
      if (f == 3) pred = (a + b) / 2;
      if (f == 4) pred = paethPredict(a, b, c);
      raw.push_back(static_cast<std::uint8_t>(cur[i] - pred));
    }
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes z(size);
  compress2(z.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9);
  z.resize(size);
  return z;
}

inline Bytes signature() {
  return {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
}

// A complete 8-bit PNG of the given colour type from unfiltered rows.
inline Bytes makePng(std::uint32_t w, const std::vector<Bytes>& rows, int colourType,
                     const std::vector<int>& filters = {0}, const Bytes& palette = {}) {
  const int bpp = colourType == 6 ? 4 : colourType == 2 ? 3 : colourType == 4 ? 2 : 1;
  Bytes png = signature();
  putChunk(png, "IHDR", ihdr(w, static_cast<std::uint32_t>(rows.size()), 8, colourType));
  putChunk(png, "tEXt", Bytes{'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'x'});
  if (!palette.empty()) putChunk(png, "PLTE", palette);
  putChunk(png, "IDAT", filteredData(rows, bpp, filters));
  putChunk(png, "IEND", {});
  return png;
}

}  // namespace zin::test
