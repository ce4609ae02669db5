#include "core/png_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace zin {
namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Large enough for any sprite or icon, small enough that a hostile header cannot make us
// allocate gigabytes before the data proves to be short.
constexpr std::uint32_t kMaxSide = 8192;
constexpr std::uint64_t kMaxPixels = 16u * 1024 * 1024;

std::uint32_t be32(const std::uint8_t* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

[[noreturn]] void fail(const std::string& what) {
  throw PngError(what);
}

struct Chunk {
  std::string type;
  const std::uint8_t* data;
  std::uint32_t length;
};

// Walks the chunks, checking structure and CRCs so that damage is reported as damage and
// never read past the end of the buffer.
class ChunkReader {
 public:
  explicit ChunkReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {
    if (bytes.size() < kSignature.size() ||
        !std::equal(kSignature.begin(), kSignature.end(), bytes.begin())) {
      fail("The data is not a PNG image (the PNG signature is missing)");
    }
    pos_ = kSignature.size();
  }

  bool atEnd() const { return pos_ == bytes_.size(); }

  Chunk next() {
    if (bytes_.size() - pos_ < 12) fail("The PNG image is truncated");
    const std::uint8_t* p = bytes_.data() + pos_;
    const std::uint32_t length = be32(p);
    if (length > 0x7FFFFFFFu || bytes_.size() - pos_ - 12 < length) {
      fail("The PNG image is truncated");
    }
    Chunk chunk{std::string(reinterpret_cast<const char*>(p + 4), 4), p + 8, length};
    for (char c : chunk.type) {
      if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
        fail("The PNG image is damaged (invalid chunk type)");
      }
    }
    const auto crc = static_cast<std::uint32_t>(crc32(0, p + 4, length + 4));
    if (crc != be32(p + 8 + length)) {
      fail("The PNG image is damaged (CRC error in chunk " + chunk.type + ")");
    }
    pos_ += 12 + std::size_t{length};
    return chunk;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

int channelsOf(std::uint8_t colourType) {
  switch (colourType) {
    case 0:
      return 1;
    case 2:
      return 3;
    case 3:
      return 1;
    case 4:
      return 2;
    case 6:
      return 4;
    default:
      return 0;
  }
}

PngHeader parseHeader(const Chunk& c) {
  if (c.type != "IHDR") fail("The PNG image is damaged (IHDR is not the first chunk)");
  if (c.length != 13) fail("The PNG image is damaged (IHDR has the wrong size)");
  PngHeader h;
  h.width = be32(c.data);
  h.height = be32(c.data + 4);
  h.bitDepth = c.data[8];
  h.colourType = c.data[9];
  h.compression = c.data[10];
  h.filter = c.data[11];
  h.interlace = c.data[12];
  if (h.width == 0 || h.height == 0) fail("The PNG image is damaged (zero width or height)");
  if (h.width > kMaxSide || h.height > kMaxSide || std::uint64_t{h.width} * h.height > kMaxPixels) {
    fail("The PNG image is too large");
  }
  if (channelsOf(h.colourType) == 0) fail("The PNG image is damaged (unknown colour type)");
  if (h.bitDepth != 8) {
    fail("Unsupported PNG image (bit depth " + std::to_string(h.bitDepth) + ")");
  }
  if (h.compression != 0 || h.filter != 0) {
    fail("The PNG image is damaged (unknown compression or filter method)");
  }
  if (h.interlace != 0) fail("Unsupported PNG image (interlaced)");
  return h;
}

constexpr std::size_t kColourSlack = 1;

std::uint32_t load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

std::uint64_t load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

void store32(std::uint8_t* p, std::uint32_t v) {
  std::memcpy(p, &v, 4);
}

void store64(std::uint8_t* p, std::uint64_t v) {
  std::memcpy(p, &v, 8);
}

// Byte lanes in a word, each added modulo 256: a whole RGBA pixel, or eight bytes, per step,
// whatever the byte order.
template <typename Word>
Word addLanes(Word a, Word b) {
  constexpr Word low7 = static_cast<Word>(0x7F7F7F7F7F7F7F7Full);
  constexpr Word high = static_cast<Word>(0x8080808080808080ull);
  return ((a & low7) + (b & low7)) ^ ((a ^ b) & high);
}

// (a + b) >> 1 in each byte lane, without the ninth bit the sum would need.
std::uint32_t averageLanes(std::uint32_t a, std::uint32_t b) {
  return (a & b) + (((a ^ b) & 0xFEFEFEFEu) >> 1);
}

std::uint8_t paeth(int a, int b, int c) {
  // For p = a + b - c: |p - a| = |b - c|, |p - b| = |a - c|, |p - c| = |(b - c) + (a - c)|;
  // only selects follow, which the compiler can keep free of jumps.
  const int toA = b - c;
  const int toB = a - c;
  const int pa = std::abs(toA);
  const int pb = std::abs(toB);
  const int pc = std::abs(toA + toB);
  const int bc = pb <= pc ? b : c;
  return static_cast<std::uint8_t>(pa <= pb && pa <= pc ? a : bc);
}

// Undoes one row's filter in place. `cur` holds n bytes after the filter byte; `prev` is the
// unfiltered row above, or null for the first row. The filter byte has been checked. Bpp is a
// constant so that the loops know their lane distance.
template <int Bpp>
void unfilterRow(std::uint8_t filter, std::uint8_t* cur, const std::uint8_t* prev, std::size_t n) {
  switch (filter) {
    case 0:
      break;
    case 1:
      if constexpr (Bpp == 4) {
        std::uint32_t left = load32(cur);
        for (std::size_t i = 4; i < n; i += 4) {
          left = addLanes(load32(cur + i), left);
          store32(cur + i, left);
        }
      } else {
        for (std::size_t i = Bpp; i < n; ++i) {
          cur[i] = static_cast<std::uint8_t>(cur[i] + cur[i - Bpp]);
        }
      }
      break;
    case 2:
      if (prev) {
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) store64(cur + i, addLanes(load64(cur + i), load64(prev + i)));
        for (; i < n; ++i) cur[i] = static_cast<std::uint8_t>(cur[i] + prev[i]);
      }
      break;
    case 3:
      if constexpr (Bpp == 4) {
        // Without a row above, the average is of the left neighbour and zero.
        std::uint32_t left = 0;
        for (std::size_t i = 0; i < n; i += 4) {
          left = addLanes(load32(cur + i), averageLanes(left, prev ? load32(prev + i) : 0));
          store32(cur + i, left);
        }
      } else if (prev) {
        for (std::size_t i = 0; i < Bpp; ++i) {
          cur[i] = static_cast<std::uint8_t>(cur[i] + (prev[i] >> 1));
        }
        for (std::size_t i = Bpp; i < n; ++i) {
          cur[i] = static_cast<std::uint8_t>(cur[i] + ((cur[i - Bpp] + prev[i]) >> 1));
        }
      } else {
        for (std::size_t i = Bpp; i < n; ++i) {
          cur[i] = static_cast<std::uint8_t>(cur[i] + (cur[i - Bpp] >> 1));
        }
      }
      break;
    case 4:
      if (prev) {
        for (std::size_t i = 0; i < Bpp; ++i) cur[i] = static_cast<std::uint8_t>(cur[i] + prev[i]);
        for (std::size_t i = Bpp; i < n; ++i) {
          cur[i] = static_cast<std::uint8_t>(cur[i] + paeth(cur[i - Bpp], prev[i], prev[i - Bpp]));
        }
      } else {
        // Without a row above, Paeth always picks the left neighbour.
        unfilterRow<Bpp>(1, cur, nullptr, n);
      }
      break;
  }
}

// Unfilters row by row and spreads each row into the colour and alpha planes while it is still
// in the cache. `raw` holds height rows of (1 + stride) bytes, each filter byte checked.
// `rgb` has kColourSlack bytes to spare at the end: pixels are written a word at a time, the
// bytes past them overwritten by the next ones.
template <int Bpp>
void unfilterAndSplit(std::uint8_t* raw, const PngHeader& h, const std::uint8_t* palette,
                      int paletteSize, std::uint8_t* rgb, std::uint8_t* a) {
  const std::size_t stride = std::size_t{h.width} * Bpp;
  const std::uint8_t* prev = nullptr;
  for (std::uint32_t y = 0; y < h.height; ++y) {
    std::uint8_t* const cur = raw + y * (stride + 1) + 1;
    unfilterRow<Bpp>(cur[-1], cur, prev, stride);
    prev = cur;
    const std::uint8_t* src = cur;
    switch (h.colourType) {
      case 6:
        for (std::uint32_t x = 0; x < h.width; ++x, src += 4, rgb += 3) {
          store32(rgb, load32(src));
          *a++ = src[3];
        }
        break;
      case 2:
        std::memcpy(rgb, src, stride);
        rgb += stride;
        break;
      case 4:
        for (std::uint32_t x = 0; x < h.width; ++x, src += 2, rgb += 3) {
          rgb[0] = rgb[1] = rgb[2] = src[0];
          *a++ = src[1];
        }
        break;
      case 0:
        for (std::uint32_t x = 0; x < h.width; ++x, rgb += 3) rgb[0] = rgb[1] = rgb[2] = src[x];
        break;
      case 3:
        for (std::uint32_t x = 0; x < h.width; ++x, rgb += 3) {
          if (src[x] >= paletteSize) fail("The PNG image is damaged (palette index out of range)");
          std::memcpy(rgb, palette + src[x] * 3, 3);
        }
        break;
    }
  }
}

// Feeds the IDAT chunks of one decode to the image's zlib stream, straight into its buffer.
class Inflater {
 public:
  Inflater(z_stream& z, std::uint8_t* out, std::size_t size) : z_(z) {
    z_.next_out = out;
    z_.avail_out = static_cast<uInt>(size);
  }

  // Feeds one IDAT's data. Data beyond the image's size is ignored, as other readers do.
  void feed(const std::uint8_t* data, std::uint32_t length) {
    if (done_) return;
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = length;
    while (z_.avail_in > 0 && z_.avail_out > 0) {
      // Z_FINISH: the whole image fits the output, so zlib need not keep a window of it when
      // the stream ends within this call; Z_BUF_ERROR then only means "more input, please".
      const int rc = inflate(&z_, Z_FINISH);
      if (rc == Z_STREAM_END) {
        done_ = true;
        return;
      }
      if (rc != Z_OK && rc != Z_BUF_ERROR) {
        fail("The PNG image is damaged (the compressed image data is invalid)");
      }
    }
    if (z_.avail_out == 0) done_ = true;
  }

  bool outputFull() const { return z_.avail_out == 0; }

 private:
  z_stream& z_;
  bool done_ = false;
};

}  // namespace

