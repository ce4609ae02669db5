// The screen saver's command line and the fly-count field's value rules on arbitrary text.
// The first byte picks the field's range; the rest is read as a command line, and again as a
// series of edits: typed text, steps, values, leaving the field, single characters.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <span>
#include <string>
#include <string_view>

#include "core/saver.h"
#include "core/spin_edit.h"
#include "fuzz_input.h"

namespace {

using zin::fuzz::Reader;

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

void commandLine(std::string_view line) {
  const std::string argument = zin::firstArgument(line);
  // Quotes are dropped and a NUL ends the line, so neither can be part of an argument.
  CHECK(argument.find('"') == std::string::npos);
  CHECK(argument.find('\0') == std::string::npos);
  CHECK(argument.size() <= line.size());
  const zin::SaverAction action = zin::saverAction(argument);
  const std::string_view rest =
      argument.size() > 1 ? std::string_view(argument).substr(1) : std::string_view(argument);
  const char first = rest.empty() ? '\0' : (argument.size() > 1 ? upper(rest[0]) : rest[0]);
  CHECK((action == zin::SaverAction::Run) == (rest.size() == 1 && first == 'S'));
  CHECK((action == zin::SaverAction::Configure) == (!rest.empty() && first == 'C'));
}

// A 32-bit decimal with an optional sign and any number of leading zeros, as the field reads
// its text.
bool isInt32(const std::string& text, std::int64_t& out) {
  std::size_t i = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
  if (i == text.size()) return false;
  std::int64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    // Past 2^32 the value is out of range whatever follows; stopping there keeps it exact.
    magnitude = std::min<std::int64_t>(magnitude * 10 + (text[i] - '0'), std::int64_t{1} << 32);
  }
  out = text[0] == '-' ? -magnitude : magnitude;
  return out >= std::numeric_limits<std::int32_t>::min() &&
         out <= std::numeric_limits<std::int32_t>::max();
}

void spinEdit(Reader& in, int minValue, int maxValue) {
  zin::SpinEditValue field(minValue, maxValue, static_cast<int>(in.byte()) - 128);
  const auto inRange = [&] { return field.value() >= minValue && field.value() <= maxValue; };
  CHECK(inRange());
  while (!in.atEnd()) {
    switch (in.byte() % 5) {
      case 0: {
        field.setText(in.text(in.byte() % 24));
        std::int64_t number = 0;
        CHECK(field.value() == (isInt32(field.text(), number) ? number : minValue));
        break;
      }
      case 1: {
        const std::int32_t before = field.value();
        const int delta = static_cast<std::int8_t>(in.byte());
        field.step(delta);
        const std::int64_t wanted = std::int64_t{before} + delta;
        CHECK(field.value() ==
              std::max<std::int64_t>(minValue, std::min<std::int64_t>(maxValue, wanted)));
        break;
      }
      case 2: {
        const std::string before = field.text();
        const bool was = inRange();
        field.focusLost();
        CHECK(inRange());
        if (was) CHECK(field.text() == before);
        break;
      }
      case 3: {
        const std::int64_t v = in.wide();
        field.setValue(v);
        CHECK(field.value() ==
              std::max<std::int64_t>(minValue, std::min<std::int64_t>(maxValue, v)));
        CHECK(field.text() == std::to_string(field.value()));
        break;
      }
      case 4: {
        const char c = static_cast<char>(in.byte());
        const char separator = static_cast<char>(in.byte());
        // Control characters pass (the edit field handles them itself), all but Enter.
        const bool control = static_cast<unsigned char>(c) < 32;
        const bool digitOrSign = (c >= '0' && c <= '9') || c == '+' || c == '-';
        CHECK(zin::SpinEditValue::acceptsChar(c, separator) ==
              (control ? c != '\r' : digitOrSign || c == separator));
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto bytes = std::span<const std::uint8_t>(data, size);
  commandLine(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));

  // Ranges around the real one (1..100), and some at the ends of int.
  Reader in(bytes);
  const std::uint8_t range = in.byte();
  static constexpr int kLimits[] = {
      1, 100, 0, 999, -5, 5, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()};
  int lo = kLimits[range & 7];
  int hi = kLimits[(range >> 3) & 7];
  if (lo > hi) std::swap(lo, hi);
  spinEdit(in, lo, hi);
  return 0;
}
