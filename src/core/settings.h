// The three settings and where they are kept between runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zin {

class Registry;

inline constexpr char kSettingsKey[] = "Software\\ZintaraPro";
inline constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kRunValue[] = "ZintaraPro";

struct Settings {
  bool onTop = true;
  bool startup = true;
  std::int32_t flies = 5;
};

// What the store holds; a missing value stays empty. Reads "StartUp", "OnTop" and "Flies"
// in that order from the settings key (created when missing); a value of the wrong type
// raises zin::Error and nothing after it is read.
struct StoredSettings {
  std::optional<bool> startup;
  std::optional<bool> onTop;
  std::optional<std::int32_t> flies;
};
StoredSettings readStoredSettings(Registry& registry);

// Writes "OnTop", "Startup" and "Flies" in that order; a refused write raises zin::Error
// and the values after it are not written.
void writeSettings(Registry& registry, const Settings& settings);

// Writes the auto-start entry (the program's path) when `on`, else deletes it; a missing
// entry is no error.
void writeAutoStart(Registry& registry, bool on, const std::string& programPath);

}  // namespace zin