PngImage::Inflate& PngImage::Inflate::operator=(Inflate&& other) noexcept {
  std::swap(stream_, other.stream_);
  return *this;
}

PngImage::Inflate::~Inflate() {
  if (stream_) {
    inflateEnd(stream_);
    delete stream_;
  }
}

z_stream& PngImage::Inflate::reset() {
  if (stream_) {
    // Keeps zlib's allocations for the next stream.
    if (inflateReset(stream_) == Z_OK) return *stream_;
    inflateEnd(stream_);
    delete stream_;
    stream_ = nullptr;
  }
  auto stream = std::make_unique<z_stream>();
  if (inflateInit(stream.get()) != Z_OK) fail("Out of memory while reading a PNG image");
  stream_ = stream.release();
  return *stream_;
}

void PngImage::decode(std::span<const std::uint8_t> bytes) {
  header_ = PngHeader{};
  try {
    ChunkReader chunks(bytes);
    const PngHeader h = parseHeader(chunks.next());
    const int channels = channelsOf(h.colourType);
    const std::size_t stride = std::size_t{h.width} * static_cast<std::size_t>(channels);
    const std::size_t rawSize = (stride + 1) * h.height;
    raw_.resize(rawSize);

    std::array<std::uint8_t, 256 * 3> palette{};
    int paletteSize = -1;
    Inflater inflater(inflate_.reset(), raw_.data(), rawSize);
    bool seenData = false;
    bool dataEnded = false;
    bool seenEnd = false;
    while (!seenEnd) {
      if (chunks.atEnd()) fail("The PNG image is truncated (no IEND chunk)");
      const Chunk c = chunks.next();
      if (c.type == "IDAT") {
        if (dataEnded) fail("The PNG image is damaged (the IDAT chunks are not consecutive)");
        seenData = true;
        inflater.feed(c.data, c.length);
      } else {
        if (seenData) dataEnded = true;
        if (c.type == "IEND") {
          seenEnd = true;
        } else if (c.type == "IHDR") {
          fail("The PNG image is damaged (a second IHDR chunk)");
        } else if (c.type == "PLTE") {
          if (seenData || c.length % 3 != 0 || c.length == 0 || c.length > 768) {
            fail("The PNG image is damaged (invalid PLTE chunk)");
          }
          std::memcpy(palette.data(), c.data, c.length);
          paletteSize = static_cast<int>(c.length / 3);
        } else if (!(c.type[0] & 0x20)) {
          fail("Unsupported PNG image (critical chunk " + c.type + ")");
        }
        // Ancillary chunks (text, gamma, transparency, ...) carry nothing we show.
      }
    }
    if (!seenData) fail("The PNG image is damaged (no image data)");
    if (!inflater.outputFull()) fail("The PNG image is truncated (the image data is short)");
    if (h.colourType == 3 && paletteSize < 0) fail("The PNG image is damaged (no palette)");

    // Every filter byte before any pixel, so that a bad filter is reported ahead of a bad
    // palette index, whichever row each is in.
    for (std::uint32_t y = 0; y < h.height; ++y) {
      const std::uint8_t filter = raw_[y * (stride + 1)];
      if (filter > 4) {
        fail("The PNG image is damaged (unknown row filter " + std::to_string(filter) + ")");
      }
    }

    const std::size_t pixels = std::size_t{h.width} * h.height;
    colour_.resize(pixels * 3 + kColourSlack);
    alpha_.resize(h.hasAlpha() ? pixels : 0);
    std::uint8_t* rgb = colour_.data();
    std::uint8_t* a = alpha_.data();
    switch (channels) {
      case 1:
        unfilterAndSplit<1>(raw_.data(), h, palette.data(), paletteSize, rgb, a);
        break;
      case 2:
        unfilterAndSplit<2>(raw_.data(), h, palette.data(), paletteSize, rgb, a);
        break;
      case 3:
        unfilterAndSplit<3>(raw_.data(), h, palette.data(), paletteSize, rgb, a);
        break;
      default:
        unfilterAndSplit<4>(raw_.data(), h, palette.data(), paletteSize, rgb, a);
        break;
    }
    header_ = h;
  } catch (...) {
    colour_.clear();
    alpha_.clear();
    throw;
  }
}

PngImage decodePng(std::span<const std::uint8_t> bytes) {
  PngImage image;
  image.decode(bytes);
  return image;
}

std::vector<std::string> pngChunkTypes(std::span<const std::uint8_t> bytes) {
  ChunkReader chunks(bytes);
  std::vector<std::string> types;
  while (!chunks.atEnd()) types.push_back(chunks.next().type);
  return types;
}

}  // namespace zin
