#include "core/saver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace zin {
namespace {

using namespace std::string_view_literals;

TEST(FirstArgument, SplitsTheCommandLineAsWindowsProgramsDo) {
  const std::pair<std::string_view, const char*> cases[] = {
      {"Zintara.scr /s", "/s"},
      {"\"C:\\Program Files\\Zintara.scr\" /c:1234", "/c:1234"},
      {"x.scr \"\" \"\" /p 1234", "/p"},
      {"x.scr \"\"/s", "/s"},
      {"x.scr \"/s\"", "/s"},
      {"x.scr", ""},
      {"x.scr   ", ""},
      {"x.scr \"\"", ""},
      {"", ""},
      {"x.scr\t/s", "/s"},
      {"x.scr\x01\x1f/s\x02/p", "/s"},
      {"x.scr \"a b\" c", "a b"},
      {"x.scr a\"b c\"d e", "ab cd"},
      {"x.scr a\"\"b", "ab"},
      {"x.scr \"open to the end", "open to the end"},
      {"x.scr \xe9t\xe9 /s", "\xe9t\xe9"},
      {"x.scr\0/s"sv, ""},
      {"x.scr /s\0tail"sv, "/s"},
      {"\"\" /s", ""},  // the skipped quotes leave /s as the program's name
  };
  for (const auto& [line, expected] : cases) {
    EXPECT_EQ(firstArgument(line), expected) << ::testing::PrintToString(std::string(line));
  }
}

TEST(SaverAction, DropsTheSwitchCharacterAndCompares) {
  const std::pair<const char*, SaverAction> cases[] = {
      {"/s", SaverAction::Run},       {"/S", SaverAction::Run},
      {"-s", SaverAction::Run},       {"S", SaverAction::Run},
      {"s", SaverAction::Idle},       {"/c", SaverAction::Configure},
      {"/C", SaverAction::Configure}, {"/c:1234", SaverAction::Configure},
      {"C", SaverAction::Configure},  {"c", SaverAction::Idle},
      {"/p", SaverAction::Close},     {"P", SaverAction::Close},
      {"p", SaverAction::Idle},       {"/s:1", SaverAction::Idle},
      {"/x", SaverAction::Idle},      {"", SaverAction::Close},
      {"/", SaverAction::Idle},       {"//s", SaverAction::Idle},
      {"/pp", SaverAction::Idle},
  };
  for (const auto& [argument, expected] : cases) {
    EXPECT_EQ(saverAction(argument), expected) << '"' << argument << '"';
  }
}

std::uint16_t noKeys(int) {
  return 0;
}

TEST(SaverInputSeen, ToleratesACursorDriftOfFivePixels) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct Case {
    ScreenPoint start, now;
    bool seen;
  } cases[] = {
      {{100, 100}, {105, 95}, false},        {{100, 100}, {95, 105}, false},
      {{100, 100}, {106, 100}, true},        {{100, 100}, {94, 100}, true},
      {{100, 100}, {100, 106}, true},        {{100, 100}, {100, 94}, true},
      {{-1500, -300}, {-1500, -300}, false}, {{-1500, -300}, {-1505, -295}, false},
      {{-1500, -300}, {-1506, -300}, true},  {{kMin, kMin}, {kMax, kMax}, true},
      {{kMax, 0}, {kMin, 0}, true},          {{0, kMin}, {0, kMax}, true},
      {{kMin, kMax}, {kMin, kMax}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(saverInputSeen(c.start, c.now, noKeys), c.seen)
        << "(" << c.start.x << "," << c.start.y << ") to (" << c.now.x << "," << c.now.y << ")";
  }
}

TEST(SaverInputSeen, AnyKeyStateInTheWatchedRangeCounts) {
  struct Case {
    int code;
    std::uint16_t state;
    bool seen;
  } cases[] = {
      {65, 0x8000, true},  {65, 0x0001, true},  {33, 0x0001, true},   {254, 0x8001, true},
      {160, 0x8000, true}, {161, 0x8000, true}, {162, 0x8000, true},  {163, 0x8000, true},
      {164, 0x8000, true}, {165, 0x8000, true}, {27, 0x8000, false},  {32, 0x8000, false},
      {16, 0x8000, false}, {1, 0x8000, false},  {255, 0x8000, false},
  };
  for (const Case& c : cases) {
    const auto keyState = [&](int code) -> std::uint16_t { return code == c.code ? c.state : 0; };
    EXPECT_EQ(saverInputSeen({}, {}, keyState), c.seen) << "code " << c.code;
  }
}

TEST(SaverInputSeen, QueriesEveryWatchedKeyOnceEvenAfterInputIsSeen) {
  for (const ScreenPoint now : {ScreenPoint{0, 0}, ScreenPoint{50, 50}}) {
    std::map<int, int> queries;
    const auto keyState = [&](int code) -> std::uint16_t {
      ++queries[code];
      return code == kFirstWatchedKey ? 1 : 0;
    };
    EXPECT_TRUE(saverInputSeen({}, now, keyState));
    EXPECT_EQ(queries.size(), 222u);
    EXPECT_EQ(queries.begin()->first, 33);
    EXPECT_EQ(queries.rbegin()->first, 254);
    for (const auto& [code, count] : queries) EXPECT_EQ(count, 1) << "code " << code;
  }
}

}  // namespace
}  // namespace zin
