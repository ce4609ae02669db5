// A small PNG reader on zlib: what the program needs to show a sprite and nothing more.
//
// It decodes non-interlaced images of bit depth 8 in colour types 0 (grey), 2 (RGB),
// 3 (palette), 4 (grey + alpha) and 6 (RGBA) into an RGB plane and, when the image has
// an alpha channel, a separate alpha plane (rows from the top, one byte per pixel).
// Anything else, and every kind of damage, raises PngError with a readable text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

struct z_stream_s;

namespace zin {

class PngError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PngHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint8_t bitDepth = 0;
  std::uint8_t colourType = 0;
  std::uint8_t compression = 0;
  std::uint8_t filter = 0;
  std::uint8_t interlace = 0;

  bool hasAlpha() const { return colourType == 4 || colourType == 6; }
};

// A decoded image. Buffers and the inflate state are kept between decodes so that a reader
// reused for every frame allocates only when an image is larger than any before it.
class PngImage {
 public:
  const PngHeader& header() const { return header_; }
  int width() const { return static_cast<int>(header_.width); }
  int height() const { return static_cast<int>(header_.height); }
  bool hasAlpha() const { return header_.hasAlpha(); }

  // Row r from the top: width × 3 bytes, red, green, blue.
  const std::uint8_t* colourRow(int r) const {
    return colour_.data() + static_cast<std::size_t>(r) * header_.width * 3;
  }
  // Row r from the top: width bytes, one alpha per pixel. Only when hasAlpha().
  const std::uint8_t* alphaRow(int r) const {
    return alpha_.data() + static_cast<std::size_t>(r) * header_.width;
  }

  // Replaces the content with the image in `bytes`; throws PngError and leaves the image
  // empty (0 × 0) when the data is not a PNG this reader can show.
  void decode(std::span<const std::uint8_t> bytes);

 private:
  PngHeader header_;
  std::vector<std::uint8_t> colour_;
  std::vector<std::uint8_t> alpha_;
  std::vector<std::uint8_t> raw_;  // inflated, filtered scan lines

  // Owns a zlib stream, created on the first decode. Copies start without one: two images
  // must never share a stream.
  class Inflate {
   public:
    Inflate() = default;
    Inflate(const Inflate&) noexcept {}
    Inflate(Inflate&& other) noexcept : stream_(other.stream_) { other.stream_ = nullptr; }
    Inflate& operator=(const Inflate&) noexcept { return *this; }
    Inflate& operator=(Inflate&& other) noexcept;
    ~Inflate();
    // Ready for a new zlib stream; throws PngError when zlib has no memory for it.
    z_stream_s& reset();

   private:
    z_stream_s* stream_ = nullptr;
  };
  Inflate inflate_;
};

// Convenience for tools and tests.
PngImage decodePng(std::span<const std::uint8_t> bytes);

// The chunk types of a PNG file in file order, read without decoding the image. Throws
// PngError when the signature or the chunk structure is broken.
std::vector<std::string> pngChunkTypes(std::span<const std::uint8_t> bytes);

}  // namespace zin
