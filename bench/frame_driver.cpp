// N draws of one named sprite and nothing else in the measured function, so that an
// instruction count under callgrind (scripts/callgrind.sh) judges a change without the noise
// of timing. Usage: zin_frame_driver [--reader|--spng] NAME [N]
#include <spng.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "frame.h"

extern "C" long zin_allocations;  // count_malloc.c

namespace {

enum class Mode { Pipeline, Reader, Spng };

// The only function callgrind collects in (--toggle-collect), kept out of line for that.
extern "C" [[gnu::noinline]] int zin_measured_draws(Mode mode,
                                                    const zin::bench::SpriteTable* sprites,
                                                    const char* name, long count) {
  zin::bench::FrameDrawer drawer;
  zin::PngImage image;
  std::vector<std::uint8_t> out;
  int checksum = 0;
  for (long i = 0; i < count; ++i) {
    switch (mode) {
      case Mode::Pipeline:
        drawer.draw(*sprites, name);
        checksum += drawer.bits()[drawer.bits().size() / 2];
        break;
      case Mode::Reader:
        image.decode(sprites->find(name));
        checksum += image.colourRow(image.height() / 2)[0];
        break;
      case Mode::Spng: {
        const auto bytes = sprites->find(name);
        spng_ctx* ctx = spng_ctx_new(0);
        std::size_t size = 0;
        if (!ctx || spng_set_png_buffer(ctx, bytes.data(), bytes.size()) != 0 ||
            spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size) != 0) {
          spng_ctx_free(ctx);
          return -1;
        }
        if (out.size() < size) out.resize(size);
        const int rc = spng_decode_image(ctx, out.data(), size, SPNG_FMT_RGBA8, 0);
        spng_ctx_free(ctx);
        if (rc != 0) return -1;
        checksum += out[size / 2];
        break;
      }
    }
  }
  return checksum;
}

}  // namespace

int main(int argc, char** argv) {
  Mode mode = Mode::Pipeline;
  int at = 1;
  if (at < argc && std::strcmp(argv[at], "--reader") == 0) {
    mode = Mode::Reader;
    ++at;
  } else if (at < argc && std::strcmp(argv[at], "--spng") == 0) {
    mode = Mode::Spng;
    ++at;
  }
  if (at >= argc) {
    std::fprintf(stderr, "usage: %s [--reader|--spng] NAME [N]\n", argv[0]);
    return 2;
  }
  const char* name = argv[at];
  const long count = at + 1 < argc ? std::atol(argv[at + 1]) : 1;
  try {
    const char* dir = std::getenv("ZIN_SPRITES_DIR");
    const auto sprites = zin::bench::SpriteTable::load(dir ? dir : ZIN_SPRITES_DIR);
    if (sprites.find(name).empty()) {
      std::fprintf(stderr, "No sprite named %s\n", name);
      return 2;
    }
    const long allocationsBefore = zin_allocations;
    const int checksum = zin_measured_draws(mode, &sprites, name, count);
    const long allocations = zin_allocations - allocationsBefore;
    if (checksum < 0) {
      std::fprintf(stderr, "libspng failed to decode %s\n", name);
      return 1;
    }
    std::printf("%ld draw(s) of %s, checksum %d, %ld heap allocation(s)\n", count, name, checksum,
                allocations);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
