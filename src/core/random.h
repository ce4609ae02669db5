// The one pseudo-random generator that all flies share. Behaviour code draws through the
// RandomSource interface so that a test can replay an exact sequence of draws.
#pragma once

#include <cstdint>

namespace zin {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // A draw R(n): uniform in 0 .. n-1 (0 when n <= 0).
  virtual int next(int n) = 0;
  virtual void reseed(std::uint32_t seed) = 0;
};

// A 32-bit linear congruential generator; a draw takes the high half of seed × n, which
// keeps draws uniform for every n without a modulo bias worth noticing.
class LcgRandom final : public RandomSource {
 public:
  explicit LcgRandom(std::uint32_t seed = 0) : seed_(seed) {}
  int next(int n) override;
  void reseed(std::uint32_t seed) override { seed_ = seed; }
  std::uint32_t seed() const { return seed_; }

 private:
  std::uint32_t seed_;
};

}  // namespace zin
