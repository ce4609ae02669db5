#include "core/settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/registry.h"
#include "platform/headless/memory_store.h"

namespace zin {
namespace {

using headless::MemoryUserStore;
using Bytes = std::vector<std::uint8_t>;

// Passes everything on to the memory store and notes which values were asked for or written.
class LoggingStore final : public UserStore {
 public:
  explicit LoggingStore(MemoryUserStore& inner) : inner_(inner) {}
  std::vector<std::string> log;

  Key createKey(const std::string& path) override { return inner_.createKey(path); }
  void closeKey(Key key) override { inner_.closeKey(key); }
  Value queryValue(Key key, const std::string& name, std::size_t capacity) override {
    log.push_back("query " + name);
    return inner_.queryValue(key, name, capacity);
  }
  bool setValue(Key key, const std::string& name, std::uint32_t type,
                std::span<const std::uint8_t> data) override {
    log.push_back("set " + name);
    return inner_.setValue(key, name, type, data);
  }
  bool deleteValue(Key key, const std::string& name) override {
    log.push_back("delete " + name);
    return inner_.deleteValue(key, name);
  }

 private:
  MemoryUserStore& inner_;
};

struct Seed {
  std::string name;
  std::uint32_t type;
  Bytes data;
};

Seed dword(std::string name, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  return {std::move(name),
          kRegDword,
          {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
           static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)}};
}

Seed ansiString(std::string name, const std::string& text) {
  Bytes data(text.begin(), text.end());
  data.push_back(0);
  return {std::move(name), kRegSz, data};
}

class SettingsStore : public ::testing::Test {
 protected:
  void seed(const std::vector<Seed>& seeds) {
    for (const Seed& s : seeds) store.set(kSettingsKey, s.name, s.type, s.data);
  }
  std::string errorOf(const std::function<void()>& action) {
    try {
      action();
    } catch (const Error& e) {
      return e.what();
    }
    return "no error";
  }

