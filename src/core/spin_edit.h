// The value rules of the fly-count spin edit, which keeps its value as the text of its
// edit field.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zin {

class SpinEditValue {
 public:
  SpinEditValue(int minValue, int maxValue, int value) : min_(minValue), max_(maxValue) {
    setValue(value);
  }

  const std::string& text() const { return text_; }
  // Text typed or pasted into the field, kept as it is.
  void setText(std::string text) { text_ = std::move(text); }

  // The text as a 32-bit integer; text that is not one reads as the minimum. Not clamped.
  std::int32_t value() const;
  // Clamps to min..max and shows the result in decimal.
  void setValue(std::int64_t value);
  // The spin buttons and the arrow keys.
  void step(int delta) { setValue(std::int64_t{value()} + delta); }
  // Leaving the field: a number outside min..max is clamped and written back.
  void focusLost();

  // Whether a typed character may go into the field; the caller beeps when not.
  static bool acceptsChar(char c, char decimalSeparator);

  int minValue() const { return min_; }
  int maxValue() const { return max_; }

 private:
  int min_;
  int max_;
  std::string text_;
};

}  // namespace zin
