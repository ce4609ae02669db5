// Side by side in one run: our PNG reader, libspng on the same bytes, one whole frame draw,
// one walking tick and a plain copy of a frame's bytes as the floor. scripts/bench.sh turns
// the figures into ratios; absolute times on a shared machine say little.
#include <benchmark/benchmark.h>
#include <spng.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/fly_behaviour.h"
#include "core/random.h"
#include "frame.h"

namespace zin::bench {
namespace {

// A single sprite and the whole set: one shows a frame as it is, the other the average.
constexpr const char* kOneSprite = "1_1";

struct SpngCtxFree {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

// A fresh context per image, as libspng wants; the output buffer is the caller's.
bool spngDecode(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t>& out) {
  const std::unique_ptr<spng_ctx, SpngCtxFree> ctx(spng_ctx_new(0));
  if (!ctx || spng_set_png_buffer(ctx.get(), bytes.data(), bytes.size()) != 0) return false;
  std::size_t size = 0;
  if (spng_decoded_image_size(ctx.get(), SPNG_FMT_RGBA8, &size) != 0) return false;
  if (out.size() < size) out.resize(size);
  return spng_decode_image(ctx.get(), out.data(), size, SPNG_FMT_RGBA8, 0) == 0;
}

// The comparison is only fair when both readers turn the bytes into the same pixels.
bool sameAsSpng(const SpriteTable& sprites, const std::string& name) {
  const auto bytes = sprites.find(name);
  PngImage ours;
  ours.decode(bytes);
  std::vector<std::uint8_t> theirs;
  if (!ours.hasAlpha() || !spngDecode(bytes, theirs)) return false;
  for (int y = 0; y < ours.height(); ++y) {
    for (int x = 0; x < ours.width(); ++x) {
      const std::uint8_t* px = &theirs[(static_cast<std::size_t>(y) * ours.width() + x) * 4];
      if (std::memcmp(ours.colourRow(y) + x * 3, px, 3) != 0 || ours.alphaRow(y)[x] != px[3]) {
        return false;
      }
    }
  }
  return true;
}

// The sprites one iteration after another: a single name, or the whole set in turn.
class Cycle {
 public:
  Cycle(const SpriteTable& sprites, const std::string& which)
      : names_(which == "all" ? sprites.names() : std::vector<std::string>{which}) {}
  const std::string& next() {
    const std::string& name = names_[at_];
    if (++at_ == names_.size()) at_ = 0;
    return name;
  }

 private:
  std::vector<std::string> names_;
  std::size_t at_ = 0;
};

void reader(benchmark::State& state, const SpriteTable* sprites, std::string which) {
  Cycle cycle(*sprites, which);
  PngImage image;
  for (auto _ : state) {
    image.decode(sprites->find(cycle.next()));
    benchmark::DoNotOptimize(image.colourRow(0));
    benchmark::ClobberMemory();
  }
}

void spng(benchmark::State& state, const SpriteTable* sprites, std::string which) {
  Cycle cycle(*sprites, which);
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    if (!spngDecode(sprites->find(cycle.next()), out)) {
      state.SkipWithError("libspng failed to decode a sprite");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

void pipeline(benchmark::State& state, const SpriteTable* sprites, std::string which) {
  Cycle cycle(*sprites, which);
  FrameDrawer drawer;
  for (auto _ : state) {
    drawer.draw(*sprites, cycle.next());
    benchmark::DoNotOptimize(drawer.bits().data());
    benchmark::ClobberMemory();
  }
}

// Everything a tick asks of the window and the system, done as cheaply as possible.
class TrivialHost final : public FlyHost {
 public:
  RandomSource& random() override { return random_; }
  int workAreaWidth() override { return 1920; }
  int workAreaHeight() override { return 1040; }
  void setTimerInterval(int ms) override { interval_ = ms; }
  void setTimerEnabled(bool enabled) override { enabled_ = enabled; }
  void setWindowLeft(int left) override { left_ = left; }
  void setWindowTop(int top) override { top_ = top; }
  void drawFrame() override { ++draws_; }
  long draws() const { return draws_; }

 private:
  LcgRandom random_{20240611u};
  int interval_ = 0;
  bool enabled_ = false;
  int left_ = 0;
  int top_ = 0;
  long draws_ = 0;
};

void walkingTick(benchmark::State& state) {
  TrivialHost host;
  FlyState fly;
  fly.posX = 960;
  fly.posY = 520;
  fly.heading = 3;
  fly.direction = 3;
  for (auto _ : state) {
    // Every tick a step: no pause, no idle animation, no end of the walk in sight.
    fly.pauseTicks = 0;
    fly.idleTicks = 0;
    if (fly.stepsLeft < 2) fly.stepsLeft = 100;
    flyTick(fly, host);
    benchmark::DoNotOptimize(fly.posX);
  }
  benchmark::DoNotOptimize(host.draws());
}

void copyFloor(benchmark::State& state) {
  std::vector<std::uint8_t> from(60 * 60 * 4, 0x5A);
  std::vector<std::uint8_t> to(from.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(from.data());
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}

}  // namespace
}  // namespace zin::bench

int main(int argc, char** argv) {
  using namespace zin::bench;
  const char* dir = std::getenv("ZIN_SPRITES_DIR");
  static const SpriteTable sprites = SpriteTable::load(dir ? dir : ZIN_SPRITES_DIR);
  for (const std::string& name : sprites.names()) {
    if (!sameAsSpng(sprites, name)) {
      std::fprintf(stderr, "Our reader and libspng disagree on sprite %s\n", name.c_str());
      return 1;
    }
  }
  for (const std::string& which : {std::string(kOneSprite), std::string("all")}) {
    benchmark::RegisterBenchmark(("reader/" + which).c_str(), reader, &sprites, which);
    benchmark::RegisterBenchmark(("spng/" + which).c_str(), spng, &sprites, which);
    benchmark::RegisterBenchmark(("pipeline/" + which).c_str(), pipeline, &sprites, which);
  }
  benchmark::RegisterBenchmark("tick/walk", walkingTick);
  benchmark::RegisterBenchmark("copy/14400", copyFloor);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
