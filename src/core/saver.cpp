#include "core/saver.h"

#include <cstdlib>

namespace zin {

namespace {

// Compared as bytes, so that letters of the upper half are part of an argument.
bool isBlank(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 1 && byte <= 32;
}

// Reads one argument from the front of `rest` and leaves `rest` just past it.
std::string takeArgument(std::string_view& rest) {
  // A NUL ends the command line wherever it stands.
  if (const auto nul = rest.find('\0'); nul != std::string_view::npos) rest = rest.substr(0, nul);
  for (;;) {
    while (!rest.empty() && isBlank(rest.front())) rest.remove_prefix(1);
    if (rest.size() >= 2 && rest[0] == '"' && rest[1] == '"') {
      rest.remove_prefix(2);
    } else {
      break;
    }
  }
  std::string argument;
  while (!rest.empty() && !isBlank(rest.front())) {
    if (rest.front() != '"') {
      argument += rest.front();
      rest.remove_prefix(1);
      continue;
    }
    rest.remove_prefix(1);
    const auto close = rest.find('"');
    argument += rest.substr(0, close);
    rest.remove_prefix(close == std::string_view::npos ? rest.size() : close + 1);
  }
  return argument;
}

}  // namespace

std::string firstArgument(std::string_view commandLine) {
  takeArgument(commandLine);  // the program's own name
  return takeArgument(commandLine);
}

SaverAction saverAction(std::string_view argument) {
  std::string text(argument);
  if (text.size() > 1) {
    // Windows passes "/s", "-s" and the like: the switch character itself says nothing.
    text.erase(0, 1);
    if (text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
  }
  if (text.empty()) return SaverAction::Close;
  if (text[0] == 'C') return SaverAction::Configure;
  if (text == "P") return SaverAction::Close;
  if (text == "S") return SaverAction::Run;
  return SaverAction::Idle;
}

bool saverInputSeen(ScreenPoint start, ScreenPoint now,
                    const std::function<std::uint16_t(int)>& keyState) {
  bool seen = false;
  // No early exit: each query also clears that key's pressed-since bit for the next look.
  for (int key = kFirstWatchedKey; key <= kLastWatchedKey; ++key) {
    if (keyState(key) != 0) seen = true;
  }
  // 64 bits: the distance between two 32-bit coordinates need not fit in 32.
  const std::int64_t dx = std::int64_t{now.x} - start.x;
  const std::int64_t dy = std::int64_t{now.y} - start.y;
  if (std::llabs(dx) > kCursorTolerance || std::llabs(dy) > kCursorTolerance) seen = true;
  return seen;
}

}  // namespace zin