  MemoryUserStore store;
  LoggingStore logging{store};
  Registry registry{logging};
};

TEST_F(SettingsStore, AMissingKeyIsCreatedAndGivesNoValues) {
  const StoredSettings stored = readStoredSettings(registry);
  EXPECT_FALSE(stored.startup || stored.onTop || stored.flies);
  EXPECT_TRUE(store.keyExists(kSettingsKey));
  EXPECT_EQ(store.openKeyCount(), 0u);
}

TEST_F(SettingsStore, ReadsTheStoredValuesRaw) {
  struct Case {
    const char* name;
    std::vector<Seed> seeds;
    std::optional<bool> startup, onTop;
    std::optional<std::int32_t> flies;
  } cases[] = {
      {"none", {}, {}, {}, {}},
      {"StartUp 0", {dword("StartUp", 0)}, false, {}, {}},
      {"StartUp 1", {dword("StartUp", 1)}, true, {}, {}},
      {"OnTop 2", {dword("OnTop", 2)}, {}, true, {}},
      {"OnTop -1", {dword("OnTop", -1)}, {}, true, {}},
      {"Flies 0", {dword("Flies", 0)}, {}, {}, 0},
      {"Flies -7", {dword("Flies", -7)}, {}, {}, -7},
      {"Flies 150", {dword("Flies", 150)}, {}, {}, 150},
      {"Flies INT_MIN", {dword("Flies", INT_MIN)}, {}, {}, INT_MIN},
      {"short REG_DWORD", {{"Flies", kRegDword, {0x34, 0x12}}}, {}, {}, 0x1234},
      {"all three", {dword("StartUp", 0), dword("OnTop", 0), dword("Flies", 42)}, false, false, 42},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryUserStore fresh;
    Registry reg(fresh);
    for (const Seed& s : c.seeds) fresh.set(kSettingsKey, s.name, s.type, s.data);

    const StoredSettings stored = readStoredSettings(reg);

    EXPECT_EQ(stored.startup, c.startup);
    EXPECT_EQ(stored.onTop, c.onTop);
    EXPECT_EQ(stored.flies, c.flies);
  }
}

TEST_F(SettingsStore, AValueOfTheWrongTypeStopsTheRead) {
  struct Case {
    const char* name;
    Seed bad;
    std::string message;
  } cases[] = {
      {"REG_SZ \"1\"", ansiString("StartUp", "1"), "Invalid data type for 'StartUp'"},
      {"REG_SZ \"True\"", ansiString("StartUp", "True"), "Failed to get data for 'StartUp'"},
      {"REG_BINARY of 4", {"StartUp", kRegBinary, {1, 0, 0, 0}}, "Invalid data type for 'StartUp'"},
      {"REG_BINARY of 5",
       {"StartUp", kRegBinary, {1, 0, 0, 0, 0}},
       "Failed to get data for 'StartUp'"},
      {"REG_QWORD", {"StartUp", kRegQword, Bytes(8, 0)}, "Failed to get data for 'StartUp'"},
      {"REG_NONE", {"StartUp", kRegNone, {}}, "Invalid data type for 'StartUp'"},
      {"big-endian",
       {"StartUp", kRegDwordBigEndian, {0, 0, 0, 1}},
       "Invalid data type for 'StartUp'"},
      {"long REG_DWORD", {"StartUp", kRegDword, Bytes(5, 0)}, "Failed to get data for 'StartUp'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryUserStore fresh;
    Registry reg(fresh);
    fresh.set(kSettingsKey, c.bad.name, c.bad.type, c.bad.data);
    EXPECT_EQ(errorOf([&] { readStoredSettings(reg); }), c.message);
    EXPECT_EQ(fresh.openKeyCount(), 0u);
  }
}

TEST_F(SettingsStore, NothingAfterTheBadValueIsRead) {
  seed({dword("StartUp", 1), ansiString("OnTop", "1"), dword("Flies", 9)});
  EXPECT_EQ(errorOf([&] { readStoredSettings(registry); }), "Invalid data type for 'OnTop'");
  EXPECT_EQ(logging.log, (std::vector<std::string>{"query StartUp", "query StartUp", "query OnTop",
                                                   "query OnTop"}));
}

TEST_F(SettingsStore, NamesAreMatchedWithoutRegardToCase) {
  for (const char* spelling : {"STARTUP", "startup"}) {
    SCOPED_TRACE(spelling);
    MemoryUserStore fresh;
    Registry reg(fresh);
    fresh.setDword(kSettingsKey, spelling, 0);

    EXPECT_EQ(readStoredSettings(reg).startup, false);
    writeSettings(reg, Settings{true, true, 5});

    const auto names = fresh.valueNames(kSettingsKey);
    EXPECT_EQ(names.size(), 3u);
    EXPECT_EQ(std::count(names.begin(), names.end(), spelling), 1);
    EXPECT_EQ(fresh.value(kSettingsKey, spelling)->data, dword("", 1).data);
  }
}

TEST_F(SettingsStore, WritesTheThreeValuesInOrderAsDwords) {
  writeSettings(registry, Settings{false, true, -2});

  EXPECT_EQ(logging.log, (std::vector<std::string>{"set OnTop", "set Startup", "set Flies"}));
  for (const Seed& expected : {dword("OnTop", 0), dword("Startup", 1), dword("Flies", -2)}) {
    const auto stored = store.value(kSettingsKey, expected.name);
    ASSERT_TRUE(stored) << expected.name;
    EXPECT_EQ(stored->type, kRegDword) << expected.name;
    EXPECT_EQ(stored->data, expected.data) << expected.name;
  }
  EXPECT_EQ(store.openKeyCount(), 0u);
}

TEST_F(SettingsStore, ARefusedWriteStopsTheSaveAndClosesTheKey) {
  store.refuseWrites("Startup");
  EXPECT_EQ(errorOf([&] { writeSettings(registry, Settings{}); }),
            "Failed to set data for 'Startup'");
  EXPECT_TRUE(store.value(kSettingsKey, "OnTop"));
  EXPECT_FALSE(store.value(kSettingsKey, "Flies"));
  EXPECT_EQ(store.openKeyCount(), 0u);
}

TEST_F(SettingsStore, AKeyThatCannotBeOpenedHasNoValuesAndTakesNoWrites) {
  store.failCreate(kSettingsKey);

  const StoredSettings stored = readStoredSettings(registry);
  EXPECT_FALSE(stored.startup || stored.onTop || stored.flies);
  EXPECT_EQ(errorOf([&] { writeSettings(registry, Settings{}); }),
            "Failed to set data for 'OnTop'");
  EXPECT_FALSE(store.keyExists(kSettingsKey));
}

TEST_F(SettingsStore, AutoStartWritesThePathWithItsTerminatorOrDeletesIt) {
  const std::string path = "C:\\Program Files\\Zintara\\Zintara.exe";
  writeAutoStart(registry, true, path);
  const auto entry = store.value(kRunKey, kRunValue);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->type, kRegSz);
  EXPECT_EQ(entry->data, ansiString("", path).data);

  writeAutoStart(registry, false, path);
  EXPECT_FALSE(store.value(kRunKey, kRunValue));
  EXPECT_NO_THROW(writeAutoStart(registry, false, path));
  EXPECT_EQ(store.openKeyCount(), 0u);
}

TEST_F(SettingsStore, AnUnopenableRunKeyFailsOnlyTheWrite) {
  store.failCreate(kRunKey);
  EXPECT_EQ(errorOf([&] { writeAutoStart(registry, true, "x.exe"); }),
            "Failed to set data for 'ZintaraPro'");
  EXPECT_NO_THROW(writeAutoStart(registry, false, "x.exe"));
}

TEST_F(SettingsStore, ReopeningTheRegistryClosesTheKeyItHeld) {
  EXPECT_TRUE(registry.openKey(kSettingsKey));
  EXPECT_TRUE(registry.openKey(kRunKey));
  EXPECT_EQ(store.openKeyCount(), 1u);
  registry.closeKey();
  EXPECT_EQ(store.openKeyCount(), 0u);
}

}  // namespace
}  // namespace zin
