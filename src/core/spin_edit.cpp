#include "core/spin_edit.h"

#include <limits>

namespace zin {

namespace {

// Decimal only, with an optional sign; anything else, or a value outside 32 bits, is no number.
bool parseInt32(std::string_view text, std::int32_t& out) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  const std::int64_t limit = negative ? -std::int64_t{std::numeric_limits<std::int32_t>::min()}
                                      : std::int64_t{std::numeric_limits<std::int32_t>::max()};
  std::int64_t magnitude = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    magnitude = magnitude * 10 + (c - '0');
    // Stopping here keeps a long run of digits from overflowing the accumulator.
    if (magnitude > limit) return false;
  }
  out = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

}  // namespace

std::int32_t SpinEditValue::value() const {
  std::int32_t v = 0;
  return parseInt32(text_, v) ? v : min_;
}

void SpinEditValue::setValue(std::int64_t value) {
  if (value < min_) value = min_;
  if (value > max_) value = max_;
  text_ = std::to_string(value);
}

void SpinEditValue::focusLost() {
  // Empty text reads as the minimum, which is in range, so it stays empty.
  const std::int32_t v = value();
  if (v < min_ || v > max_) setValue(v);
}

bool SpinEditValue::acceptsChar(char c, char decimalSeparator) {
  // As a byte: a character from the upper half is a letter, not a control character.
  const auto byte = static_cast<unsigned char>(c);
  if (byte < 32) return c != '\r';
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == decimalSeparator;
}

}  // namespace zin
