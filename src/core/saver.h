// The screen-saver build's command-line and input rules.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace zin {

// The first argument after the program's own name: arguments are separated by runs of
// characters 1..32; a double quote opens a stretch up to the next one (or the end) inside
// which those characters belong to the argument; the quotes are dropped; empty pairs of
// quotes among the leading blanks are skipped. Missing: the empty text.
std::string firstArgument(std::string_view commandLine);

enum class SaverAction { Close, Configure, Run, Idle };

// A text longer than one character loses its first character and has the next upper-cased
// ("a".."z" only); then: empty closes, "C..." configures, "P" closes, "S" runs, anything
// else idles.
SaverAction saverAction(std::string_view argument);

struct ScreenPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

inline constexpr int kFirstWatchedKey = 33;
inline constexpr int kLastWatchedKey = 254;
inline constexpr int kCursorTolerance = 5;

// One look of the input watch: every key from 33 to 254 is queried, all of them every time
// (a query also clears the key's pressed-since bit); a non-zero state or a cursor more than
// 5 pixels from `start` on either axis counts as input.
bool saverInputSeen(ScreenPoint start, ScreenPoint now,
                    const std::function<std::uint16_t(int)>& keyState);

}  // namespace zin
