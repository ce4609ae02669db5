// The PNG reader on hostile bytes. An input that starts with the PNG signature is read as a
// file, once as it is and once with every chunk's CRC made right (so that mutations reach
// past the CRC check); any other input describes an image whose scan lines the harness
// compresses itself, so that every filter and colour type is reached. Whatever decodes must
// decode alike into a fresh and a reused image and must match libspng's pixels.
#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/png_reader.h"
#include "fuzz_input.h"

namespace {

using zin::fuzz::Reader;

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

void putBe32(Bytes& out, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

void putChunk(Bytes& out, const char* type, std::span<const std::uint8_t> data) {
  putBe32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t body = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  putBe32(out, static_cast<std::uint32_t>(
                   crc32(0, out.data() + body, static_cast<uInt>(out.size() - body))));
}

// Rewrites the CRC of every whole chunk; the rest of the structure is left as it is.
Bytes withRightCrcs(Bytes png) {
  std::size_t pos = 8;
  while (png.size() - pos >= 12) {
    const std::uint32_t length = be32(png.data() + pos);
    if (length > png.size() - pos - 12) break;
    const auto crc = static_cast<std::uint32_t>(crc32(0, png.data() + pos + 4, length + 4));
    for (int i = 0; i < 4; ++i)
      png[pos + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    pos += 12 + std::size_t{length};
  }
  return png;
}

// A small image: side bytes, colour type and bit depth, an optional palette, then scan
// lines (each behind its filter byte) that are compressed here and cut into IDAT chunks.
Bytes describedImage(std::span<const std::uint8_t> data) {
  Reader in(data);
  const std::uint32_t width = in.byte() % 64 + 1;
  const std::uint32_t height = in.byte() % 16 + 1;
  static constexpr std::uint8_t kTypes[] = {0, 2, 3, 4, 6, 6, 6, 5};
  const std::uint8_t form = in.byte();
  const std::uint8_t colourType = kTypes[form & 7];
  const std::uint8_t depth = (form & 0x80) ? static_cast<std::uint8_t>(1u << ((form >> 3) & 7)) : 8;
  const std::uint8_t paletteEntries = in.byte();
  const std::uint8_t level = in.byte() % 10;
  const std::uint8_t pieces = in.byte() % 4 + 1;
  const auto palette = in.take(std::size_t{paletteEntries} * 3);
  const auto raw = in.rest();

  Bytes png(kSignature, kSignature + 8);
  Bytes ihdr;
  putBe32(ihdr, width);
  putBe32(ihdr, height);
  for (std::uint8_t b : {depth, colourType, std::uint8_t{0}, std::uint8_t{0}, std::uint8_t{0}}) {
    ihdr.push_back(b);
  }
  putChunk(png, "IHDR", ihdr);
  if (!palette.empty()) putChunk(png, "PLTE", palette);
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  Bytes z(size);
  CHECK(compress2(z.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level) == Z_OK);
  z.resize(size);
  const std::size_t piece = z.size() / pieces + 1;
  for (std::size_t at = 0; at < z.size(); at += piece) {
    putChunk(png, "IDAT", std::span(z).subspan(at, std::min(piece, z.size() - at)));
  }
  putChunk(png, "IEND", {});
  return png;
}

struct SpngFree {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

// libspng's pixels where our reader found an image. Only the colours, and the alpha of an
// image that has one, are compared: we read no transparency chunk, libspng is not asked to.
void compareWithSpng(std::span<const std::uint8_t> png, const zin::PngImage& ours) {
  const std::unique_ptr<spng_ctx, SpngFree> ctx(spng_ctx_new(0));
  CHECK(ctx != nullptr);
  std::size_t size = 0;
  if (spng_set_png_buffer(ctx.get(), png.data(), png.size()) != 0 ||
      spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size) != 0) {
    return;
  }
  Bytes theirs(size);
  // libspng is stricter about some things we read past (such as a damaged ancillary chunk);
  // those images have nothing to compare.
  if (spng_decode_image(ctx.get(), theirs.data(), size, SPNG_FMT_RGBA8, 0) != 0) return;
  CHECK(size == std::size_t(ours.width()) * std::size_t(ours.height()) * 4);
  for (int y = 0; y < ours.height(); ++y) {
    for (int x = 0; x < ours.width(); ++x) {
      const std::uint8_t* px = &theirs[(std::size_t(y) * std::size_t(ours.width()) + x) * 4];
      CHECK(std::memcmp(ours.colourRow(y) + 3 * x, px, 3) == 0);
      if (ours.hasAlpha()) CHECK(ours.alphaRow(y)[x] == px[3]);
    }
  }
}

std::string decodeInto(zin::PngImage& image, std::span<const std::uint8_t> png) {
  try {
    image.decode(png);
  } catch (const zin::PngError& e) {
    CHECK(image.width() == 0 && image.height() == 0);
    return e.what();
  }
  CHECK(image.width() > 0 && image.height() > 0);
  return {};
}

bool samePixels(const zin::PngImage& a, const zin::PngImage& b) {
  if (a.width() != b.width() || a.height() != b.height() || a.hasAlpha() != b.hasAlpha()) {
    return false;
  }
  for (int y = 0; y < a.height(); ++y) {
    const auto w = static_cast<std::size_t>(a.width());
    if (std::memcmp(a.colourRow(y), b.colourRow(y), w * 3) != 0) return false;
    if (a.hasAlpha() && std::memcmp(a.alphaRow(y), b.alphaRow(y), w) != 0) return false;
  }
  return true;
}

void decodeBoth(std::span<const std::uint8_t> png) {
  // One image lives across inputs, as the program's sprite image lives across frames.
  static zin::PngImage reused;
  zin::PngImage fresh;
  const std::string error = decodeInto(fresh, png);
  CHECK(decodeInto(reused, png) == error);
  if (!error.empty()) return;
  CHECK(samePixels(fresh, reused));
  compareWithSpng(png, fresh);
}

void listChunks(std::span<const std::uint8_t> png) {
  try {
    for (const std::string& type : zin::pngChunkTypes(png)) CHECK(type.size() == 4);
  } catch (const zin::PngError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  if (size >= 8 && std::memcmp(data, kSignature, 8) == 0) {
    decodeBoth(input);
    listChunks(input);
    const Bytes repaired = withRightCrcs(Bytes(input.begin(), input.end()));
    decodeBoth(repaired);
    listChunks(repaired);
  } else {
    const Bytes png = describedImage(input);
    decodeBoth(png);
    listChunks(png);
  }
  return 0;
}
