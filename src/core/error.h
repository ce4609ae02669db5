// The one error type of the program: its text is exactly what the user is shown.
#pragma once

#include <stdexcept>
#include <string>

namespace zin {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Replaces the first "%s" in `pattern` with `arg`.
inline std::string format1(const std::string& pattern, const std::string& arg) {
  const auto at = pattern.find("%s");
  if (at == std::string::npos) return pattern;
  return pattern.substr(0, at) + arg + pattern.substr(at + 2);
}

}  // namespace zin
