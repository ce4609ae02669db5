// What every fuzz target shares: a check that names the broken expectation, and a reader
// that takes the input front to back.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

namespace zin::fuzz {

// Names the broken expectation before the crash that libFuzzer reports as a finding.
[[noreturn]] inline void broken(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: expected %s\n", file, line, what);
  std::abort();
}

// Past the end every read is zero (or empty).
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}
  bool atEnd() const { return at_ >= data_.size(); }
  std::uint8_t byte() { return at_ < data_.size() ? data_[at_++] : 0; }
  std::uint32_t word() { return static_cast<std::uint32_t>(little(4)); }
  std::int64_t wide() { return static_cast<std::int64_t>(little(8)); }
  std::span<const std::uint8_t> take(std::size_t n) {
    n = std::min(n, data_.size() - at_);
    const auto part = data_.subspan(at_, n);
    at_ += n;
    return part;
  }
  std::span<const std::uint8_t> rest() { return take(data_.size() - at_); }
  std::string text(std::size_t n) {
    const auto part = take(n);
    return std::string(part.begin(), part.end());
  }

 private:
  std::uint64_t little(int bytes) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= std::uint64_t{byte()} << (8 * i);
    return v;
  }

  std::span<const std::uint8_t> data_;
  std::size_t at_ = 0;
};

}  // namespace zin::fuzz

#define CHECK(ok) ((ok) ? void() : ::zin::fuzz::broken(#ok, __FILE__, __LINE__))
