#include "core/png_reader.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

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

std::uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = p > a ? p - a : a - p;
  const int pb = p > b ? p - b : b - p;
  const int pc = p > c ? p - c : c - p;
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(a);
  return static_cast<std::uint8_t>(pb <= pc ? b : c);
}

// Undoes the per-row filters in place. `raw` holds height rows of (1 + stride) bytes; the
// unfiltered pixels stay where they are, each row still behind its filter byte.
void unfilter(std::uint8_t* raw, std::size_t stride, std::uint32_t height, int bpp) {
  const std::uint8_t* prev = nullptr;
  for (std::uint32_t y = 0; y < height; ++y) {
    std::uint8_t* row = raw + y * (stride + 1);
    const std::uint8_t filter = row[0];
    std::uint8_t* cur = row + 1;
    const auto n = static_cast<std::ptrdiff_t>(stride);
    switch (filter) {
      case 0:
        break;
      case 1:
        for (std::ptrdiff_t i = bpp; i < n; ++i)
          cur[i] = static_cast<std::uint8_t>(cur[i] + cur[i - bpp]);
        break;
      case 2:
        if (prev) {
          for (std::ptrdiff_t i = 0; i < n; ++i)
            cur[i] = static_cast<std::uint8_t>(cur[i] + prev[i]);
        }
        break;
      case 3:
        if (prev) {
          for (std::ptrdiff_t i = 0; i < bpp; ++i)
            cur[i] = static_cast<std::uint8_t>(cur[i] + (prev[i] >> 1));
          for (std::ptrdiff_t i = bpp; i < n; ++i) {
            cur[i] = static_cast<std::uint8_t>(cur[i] + ((cur[i - bpp] + prev[i]) >> 1));
          }
        } else {
          for (std::ptrdiff_t i = bpp; i < n; ++i) {
            cur[i] = static_cast<std::uint8_t>(cur[i] + (cur[i - bpp] >> 1));
          }
        }
        break;
      case 4:
        if (prev) {
          for (std::ptrdiff_t i = 0; i < bpp; ++i)
            cur[i] = static_cast<std::uint8_t>(cur[i] + prev[i]);
          for (std::ptrdiff_t i = bpp; i < n; ++i) {
            cur[i] =
                static_cast<std::uint8_t>(cur[i] + paeth(cur[i - bpp], prev[i], prev[i - bpp]));
          }
        } else {
          // Without a row above, Paeth always picks the left neighbour.
          for (std::ptrdiff_t i = bpp; i < n; ++i)
            cur[i] = static_cast<std::uint8_t>(cur[i] + cur[i - bpp]);
        }
        break;
      default:
        fail("The PNG image is damaged (unknown row filter " + std::to_string(filter) + ")");
    }
    prev = cur;
  }
}

class Inflater {
 public:
  Inflater() {
    std::memset(&z_, 0, sizeof z_);
    if (inflateInit(&z_) != Z_OK) fail("Out of memory while reading a PNG image");
  }
  ~Inflater() { inflateEnd(&z_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  void setOutput(std::uint8_t* out, std::size_t size) {
    z_.next_out = out;
    z_.avail_out = static_cast<uInt>(size);
  }

  // Feeds one IDAT's data. Data beyond the image's size is ignored, as other readers do.
  void feed(const std::uint8_t* data, std::uint32_t length) {
    if (done_) return;
    z_.next_in = const_cast<Bytef*>(data);
    z_.avail_in = length;
    while (z_.avail_in > 0 && z_.avail_out > 0) {
      const int rc = inflate(&z_, Z_NO_FLUSH);
      if (rc == Z_STREAM_END) {
        done_ = true;
        return;
      }
      if (rc != Z_OK) fail("The PNG image is damaged (the compressed image data is invalid)");
    }
    if (z_.avail_out == 0) done_ = true;
  }

  bool outputFull() const { return z_.avail_out == 0; }

 private:
  z_stream z_;
  bool done_ = false;
};

}  // namespace

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
    Inflater inflater;
    inflater.setOutput(raw_.data(), rawSize);
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

    unfilter(raw_.data(), stride, h.height, channels);

    const std::size_t pixels = std::size_t{h.width} * h.height;
    colour_.resize(pixels * 3);
    alpha_.resize(h.hasAlpha() ? pixels : 0);
    std::uint8_t* rgb = colour_.data();
    std::uint8_t* a = alpha_.data();
    for (std::uint32_t y = 0; y < h.height; ++y) {
      const std::uint8_t* src = raw_.data() + y * (stride + 1) + 1;
      switch (h.colourType) {
        case 6:
          for (std::uint32_t x = 0; x < h.width; ++x, src += 4) {
            *rgb++ = src[0];
            *rgb++ = src[1];
            *rgb++ = src[2];
            *a++ = src[3];
          }
          break;
        case 2:
          std::memcpy(rgb, src, stride);
          rgb += stride;
          break;
        case 4:
          for (std::uint32_t x = 0; x < h.width; ++x, src += 2) {
            rgb[0] = rgb[1] = rgb[2] = src[0];
            rgb += 3;
            *a++ = src[1];
          }
          break;
        case 0:
          for (std::uint32_t x = 0; x < h.width; ++x) {
            rgb[0] = rgb[1] = rgb[2] = src[x];
            rgb += 3;
          }
          break;
        case 3:
          for (std::uint32_t x = 0; x < h.width; ++x) {
            if (src[x] >= paletteSize)
              fail("The PNG image is damaged (palette index out of range)");
            std::memcpy(rgb, palette.data() + src[x] * 3, 3);
            rgb += 3;
          }
          break;
      }
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
