#include "core/random.h"

namespace zin {

int LcgRandom::next(int n) {
  // The seed advances on every draw, also a degenerate one, so the sequence never depends on n.
  seed_ = seed_ * 134775813u + 1u;
  if (n <= 0) return 0;
  return static_cast<int>((std::uint64_t{seed_} * static_cast<std::uint32_t>(n)) >> 32);
}

}  // namespace zin
