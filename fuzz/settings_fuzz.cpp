// The settings code on whatever the per-user store may hold. The input is a list of values
// put into the in-memory store (a name among the program's own in any spelling, a type,
// data), a few failures to inject, and the settings and program path to write back. A
// zin::Error is an expected outcome; what it says, and what is read and written, is checked
// against what the input put there.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/registry.h"
#include "core/settings.h"
#include "fuzz_input.h"
#include "platform/headless/memory_store.h"

namespace {

using zin::fuzz::Reader;

using zin::headless::MemoryUserStore;

std::string lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

// One of the names the program uses or a near miss, with letters flipped in case by `mask`.
std::string valueName(std::uint8_t which, std::uint8_t mask) {
  static const char* const kNames[] = {"StartUp", "OnTop", "Flies", "Startup", "Flies ", "OnTo"};
  std::string name = kNames[which % 6];
  for (std::size_t i = 0; i < name.size() && i < 8; ++i) {
    if ((mask >> i) & 1) {
      char& c = name[i];
      if (c >= 'a' && c <= 'z') {
        c = static_cast<char>(c - 'a' + 'A');
      } else if (c >= 'A' && c <= 'Z') {
        c = static_cast<char>(c - 'A' + 'a');
      }
    }
  }
  return name;
}

struct Stored {
  std::uint32_t type;
  std::vector<std::uint8_t> data;
};

// What one read of `name` must give, from the values the input stored.
struct Expected {
  std::optional<std::int32_t> value;
  std::string error;
};

Expected expectRead(const std::vector<std::pair<std::string, Stored>>& values,
                    const std::string& name) {
  const Stored* found = nullptr;
  for (const auto& [stored, value] : values) {
    if (lower(stored) == lower(name)) found = &value;
  }
  if (!found) return {};
  if (found->data.size() > 4) return {std::nullopt, "Failed to get data for '" + name + "'"};
  if (found->type != zin::kRegDword) return {std::nullopt, "Invalid data type for '" + name + "'"};
  std::uint32_t bits = 0;
  for (std::size_t i = 0; i < found->data.size(); ++i)
    bits |= std::uint32_t{found->data[i]} << (8 * i);
  return {static_cast<std::int32_t>(bits), {}};
}

void readBack(MemoryUserStore& store, const std::vector<std::pair<std::string, Stored>>& values,
              bool keyFails) {
  zin::Registry registry(store);
  // The read stops at the first value that cannot be read, in the order of the reads.
  std::string expectedError;
  std::optional<bool> startup;
  std::optional<bool> onTop;
  std::optional<std::int32_t> flies;
  if (!keyFails) {
    for (const char* name : {"StartUp", "OnTop", "Flies"}) {
      const Expected e = expectRead(values, name);
      if (!e.error.empty()) {
        expectedError = e.error;
        break;
      }
      if (!e.value) continue;
      if (name[0] == 'S') startup = *e.value != 0;
      if (name[0] == 'O') onTop = *e.value != 0;
      if (name[0] == 'F') flies = *e.value;
    }
  }
  try {
    const zin::StoredSettings s = zin::readStoredSettings(registry);
    CHECK(expectedError.empty());
    CHECK(s.startup == startup && s.onTop == onTop && s.flies == flies);
  } catch (const zin::Error& e) {
    CHECK(e.what() == expectedError);
  }
  CHECK(store.openKeyCount() == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Reader in(std::span<const std::uint8_t>(data, size));
  MemoryUserStore store;
  const std::uint8_t failures = in.byte();
  const bool settingsKeyFails = failures & 1;
  const bool runKeyFails = failures & 2;
  if (settingsKeyFails) store.failCreate(zin::kSettingsKey);
  if (runKeyFails) store.failCreate(zin::kRunKey);
  // A refused name stops writeSettings only when it is one of the three it writes.
  bool refused = false;
  if (failures & 4) {
    const std::string name = valueName(failures >> 3, 0);
    store.refuseWrites(name);
    refused = lower(name) == "ontop" || lower(name) == "startup" || lower(name) == "flies";
  }

  const zin::Settings settings{(failures & 0x40) != 0, (failures & 0x80) != 0,
                               static_cast<std::int32_t>(in.word())};
  const bool autoStart = in.byte() & 1;
  const auto pathBytes = in.take(in.byte());
  const std::string programPath(pathBytes.begin(), pathBytes.end());

  std::vector<std::pair<std::string, Stored>> values;
  while (!in.atEnd()) {
    const std::uint8_t which = in.byte();
    const std::string name = valueName(which, in.byte());
    // Mostly the types a registry really has, now and then any number at all.
    const std::uint8_t typeByte = in.byte();
    const std::uint32_t type = typeByte < 0xF0 ? typeByte % 12 : in.word();
    const auto bytes = in.take(in.byte() % 12);
    Stored value{type, {bytes.begin(), bytes.end()}};
    store.set(zin::kSettingsKey, name, value.type, value.data);
    values.emplace_back(name, std::move(value));
  }

  readBack(store, values, settingsKeyFails);

  {
    zin::Registry registry(store);
    bool written = false;
    try {
      zin::writeSettings(registry, settings);
      written = true;
    } catch (const zin::Error& e) {
      CHECK(settingsKeyFails || refused);
      CHECK(std::string(e.what()).rfind("Failed to set data for '", 0) == 0);
    }
    CHECK(store.openKeyCount() == 0);
    CHECK(written == (!settingsKeyFails && !refused));
    if (written) {
      const auto dword = [](std::int32_t v) {
        const auto bits = static_cast<std::uint32_t>(v);
        return std::vector<std::uint8_t>{
            static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
      };
      values.emplace_back("OnTop", Stored{zin::kRegDword, dword(settings.onTop ? 1 : 0)});
      values.emplace_back("Startup", Stored{zin::kRegDword, dword(settings.startup ? 1 : 0)});
      values.emplace_back("Flies", Stored{zin::kRegDword, dword(settings.flies)});
      readBack(store, values, false);
    }
  }

  {
    zin::Registry registry(store);
    try {
      zin::writeAutoStart(registry, autoStart, programPath);
      CHECK(!(autoStart && runKeyFails));
    } catch (const zin::Error& e) {
      CHECK(autoStart && runKeyFails);
      CHECK(e.what() == std::string("Failed to set data for '") + zin::kRunValue + "'");
    }
    CHECK(store.openKeyCount() == 0);
    const auto entry = store.value(zin::kRunKey, zin::kRunValue);
    if (autoStart && !runKeyFails) {
      std::vector<std::uint8_t> expected(programPath.begin(), programPath.end());
      expected.push_back(0);
      CHECK(entry && entry->type == zin::kRegSz && entry->data == expected);
    } else {
      CHECK(!entry);
    }
  }
  return 0;
}
