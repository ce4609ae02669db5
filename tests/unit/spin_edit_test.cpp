#include "core/spin_edit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace zin {
namespace {

SpinEditValue fliesWithText(const std::string& text) {
  SpinEditValue spin(1, 99, 5);
  spin.setText(text);
  return spin;
}

TEST(SpinEditValue, ReadsTheTypedTextUnclampedOrAsTheMinimum) {
  const std::pair<const char*, std::int32_t> cases[] = {
      {"42", 42},
      {"150", 150},
      {"0", 0},
      {"-7", -7},
      {"+5", 5},
      {"007", 7},
      {"", 1},
      {"-", 1},
      {"+", 1},
      {"abc", 1},
      {"4a", 1},
      {"1.5", 1},
      {"--5", 1},
      {"5-", 1},
      {"2147483647", 2147483647},
      {"2147483648", 1},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"-2147483649", 1},
      {"99999999999999999999999", 1},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(fliesWithText(text).value(), expected) << '"' << text << '"';
  }
}

TEST(SpinEditValue, SettingClampsAndShowsDecimal) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "1"},
      {150, "99"},
      {-5, "1"},
      {1, "1"},
      {99, "99"},
      {42, "42"},
      {std::numeric_limits<std::int64_t>::max(), "99"},
      {std::numeric_limits<std::int64_t>::min(), "1"},
  };
  for (const auto& [v, text] : cases) {
    SpinEditValue spin(1, 99, 5);
    spin.setValue(v);
    EXPECT_EQ(spin.text(), text) << v;
  }
  EXPECT_EQ(SpinEditValue(1, 99, 500).text(), "99");
}

TEST(SpinEditValue, LeavingTheFieldClampsOnlyANumberOutOfRange) {
  const std::pair<const char*, const char*> cases[] = {
      {"150", "99"}, {"0", "1"}, {"-3", "1"}, {"", ""}, {"abc", "abc"}, {"42", "42"}, {"+7", "+7"},
  };
  for (const auto& [typed, shown] : cases) {
    SpinEditValue spin = fliesWithText(typed);
    spin.focusLost();
    EXPECT_EQ(spin.text(), shown) << '"' << typed << '"';
  }
}

TEST(SpinEditValue, StepsStayInRange) {
  struct Case {
    const char* text;
    int delta;
    const char* after;
  } cases[] = {
      {"99", 1, "99"}, {"1", -1, "1"},          {"", 1, "2"},
      {"5", -1, "4"},  {"2147483647", 1, "99"}, {"-2147483648", -1, "1"},
  };
  for (const Case& c : cases) {
    SpinEditValue spin = fliesWithText(c.text);
    spin.step(c.delta);
    EXPECT_EQ(spin.text(), c.after) << '"' << c.text << "\" " << c.delta;
  }
}

TEST(SpinEditValue, AcceptsDigitsSignsTheSeparatorAndControlCharacters) {
  struct Case {
    char c;
    char separator;
    bool accepted;
  } cases[] = {
      {'0', '.', true},     {'9', '.', true},     {'+', '.', true},     {'-', '.', true},
      {'.', '.', true},     {',', ',', true},     {',', '.', false},    {'.', ',', false},
      {'a', '.', false},    {' ', '.', false},    {'\r', '.', false},   {'\b', '.', true},
      {'\t', '.', true},    {'\x1b', '.', true},  {'\x16', '.', true},  {'\0', '.', true},
      {'\x7f', '.', false}, {'\xe9', '.', false}, {'\xb2', '.', false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SpinEditValue::acceptsChar(c.c, c.separator), c.accepted)
        << "code " << static_cast<int>(static_cast<unsigned char>(c.c)) << " separator "
        << c.separator;
  }
}

}  // namespace
}  // namespace zin
