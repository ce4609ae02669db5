#include "core/settings.h"

#include "core/registry.h"

namespace zin {

namespace {

// Closes the key also when a read or write throws, so no handle outlives the call.
class OpenKey {
 public:
  OpenKey(Registry& registry, const std::string& path) : registry_(registry) {
    // A key that cannot be opened is not an error here: reads find nothing, writes fail.
    registry_.openKey(path);
  }
  ~OpenKey() { registry_.closeKey(); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

 private:
  Registry& registry_;
};

}  // namespace

StoredSettings readStoredSettings(Registry& registry) {
  OpenKey key(registry, kSettingsKey);
  StoredSettings stored;
  if (registry.valueExists("StartUp")) stored.startup = registry.readBool("StartUp");
  if (registry.valueExists("OnTop")) stored.onTop = registry.readBool("OnTop");
  if (registry.valueExists("Flies")) stored.flies = registry.readInteger("Flies");
  return stored;
}

void writeSettings(Registry& registry, const Settings& settings) {
  OpenKey key(registry, kSettingsKey);
  registry.writeBool("OnTop", settings.onTop);
  registry.writeBool("Startup", settings.startup);
  registry.writeInteger("Flies", settings.flies);
}

void writeAutoStart(Registry& registry, bool on, const std::string& programPath) {
  OpenKey key(registry, kRunKey);
  if (on) {
    registry.writeString(kRunValue, programPath);
  } else {
    // A missing entry is what we want anyway.
    registry.deleteValue(kRunValue);
  }
}

}  // namespace zin
